#pragma once

#include "app/model/Control.h"
#include "app/model/Event.h"

#include <QFrame>

#include <functional>

class QLineEdit;
class QMenu;
class QPlainTextEdit;

namespace mugrove {

// A text box with a sunken border, single- or multi-line. Every change of its
// text raises ContentChanged: each edit by the user, and each write of
// Content (once, also when the text is unchanged).
class EditBox : public QFrame, public Control {
    Q_OBJECT
public:
    enum class Lines { Single, Multi };

    EditBox(Lines lines, QWidget* parent);

    QString Content() const;
    void SetContent(const QString& text);
    // Selects the whole text and takes the keyboard focus, so typing replaces it.
    void SelectAll();
    // Puts the text cursor after the last character, so typing goes on there.
    void PlaceCursorAtEnd();

    Event<> ContentChanged;

    // How the text changed last: written by the program, typed, or pasted
    // (Ctrl+V, Shift+Insert, the menu's paste, a middle click, a dropped text).
    enum class Change { Written, Typed, Pasted };
    Change LastChange() const { return lastChange_; }

    // Whoever keeps the undo history instead of the box: the box's own undo
    // is off, and the undo and redo entries of its right-click menu act
    // through these, greyed when they say there is nothing to do.
    struct UndoHands {
        std::function<void()> undo, redo;
        std::function<bool()> canUndo, canRedo;
    };
    void HandUndoTo(UndoHands hands);

private:
    class LineEditor;
    class TextEditor;
    friend class LineEditor;
    friend class TextEditor;

    void OnEditorChanged();
    // Runs a paste of the editor's, so that the change it makes counts as one.
    template <typename Paste>
    void Pasting(Paste&& paste);
    // The editor's standard right-click menu with undo, redo and paste rewired.
    void AdaptMenu(QMenu& menu);
    // Lets the paragraphs from `from` to `to` (positions) keep their shaped text.
    void KeepShapes(int from, int to);

    QLineEdit* line_ = nullptr;      // owned by this frame (Qt parent)
    QPlainTextEdit* multi_ = nullptr; // owned by this frame (Qt parent)
    bool reacting_ = true;           // off while Content is being written
    bool pasting_ = false;
    Change lastChange_ = Change::Written;
    UndoHands hands_;
};

} // namespace mugrove
