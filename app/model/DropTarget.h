#pragma once

#include "app/model/Event.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QDropEvent;
class QMimeData;
class QWidget;

namespace mugrove {

enum class DropEffect { None, Copy, Move, Link };

// The effect a drag would have, from whether the data is acceptable, the key
// state (Ctrl 1, Shift 2) and the effects the drag source allows.
DropEffect ChooseDropEffect(bool acceptable, int keyState, Qt::DropActions allowed);

// The FilesDropped text: one path alone, or every path followed by CR LF.
QString DroppedFilesText(const QStringList& paths);

// The drag-drop object: no window of its own, it makes another window a drop
// target and raises FilesDropped with the dropped file names.
class DropTarget : public QObject {
    Q_OBJECT
public:
    explicit DropTarget(QObject* parent);

    // Binds the object to `window` once; a second registration is refused.
    bool Register(QWidget& window);

    // Makes `widget` take drops as the registered window does: the same
    // feedback while dragging, the same FilesDropped. For what lies over or
    // around that window and should count as it (its frame, a caption on it).
    void Widen(QWidget& widget);

    // Which kinds of dragged data are taken; only files are, as created.
    bool acceptText = false;
    bool acceptHtml = false;
    bool acceptLinks = false;
    bool acceptFiles = true;

    Event<QString> FilesDropped;

    // The local files in dragged or copied data; other URLs are links.
    static QStringList LocalFiles(const QMimeData& data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Offers(const QMimeData& data) const;
    void Drop(QDropEvent& event);

    bool Takes(const QObject* watched) const;

    QPointer<QWidget> target_; // not owned: the window registered on
    QList<QPointer<QWidget>> widened_; // not owned: more widgets that count as it
    bool acceptable_ = false;  // set on drag enter
};

} // namespace mugrove
