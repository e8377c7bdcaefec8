#include "app/model/EditBox.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace mugrove {

EditBox::EditBox(Lines lines, QWidget* parent) : QFrame(parent), Control(this)
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setLineWidth(2);
    QPalette p = palette();
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, Qt::black);
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
    setAutoFillBackground(true);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    QWidget* editor = nullptr;
    if (lines == Lines::Single) {
        line_ = new QLineEdit(this);
        line_->setFrame(false);
        line_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        connect(line_, &QLineEdit::textChanged, this, [this] { OnEditorChanged(); });
        editor = line_;
    } else {
        multi_ = new QPlainTextEdit(this);
        multi_->setFrameStyle(QFrame::NoFrame);
        multi_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        multi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        multi_->setTabChangesFocus(true);
        connect(multi_, &QPlainTextEdit::textChanged, this, [this] { OnEditorChanged(); });
        editor = multi_;
    }
    editor->setPalette(p);
    // The user may type any script: let missing glyphs come from other faces.
    QFont font = editor->font();
    font.setStyleStrategy(QFont::PreferDefault);
    editor->setFont(font);
    layout->addWidget(editor, 1, lines == Lines::Single ? Qt::AlignTop : Qt::Alignment());
    setFocusProxy(editor);
    setFocusPolicy(Qt::StrongFocus);
}

QString EditBox::Content() const
{
    return line_ ? line_->text() : multi_->toPlainText();
}

void EditBox::SelectAll()
{
    if (line_)
        line_->selectAll();
    else
        multi_->selectAll();
    setFocus(Qt::OtherFocusReason);
}

void EditBox::SetContent(const QString& text)
{
    reacting_ = false;
    if (line_) {
        line_->setText(text);
        line_->setCursorPosition(0);
    } else {
        multi_->setPlainText(text);
    }
    reacting_ = true;
    ContentChanged.Raise();
}

void EditBox::OnEditorChanged()
{
    if (reacting_)
        ContentChanged.Raise();
}

} // namespace mugrove
