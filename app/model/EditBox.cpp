#include "app/model/EditBox.h"

#include "app/model/EmojiRuns.h"
#include "app/model/LogFont.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
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

bool IsPasteKey(const QKeyEvent& event)
{
    return event.matches(QKeySequence::Paste)
        || (event.key() == Qt::Key_Insert && (event.modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier);
}

} // namespace

// The line editor tells its pastes apart and shows the box's menu.
class EditBox::LineEditor : public QLineEdit {
public:
    LineEditor(EditBox& box) : QLineEdit(&box), box_(box) {}

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (IsPasteKey(*event))
            box_.Pasting([&] { QLineEdit::keyPressEvent(event); });
        else
            QLineEdit::keyPressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        // A middle click pastes the selection on X11.
        if (event->button() == Qt::MiddleButton)
            box_.Pasting([&] { QLineEdit::mouseReleaseEvent(event); });
        else
            QLineEdit::mouseReleaseEvent(event);
    }
    void dropEvent(QDropEvent* event) override
    {
        box_.Pasting([&] { QLineEdit::dropEvent(event); });
    }
    void contextMenuEvent(QContextMenuEvent* event) override
    {
        QMenu* menu = createStandardContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        box_.AdaptMenu(*menu);
        menu->popup(event->globalPos());
    }

private:
    EditBox& box_;
};

// Every way text reaches a plain text editor from outside (the paste keys,
// the menu, a middle click, a drop) goes through insertFromMimeData.
class EditBox::TextEditor : public QPlainTextEdit {
public:
    TextEditor(EditBox& box) : QPlainTextEdit(&box), box_(box) {}

protected:
    void insertFromMimeData(const QMimeData* source) override
    {
        box_.Pasting([&] { QPlainTextEdit::insertFromMimeData(source); });
    }
    void contextMenuEvent(QContextMenuEvent* event) override
    {
        QMenu* menu = createStandardContextMenu(event->pos());
        menu->setAttribute(Qt::WA_DeleteOnClose);
        box_.AdaptMenu(*menu);
        menu->popup(event->globalPos());
    }

private:
    EditBox& box_;
};

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
        line_ = new LineEditor(*this);
        line_->setFrame(false);
        line_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        connect(line_, &QLineEdit::textChanged, this, [this] { OnEditorChanged(); });
        editor = line_;
    } else {
        multi_ = new TextEditor(*this);
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

void EditBox::PlaceCursorAtEnd()
{
    if (line_)
        line_->end(false);
    else
        multi_->moveCursor(QTextCursor::End);
}

void EditBox::SetContent(const QString& text)
{
    lastChange_ = Change::Written;
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
    if (!reacting_)
        return;
    lastChange_ = pasting_ ? Change::Pasted : Change::Typed;
    ContentChanged.Raise();
}

template <typename Paste>
void EditBox::Pasting(Paste&& paste)
{
    const bool outer = !pasting_;
    pasting_ = true;
    paste();
    if (outer)
        pasting_ = false;
}

void EditBox::HandUndoTo(UndoHands hands)
{
    hands_ = std::move(hands);
    // The editor's own history would only grow: nothing reaches it now.
    if (multi_)
        multi_->setUndoRedoEnabled(false);
}

namespace {

// The entry of a standard text menu: by its name where the editor gives
// one, else by the key it shows (a line editor names none).
QString EntryName(const QAction& action)
{
    if (!action.objectName().isEmpty())
        return action.objectName();
    const QString text = action.text();
    const auto shows = [&text](QKeySequence::StandardKey key) {
        return text.endsWith(QLatin1Char('\t') + QKeySequence(key).toString(QKeySequence::NativeText));
    };
    if (shows(QKeySequence::Undo))
        return QStringLiteral("edit-undo");
    if (shows(QKeySequence::Redo))
        return QStringLiteral("edit-redo");
    if (shows(QKeySequence::Paste))
        return QStringLiteral("edit-paste");
    return {};
}

} // namespace

void EditBox::AdaptMenu(QMenu& menu)
{
    const QList<QAction*> actions = menu.actions();
    for (QAction* action : actions) {
        const QString name = EntryName(*action);
        action->setObjectName(name);
        if (name == QLatin1String("edit-paste") && line_) {
            QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
            connect(action, &QAction::triggered, this, [this] { Pasting([this] { line_->paste(); }); });
            continue;
        }
        const bool undo = name == QLatin1String("edit-undo");
        if (!hands_.undo || (!undo && name != QLatin1String("edit-redo")))
            continue;
        QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
        const std::function<void()>& act = undo ? hands_.undo : hands_.redo;
        const std::function<bool()>& can = undo ? hands_.canUndo : hands_.canRedo;
        action->setEnabled(!can || can());
        connect(action, &QAction::triggered, this, [act] { act(); });
    }
}

} // namespace mugrove
