// The window's fixed texts as the program shows them: every one inside its
// control and clear of the controls above it, and the colours the window
// definition gives, whatever the desktop theme.
#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/model/Button.h"
#include "app/model/CheckBox.h"
#include "app/model/EditBox.h"
#include "app/model/GroupBox.h"
#include "app/model/Label.h"
#include "app/model/ListBox.h"
#include "app/model/LogFont.h"
#include "app/model/MainWindow.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTest>

using namespace mugrove;

namespace {

// Text ink: the core of a black glyph, darker than any frame or face.
bool IsInk(QRgb pixel)
{
    return qGray(pixel) < 96;
}

// The control painted alone, without its children, over its own background.
QImage Alone(QWidget& widget)
{
    QImage image(widget.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    return image;
}

// The rectangles, in the widget's coordinates, of what is painted over it:
// its own children and the siblings stacked above it.
QList<QRect> Above(QWidget& widget)
{
    QList<QRect> covers;
    for (QWidget* child : widget.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child->isVisibleTo(&widget))
            covers << child->geometry();
    const QObjectList& siblings = widget.parentWidget()->children();
    for (qsizetype i = siblings.indexOf(&widget) + 1; i < siblings.size(); ++i)
        if (auto* sibling = qobject_cast<QWidget*>(siblings[i]); sibling && !sibling->isHidden())
            covers << sibling->geometry().translated(-widget.pos());
    return covers;
}

// A label grown by `margin` at the right and at both ends vertically, so a
// left-aligned, vertically centred text keeps its place: the grown picture
// holds the label's own picture where the label was, and shows whatever of
// the text the label's box cuts off around it.
struct Grown {
    QImage image;
    QRect box; // where the label's own box lies in it
};
Grown Grow(Label& label, int margin)
{
    const QRect place = label.geometry();
    label.setGeometry(place.adjusted(0, -margin, margin, margin));
    Grown grown{label.grab().toImage(), QRect(QPoint(0, margin), place.size())};
    label.setGeometry(place);
    return grown;
}

int InkOutside(const QImage& image, const QRect& box)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += !box.contains(x, y) && IsInk(image.pixel(x, y));
    return count;
}

QPalette DarkPalette()
{
    QPalette dark = QApplication::palette();
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Button, QPalette::Base})
        dark.setColor(role, QColor(0x30, 0x30, 0x30));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(role, QColor(0xF0, 0xF0, 0xF0));
    return dark;
}

} // namespace

class FixedTextsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Form> form_;

