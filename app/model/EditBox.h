#pragma once

#include "app/model/Control.h"
#include "app/model/Event.h"

#include <QFrame>

class QLineEdit;
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

    Event<> ContentChanged;

private:
    void OnEditorChanged();
    // Lets the paragraphs from `from` to `to` (positions) keep their shaped text.
    void KeepShapes(int from, int to);

    QLineEdit* line_ = nullptr;      // owned by this frame (Qt parent)
    QPlainTextEdit* multi_ = nullptr; // owned by this frame (Qt parent)
    bool reacting_ = true;           // off while Content is being written
};

} // namespace mugrove
