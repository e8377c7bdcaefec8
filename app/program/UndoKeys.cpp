#include "app/program/UndoKeys.h"

#include "app/Form.h"
#include "app/model/EditBox.h"
#include "app/model/MainWindow.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>

namespace mugrove {

namespace {

enum class HistoryKey { None, Undo, Redo };

HistoryKey HistoryKeyOf(const QKeyEvent& key)
{
    const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
    if (key.key() == Qt::Key_Z && mods == Qt::ControlModifier)
        return HistoryKey::Undo;
    if ((key.key() == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier))
        || (key.key() == Qt::Key_Y && mods == Qt::ControlModifier))
        return HistoryKey::Redo;
    return HistoryKey::None;
}

// Sees the keys before the focused control, so an edit box's own undo
// never runs.
class UndoKeys : public QObject {
public:
    UndoKeys(Form& form, QObject* parent) : QObject(parent), form_(form) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType() || form_.history == nullptr)
            return false;
        if (static_cast<QWidget*>(watched)->window() != form_.window.get())
            return false; // dialogs keep their own keys
        // Taken at its first receiver, so no parent sees it again.
        switch (HistoryKeyOf(static_cast<const QKeyEvent&>(*event))) {
        case HistoryKey::Undo: form_.history->Undo(); return true;
        case HistoryKey::Redo: form_.history->Redo(); return true;
        case HistoryKey::None: return false;
        }
        return false;
    }

private:
    Form& form_; // outlives the window this filter belongs to
};

QString WithKeys(const char* text, QKeySequence keys)
{
    return QString::fromUtf8(text) + QLatin1Char('\t') + keys.toString(QKeySequence::NativeText);
}

} // namespace

void BindUndo(Form& form)
{
    QCoreApplication::instance()->installEventFilter(new UndoKeys(form, form.window.get()));
    // The boxes may outlive the history by a little as the window closes.
    EditBox::UndoHands hands{[&form] {
                                 if (form.history)
                                     form.history->Undo();
                             },
                             [&form] {
                                 if (form.history)
                                     form.history->Redo();
                             },
                             [&form] { return form.history && form.history->CanUndo(); },
                             [&form] { return form.history && form.history->CanRedo(); }};
    for (EditBox* box : {form.captionBox, form.widthBox, form.heightBox})
        box->HandUndoTo(hands);
}

void AddUndoEntries(QMenu& menu, Form& form)
{
    QAction* undo = menu.addAction(WithKeys("撤销(&U)", QKeySequence(Qt::CTRL | Qt::Key_Z)));
    undo->setObjectName(QStringLiteral("undo"));
    undo->setEnabled(form.history && form.history->CanUndo());
    QObject::connect(undo, &QAction::triggered, form.window.get(), [&form] {
        if (form.history)
            form.history->Undo();
    });
    QAction* redo = menu.addAction(WithKeys("重做(&R)", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)));
    redo->setObjectName(QStringLiteral("redo"));
    redo->setEnabled(form.history && form.history->CanRedo());
    QObject::connect(redo, &QAction::triggered, form.window.get(), [&form] {
        if (form.history)
            form.history->Redo();
    });
    menu.addSeparator();
}

} // namespace mugrove
