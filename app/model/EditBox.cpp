#include "app/model/EditBox.h"

#include "app/model/EmojiRuns.h"
#include "app/model/LogFont.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

namespace mugrove {

namespace {

// Gives emoji the colour face, whatever face the box has: listed among
// the font's families, the colour face would lose to any face with black
// emoji of its own.
class EmojiHighlighter : public QSyntaxHighlighter {
public:
    explicit EmojiHighlighter(QTextDocument* document) : QSyntaxHighlighter(document)
    {
        emoji_.setFontFamilies(QStringList{kColourEmojiFamily});
    }

protected:
    void highlightBlock(const QString& text) override
    {
        for (const TextRun& run : EmojiRuns(text))
            setFormat(int(run.start), int(run.length), emoji_);
    }

private:
    QTextCharFormat emoji_;
};

} // namespace

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
        // Before the box lays the changed paragraphs out (contentsChange
        // comes first), so that the layout keeps what it shaped.
        connect(multi_->document(), &QTextDocument::contentsChange, this,
                [this](int from, int, int added) { KeepShapes(from, from + added); });
        new EmojiHighlighter(multi_->document()); // owned by the document
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

void EditBox::KeepShapes(int from, int to)
{
    // A paragraph's layout drops its shaped glyphs once its lines are made,
    // and shapes the whole paragraph again for every paint of any part of
    // it: a caption dragged beneath the box, a blink of the cursor. For a
    // pasted paragraph of 100,000 characters or thousands of colour emoji
    // (each decoded afresh from the font's PNG to be measured) that is tens
    // of milliseconds to seconds per paint. Kept, a paint only draws.
    // A short paragraph is about what the box shows at once, so shaping it
    // again costs little, while keeping its shapes costs some 700 bytes
    // even for a few characters: 100,000 short lines would hold 70 MB.
    constexpr int kKeptLength = 64;
    const QTextDocument& document = *multi_->document();
    const QTextBlock last = document.findBlock(to);
    for (QTextBlock block = document.findBlock(from); block.isValid(); block = block.next()) {
        block.layout()->setCacheEnabled(block.length() > kKeptLength);
        if (block == last)
            break;
    }
}

void EditBox::OnEditorChanged()
{
    if (reacting_)
        ContentChanged.Raise();
}

} // namespace mugrove
