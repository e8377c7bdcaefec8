#include "app/program/Paste.h"

#include "app/Form.h"
#include "app/model/DropTarget.h"
#include "app/model/EditBox.h"
#include "app/model/MainWindow.h"
#include "app/program/BandEntry.h"
#include "app/program/SavedMemes.h"
#include "app/program/SegmentDialog.h"
#include "app/program/Shape.h"
#include "app/program/UndoKeys.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "overlay/Captions.h"
#include "templates/PastePicture.h"
#include "templates/Zoom.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QWheelEvent>

namespace mugrove {

namespace {

bool IsPasteKey(const QKeyEvent& key)
{
    const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
    return (key.key() == Qt::Key_V && mods == Qt::ControlModifier) ||
           (key.key() == Qt::Key_Insert && mods == Qt::ShiftModifier);
}

bool InEditBox(const QWidget* widget)
{
    for (; widget != nullptr; widget = widget->parentWidget())
        if (dynamic_cast<const EditBox*>(widget) != nullptr)
            return true;
    return false;
}

// Sees the paste keys before the focused control does.
class PasteKeys : public QObject {
public:
    PasteKeys(Form& form, QObject* parent) : QObject(parent), form_(form) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
            return false;
        if (static_cast<QWidget*>(watched)->window() != form_.window.get())
            return false; // dialogs keep their own keys
        // A key no one takes goes on to each parent, and through this filter
        // again: only its first receiver tries the paste.
        const QWidget* first = QApplication::focusWidget();
        if (watched != (first ? static_cast<const QObject*>(first) : form_.window.get()))
            return false;
        if (!IsPasteKey(static_cast<const QKeyEvent&>(*event)))
            return false;
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        if (data == nullptr)
            return false;
        // Copied files that hold a picture paste as a drop; otherwise text
        // goes to a focused edit box as ever.
        const bool files = !DropTarget::LocalFiles(*data).isEmpty();
        if (!files && data->hasFormat(QStringLiteral("text/plain")) && InEditBox(QApplication::focusWidget()))
            return false;
        // What cannot be shown leaves the key to do what it did before.
        bool shown = false;
        AsStep(form_.history, {}, [&] { shown = PastePicture(form_, data); });
        return shown;
    }

private:
    Form& form_; // outlives the window this filter belongs to
};

// Ctrl + wheel over the picture (over the caption lying on it too) zooms
// by the zoom buttons' steps: one step per notch, wheel away to enlarge.
class ZoomWheel : public QObject {
public:
    ZoomWheel(Form& form, QObject* parent) : QObject(parent), form_(form) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Wheel)
            return false;
        const auto& wheel = static_cast<const QWheelEvent&>(*event);
        if ((wheel.modifiers() & Qt::ControlModifier) == 0)
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        const QPoint at = widget->mapTo(form_.window.get(), wheel.position().toPoint());
        if (!form_.workArea->geometry().contains(at))
            return false;
        // Fine-grained wheels and touchpads send parts of a notch.
        pending_ += wheel.angleDelta().y();
        // Each notch is a step of its own.
        for (; pending_ >= kNotch; pending_ -= kNotch)
            AsStep(form_.history, {}, [this] { OnZoomIn(form_); });
        for (; pending_ <= -kNotch; pending_ += kNotch)
            AsStep(form_.history, {}, [this] { OnZoomOut(form_); });
        return true;
    }

private:
    static constexpr int kNotch = 120;
    Form& form_;
    int pending_ = 0;
};

void OpenWorkAreaMenu(Form& form, const QPoint& at)
{
    auto* menu = new QMenu(form.workArea);
    menu->setObjectName(QStringLiteral("workAreaMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    AddUndoEntries(*menu, form);
    QAction* paste = menu->addAction(QStringLiteral("粘贴图片(&V)"));
    paste->setEnabled(OffersPicture(QGuiApplication::clipboard()->mimeData()));
    QObject::connect(paste, &QAction::triggered, form.workArea,
                     [&form] { AsStep(form.history, {}, [&form] { OnPicturePasted(form); }); });
    QAction* add = menu->addAction(QStringLiteral("添加文字(&T)"));
    add->setEnabled(CanAddCaption(form));
    const QPoint centre = form.workArea->mapTo(form.window.get(), at);
    QObject::connect(add, &QAction::triggered, form.workArea,
                     [&form, centre] { AsStep(form.history, {}, [&] { AddCaption(form, centre); }); });
    AddBandEntry(*menu, form);
    QAction* fit = menu->addAction(QStringLiteral("适应图框(&F)"));
    fit->setEnabled(form.workArea->Decoded() != nullptr);
    QObject::connect(fit, &QAction::triggered, form.workArea,
                     [&form] { AsStep(form.history, {}, [&form] { OnFitToFrame(form); }); });
    AddShapeEntries(*menu, form);
    if (const DecodedPicture* shown = form.workArea->Decoded(); shown != nullptr && shown->clip) {
        QAction* cut = menu->addAction(QStringLiteral("截取片段(&C)..."));
        QObject::connect(cut, &QAction::triggered, form.workArea, [&form] {
            // The segment changes once the dialog is confirmed, after this.
            if (SegmentDialog* dialog = OnChooseSegment(form))
                QObject::connect(dialog, &QDialog::accepted, form.workArea, [&form] { RecordStep(form.history); });
        });
    }
    AddReEditEntry(*menu, form);
    menu->popup(form.workArea->mapToGlobal(at));
}

} // namespace

void BindPaste(Form& form)
{
    qApp->installEventFilter(new PasteKeys(form, form.window.get()));
    auto* wheel = new ZoomWheel(form, form.workArea);
    form.workArea->installEventFilter(wheel);
    form.captionOverlay->installEventFilter(wheel);
    form.workArea->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(form.workArea, &QWidget::customContextMenuRequested, form.workArea,
                     [&form](const QPoint& at) { OpenWorkAreaMenu(form, at); });
}

} // namespace mugrove
