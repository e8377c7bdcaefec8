#include "app/model/DropTarget.h"

#include "app/model/MainWindow.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <algorithm>

namespace mugrove {

DropEffect ChooseDropEffect(bool acceptable, int keyState, Qt::DropActions allowed)
{
    if (!acceptable)
        return DropEffect::None;
    const bool ctrl = keyState & 1;
    const bool shift = keyState & 2;
    if (ctrl && shift)
        return DropEffect::None;
    if (ctrl)
        return allowed & Qt::CopyAction ? DropEffect::Copy : DropEffect::None;
    if (shift)
        return allowed & Qt::MoveAction ? DropEffect::Move : DropEffect::None;
    if (allowed & Qt::CopyAction)
        return DropEffect::Copy;
    if (allowed & Qt::MoveAction)
        return DropEffect::Move;
    if (allowed & Qt::LinkAction)
        return DropEffect::Link;
    return DropEffect::None;
}

QString DroppedFilesText(const QStringList& paths)
{
    if (paths.size() == 1)
        return paths.front();
    QString text;
    for (const QString& path : paths)
        text += path + QStringLiteral("\r\n");
    return text;
}

namespace {

Qt::DropAction ToQt(DropEffect effect)
{
    switch (effect) {
    case DropEffect::Copy: return Qt::CopyAction;
    case DropEffect::Move: return Qt::MoveAction;
    case DropEffect::Link: return Qt::LinkAction;
    case DropEffect::None: break;
    }
    return Qt::IgnoreAction;
}

} // namespace

DropTarget::DropTarget(QObject* parent) : QObject(parent) {}

bool DropTarget::Register(QWidget& window)
{
    if (target_)
        return false;
    target_ = &window;
    window.setAcceptDrops(true);
    window.installEventFilter(this);
    return true;
}

void DropTarget::Widen(QWidget& widget)
{
    if (Takes(&widget))
        return;
    widened_ << &widget;
    widget.setAcceptDrops(true);
    widget.installEventFilter(this);
}

bool DropTarget::Takes(const QObject* watched) const
{
    if (!watched)
        return false;
    if (watched == target_)
        return true;
    return std::ranges::any_of(widened_, [watched](const QPointer<QWidget>& w) { return w == watched; });
}

QStringList DropTarget::LocalFiles(const QMimeData& data)
{
    QStringList files;
    for (const QUrl& url : data.urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    return files;
}

bool DropTarget::Offers(const QMimeData& data) const
{
    // A list of local files is a file list; other URLs are links.
    const bool files = !LocalFiles(data).isEmpty();
    return (acceptFiles && files) || (acceptLinks && data.hasUrls() && !files)
        || (acceptHtml && data.hasHtml()) || (acceptText && data.hasText());
}

bool DropTarget::eventFilter(QObject* watched, QEvent* event)
{
    if (!Takes(watched))
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto& drag = static_cast<QDragMoveEvent&>(*event);
        if (event->type() == QEvent::DragEnter)
            acceptable_ = drag.mimeData() && Offers(*drag.mimeData());
        const DropEffect effect = ChooseDropEffect(
            acceptable_, KeyStateOf(drag.modifiers()), drag.possibleActions());
        if (effect == DropEffect::None) {
            drag.setDropAction(Qt::IgnoreAction);
            drag.ignore();
        } else {
            drag.setDropAction(ToQt(effect));
            drag.accept();
        }
        return true;
    }
    case QEvent::DragLeave:
        return true;
    case QEvent::Drop:
        Drop(static_cast<QDropEvent&>(*event));
        return true;
    default:
        return QObject::eventFilter(watched, event);
    }
}

void DropTarget::Drop(QDropEvent& event)
{
    const DropEffect effect = ChooseDropEffect(
        acceptable_, KeyStateOf(event.modifiers()), event.possibleActions());
    if (effect != DropEffect::None && acceptFiles && event.mimeData()) {
        const QStringList files = LocalFiles(*event.mimeData());
        if (!files.isEmpty())
            FilesDropped.Raise(DroppedFilesText(files));
    }
    // Report failure either way, so the source never treats the file as moved.
    event.setDropAction(Qt::IgnoreAction);
    event.ignore();
}

} // namespace mugrove