private slots:
    void initTestCase()
    {
        RegisterFontSubstitutions();
        UseDefaultGuiFont(); // as the program starts
        form_ = CreateForm(DefaultWindowDefinition());
        QVERIFY(form_);
        form_->window->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_->window.get()));
    }

    void the_gui_font_does_not_follow_the_desktop()
    {
        QFont large = QApplication::font();
        large.setPointSize(14);
        QApplication::setFont(large);
        UseDefaultGuiFont();
        QCOMPARE(QApplication::font().pixelSize(), 11);
        QCOMPARE(form_->fontSizeLabel->font().pixelSize(), 11);
    }

    void every_label_shows_its_whole_text()
    {
        const QList<Label*> labels = form_->window->findChildren<Label*>();
        QCOMPARE(labels.size(), 5);
        for (Label* label : labels) {
            const QImage own = label->grab().toImage();
            const Grown grown = Grow(*label, 40);
            QVERIFY2(grown.image.copy(grown.box) == own, qPrintable(label->objectName()));
            QVERIFY2(InkOutside(grown.image, grown.box) == 0, qPrintable(label->objectName()));
        }
    }

    void no_text_lies_beneath_a_control_above_it()
    {
        QList<QWidget*> painters;
        for (QWidget* w : form_->window->findChildren<QWidget*>())
            if (qobject_cast<Label*>(w) || qobject_cast<GroupBox*>(w) || qobject_cast<Button*>(w)
                || qobject_cast<CheckBox*>(w) || qobject_cast<TransLabel*>(w))
                painters << w;
        QCOMPARE(painters.size(), 3 + 5 + 5 + 1 + 1);
        for (QWidget* w : painters) {
            const QImage alone = Alone(*w);
            int hidden = 0, shown = 0;
            const QList<QRect> covers = Above(*w);
            for (int y = 0; y < alone.height(); ++y)
                for (int x = 0; x < alone.width(); ++x) {
                    if (!IsInk(alone.pixel(x, y)))
                        continue;
                    const bool covered = std::ranges::any_of(covers, [&](const QRect& r) { return r.contains(x, y); });
                    (covered ? hidden : shown) += 1;
                }
            QVERIFY2(shown > 20, qPrintable(w->objectName()));
            QVERIFY2(hidden == 0, qPrintable(QStringLiteral("%1: %2 ink pixels hidden").arg(w->objectName()).arg(hidden)));
        }
    }

    void button_check_box_and_group_captions_fit_their_room()
    {
        for (Button* button : form_->window->findChildren<Button*>()) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            const QSize text = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
            QVERIFY2(text.width() <= room.width() && text.height() <= room.height(),
                     qPrintable(button->objectName()));
        }
        CheckBox& bold = *form_->boldBox;
        QStyleOptionButton option;
        option.initFrom(&bold);
        option.text = bold.text();
        const QRect room = bold.style()->subElementRect(QStyle::SE_CheckBoxContents, &option, &bold);
        QVERIFY(bold.fontMetrics().horizontalAdvance(bold.text()) <= room.width());
        QVERIFY(bold.fontMetrics().height() <= room.height());
        for (GroupBox* group : form_->window->findChildren<GroupBox*>())
            QVERIFY2(group->fontMetrics().horizontalAdvance(group->Caption()) < group->width() - 8,
                     qPrintable(group->objectName()));
    }

    void edit_box_list_and_caption_texts_fit()
    {
        for (EditBox* box : {form_->widthBox, form_->heightBox}) {
            auto* line = qobject_cast<QLineEdit*>(box->focusProxy());
            QVERIFY(line);
            const QMargins margins = line->textMargins();
            QVERIFY(line->fontMetrics().horizontalAdvance(box->Content()) + margins.left() + margins.right()
                    <= line->contentsRect().width() - 4);
            QVERIFY(line->fontMetrics().height() <= line->contentsRect().height());
        }
        auto* caption = qobject_cast<QPlainTextEdit*>(form_->captionBox->focusProxy());
        QVERIFY(caption);
        QVERIFY(caption->document()->size().height() * caption->fontMetrics().lineSpacing()
                <= caption->viewport()->height());

        ListBox& list = *form_->templateList;
        for (int i = 0; i < list.count(); ++i) {
            const QRect row = list.visualItemRect(list.item(i));
            QVERIFY(list.fontMetrics().horizontalAdvance(list.item(i)->text()) < row.width());
            QVERIFY(list.fontMetrics().height() < row.height());
        }

        TransLabel& overlay = *form_->captionOverlay;
        const QRect laidOut = QFontMetrics(ToQFont(*overlay.StoredFont()))
                                  .boundingRect(overlay.rect(), Qt::AlignCenter | Qt::TextWordWrap, overlay.Caption());
        QVERIFY(overlay.rect().contains(laidOut));
    }

    void a_dark_desktop_changes_no_colour_the_definition_names()
    {
        const auto pictures = [](Form& form) {
            QList<QImage> shots;
            for (QWidget* w : QList<QWidget*>{form.widthLabel, form.heightLabel, form.textWidthLabel,
                                             form.textHeightLabel, form.fontSizeLabel, form.boldBox,
                                             form.templateList->viewport(), form.pictureGroup,
                                             form.textGroup, form.propertyGroup, form.captionBox,
                                             form.captionBox->focusProxy(), form.widthBox,
                                             form.widthBox->focusProxy(), form.workArea})
                shots << Alone(*w);
            // The window's own face, in the gap between the picture's group and the others.
            shots << form.window->grab(QRect(392, 130, 2, 270)).toImage();
            return shots;
        };
        const QPalette light = QApplication::palette();
        auto lightForm = CreateForm(DefaultWindowDefinition());
        QVERIFY(lightForm);
        const QList<QImage> onLight = pictures(*lightForm);
        QApplication::setPalette(DarkPalette());
        auto darkForm = CreateForm(DefaultWindowDefinition());
        QVERIFY(darkForm);
        const QList<QImage> onDark = pictures(*darkForm);
        QApplication::setPalette(light);
        for (qsizetype i = 0; i < onLight.size(); ++i)
            QVERIFY2(onLight[i] == onDark[i], qPrintable(QString::number(i)));
        // And the texts are black: the darkest pixel of a label is.
        const QImage label = onDark[0];
        int darkest = 255;
        for (int y = 0; y < label.height(); ++y)
            for (int x = 0; x < label.width(); ++x)
                darkest = std::min(darkest, qGray(label.pixel(x, y)));
        QVERIFY(darkest < 40);
    }
};

QTEST_MAIN(FixedTextsTest)
#include "test_fixed_texts.moc"
