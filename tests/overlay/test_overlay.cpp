// The caption's text and style controls and dragging, driven through the
// real window built from its definition.
#include "tests/support/ModalAnswer.h"
#include "tests/support/PaintCounter.h"
#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/model/Button.h"
#include "app/model/CheckBox.h"
#include "app/model/CommonDlg.h"
#include "app/model/EditBox.h"
#include "app/model/MainWindow.h"
#include "app/model/SliderBar.h"
#include "app/program/EventTable.h"
#include "controls/ColorPicker.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontDialog>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>


using namespace mugrove;

namespace {

// What the user does to a slider thumb: press, drag to a place, release.
void DragThumb(SliderBar& slider, int position)
{
    slider.setSliderDown(true);
    slider.setSliderPosition(position);
    slider.setSliderDown(false);
}

// Answers the next modal font chooser: picks a font and confirms, or cancels.
// Keep the answer until the chooser has closed.
[[nodiscard]] testing::ModalAnswer<QFontDialog> AnswerFontChooser(std::optional<QFont> choice,
                                                                  QFont* chosen = nullptr)
{
    return testing::ModalAnswer<QFontDialog>([choice, chosen](QFontDialog& dialog) {
        if (dialog.objectName() != QStringLiteral("字体"))
            return; // left open: the answer rejects it, and the case fails on that
        if (!choice) {
            dialog.reject();
            return;
        }
        dialog.setCurrentFont(*choice);
        if (chosen)
            *chosen = dialog.currentFont();
        dialog.accept();
    });
}

} // namespace

class OverlayTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Form> form;

    QWindow* Window() { return form->window->windowHandle(); }
    TransLabel& Caption() { return *form->captionOverlay; }
    DragState& Drag() { return form->caption.drag; }
    LogFont Stored() { return Caption().StoredFont().value(); }

private slots:
    void initTestCase() { RegisterFontSubstitutions(); }

    void init()
    {
        form = CreateForm(DefaultWindowDefinition());
        QVERIFY(form);
        BindEvents(*form);
        form->window->Created.Raise();
        form->window->show();
        QVERIFY(QTest::qWaitForWindowExposed(form->window.get()));
    }

    void cleanup() { form.reset(); }

    // ---- numbers typed into the boxes ----

    void a_number_no_integer_holds_leaves_the_slider_at_zero()
    {
        form->widthBox->SetContent(QStringLiteral("1e999"));
        QCOMPARE(form->widthSlider->Position(), 0);
        QCOMPARE(form->widthSlider->value(), 1);
    }

    // ---- sliders ----

    void dragging_the_width_slider_sizes_the_caption_and_fills_the_box()
    {
        DragThumb(*form->widthSlider, 250);
        QCOMPARE(Caption().Width(), 250);
        QCOMPARE(Caption().Height(), 24);
        QCOMPARE(form->widthBox->Content(), QStringLiteral("250"));
        QCOMPARE(form->widthSlider->Position(), 250);
        QCOMPARE(form->widthSlider->value(), 250);
        QCOMPARE(Caption().Left(), 32); // the corner stays

        DragThumb(*form->heightSlider, 77);
        QCOMPARE(Caption().Height(), 77);
        QCOMPARE(Caption().Width(), 250);
        QCOMPARE(form->heightBox->Content(), QStringLiteral("77"));
        QCOMPARE(form->heightSlider->Position(), 77);
    }

    void font_size_slider_writes_only_the_height()
    {
        const LogFont before = Stored();
        DragThumb(*form->fontSizeSlider, 88);
        QCOMPARE(Stored().height, -16);
        QCOMPARE(Stored(), before); // 12 points is the start height
        DragThumb(*form->fontSizeSlider, 5);
        QCOMPARE(Stored().height, -127); // 95 points
        QCOMPARE(Caption().Font().Size, 95);
        DragThumb(*form->fontSizeSlider, 100);
        QCOMPARE(Stored().height, 0);
        LogFont expected = YaHeiBold16();
        expected.height = 0;
        QCOMPARE(Stored(), expected);
    }

    // ---- text and bold ----

    void caption_follows_the_text_box_line_breaks_included()
    {
        auto* editor = qobject_cast<QPlainTextEdit*>(form->captionBox->focusProxy());
        QVERIFY(editor);
        editor->clear();
        QCOMPARE(Caption().Caption(), QString());
        QTest::keyClicks(editor, QStringLiteral("ab"));
        QCOMPARE(Caption().Caption(), QStringLiteral("ab"));
        form->captionBox->SetContent(QStringLiteral("第一行\n第二行"));
        QCOMPARE(Caption().Caption(), QStringLiteral("第一行\n第二行"));
    }

    void bold_box_switches_only_the_weight()
    {
        QVERIFY(form->boldBox->Checked() == 1);
        form->boldBox->click();
        QCOMPARE(Stored().weight, 0);
        LogFont expected = YaHeiBold16();
        expected.weight = 0;
        QCOMPARE(Stored(), expected);
        form->boldBox->click();
        QCOMPARE(Stored(), YaHeiBold16());
    }

    void chosen_colour_reaches_the_caption_unchanged()
    {
        form->colourPicker->SetCurrentColour(0x0000FF00u);
        form->colourPicker->ColourChanged.Raise();
        QCOMPARE(Caption().TextColour(), 0x0000FF00u);
    }

    // ---- the font dialog ----

    void cancelling_the_font_dialog_keeps_the_caption_font()
    {
        const auto before = Caption().StoredFont();
        const auto answer = AnswerFontChooser(std::nullopt);
        form->fontButton->click();
        QVERIFY(answer.Seen());
        QCOMPARE(Caption().StoredFont(), before);
        QCOMPARE(form->caption.font, (OverlayFont{0, 0, 0, 0, 0, 9, QStringLiteral("宋体")}));
        QCOMPARE(form->fontDialog->FontSize(), 0);
        QCOMPARE(form->fontDialog->FontName(), QString());
        QCOMPARE(form->boldBox->Checked(), 1);
    }

    void confirmed_font_replaces_the_caption_font()
    {
        QFont wanted(QStringLiteral("DejaVu Sans"), 20);
        wanted.setItalic(true);
        wanted.setUnderline(true);
        QFont chosen;
        const auto answer = AnswerFontChooser(wanted, &chosen);
        form->fontButton->click();
        QVERIFY(answer.Seen());

        const QString dejaVu = QStringLiteral("DejaVu Sans");
        QCOMPARE(chosen.family(), dejaVu);
        const CommonDlg& dialog = *form->fontDialog;
        QCOMPARE(dialog.FontName(), dejaVu);
        QCOMPARE(dialog.FontSize(), 20);
        QCOMPARE(dialog.FontItalic(), 1);
        QCOMPARE(dialog.FontUnderline(), 1);
        QCOMPARE(dialog.FontBold(), 0);

        // Angle, Bold, Italic, StrikeOut, Underline, Size, FaceName.
        const OverlayFont expected{0, 0, 1, 0, 1, 20, dejaVu};
        QCOMPARE(form->caption.font, expected);
        QCOMPARE(Caption().Font(), expected);
        QCOMPARE(Stored().height, -27); // 20 points at 96 dots per inch, rounded
        QCOMPARE(Stored().weight, 0);
        QCOMPARE(Stored().italic, 1);
        QCOMPARE(Stored().underline, 1);
        QCOMPARE(Stored().faceName, dejaVu);
        QCOMPARE(Stored().charSet, 0); // a whole write starts from zero
        // The bold box and the size slider are left as they were.
        QCOMPARE(form->boldBox->Checked(), 1);
        QCOMPARE(form->fontSizeSlider->Position(), 100);

        // A later field write changes only that field of the shown font.
        DragThumb(*form->fontSizeSlider, 88);
        QCOMPARE(Caption().Font().Size, 12);
        QCOMPARE(Caption().Font().FaceName, std::optional<QString>(dejaVu));
        QCOMPARE(Caption().Font().Underline, 1);

        // The next opening starts from the remembered choice.
        QCOMPARE(dialog.StartingFont(96).height, -27);
        QCOMPARE(dialog.StartingFont(96).faceName, dejaVu);
        QCOMPARE(dialog.StartingFont(96).underline, 1);
        const auto before = Caption().StoredFont();
        const auto again = AnswerFontChooser(std::nullopt);
        form->fontButton->click();
        QVERIFY(again.Seen());
        QCOMPARE(Caption().StoredFont(), before);
        QCOMPARE(dialog.FontSize(), 20);
    }

    // ---- dragging ----

    void drag_keeps_the_grabbed_point_under_the_cursor()
    {
        QCOMPARE(Caption().geometry(), QRect(32, 216, 168, 24));
        QTest::mousePress(Window(), Qt::LeftButton, {}, QPoint(32 + 10, 216 + 5));
        QVERIFY(Drag().Dragging);
        QCOMPARE(Drag().GrabX, 10);
        QCOMPARE(Drag().GrabY, 5);
        QTest::mouseMove(Window(), QPoint(200, 150));
        QCOMPARE(Caption().pos(), QPoint(190, 145));
        // Past the window's left edge the caption slides out and comes back.
        QTest::mouseMove(Window(), QPoint(-30, 20));
        QCOMPARE(Caption().pos(), QPoint(-40, 15));
        QTest::mouseMove(Window(), QPoint(600, 400));
        QCOMPARE(Caption().pos(), QPoint(590, 395));
        QTest::mouseRelease(Window(), Qt::LeftButton, {}, QPoint(600, 400));
        QVERIFY(!Drag().Dragging);
        QTest::mouseMove(Window(), QPoint(300, 300));
        QCOMPARE(Caption().pos(), QPoint(590, 395));
        QCOMPARE(Caption().size(), QSize(168, 24));
    }

    void press_and_release_without_moving_changes_nothing()
    {
        QTest::mouseClick(Window(), Qt::LeftButton, {}, QPoint(50, 220));
        QCOMPARE(Caption().pos(), QPoint(32, 216));
        QVERIFY(!Drag().Dragging);
        // A release over the window's background with no drag running.
        QTest::mouseRelease(Window(), Qt::LeftButton, {}, QPoint(300, 440));
        QVERIFY(!Drag().Dragging);
        QCOMPARE(Caption().pos(), QPoint(32, 216));
    }

    void right_button_opens_the_menu_and_starts_no_drag()
    {
        QTest::mousePress(Window(), Qt::RightButton, {}, QPoint(50, 220));
        QVERIFY(!Drag().Dragging);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        // An Escape pressed in the window goes to the menu, not to the window.
        QTest::keyClick(Window(), Qt::Key_Escape);
        QVERIFY(!menu->isVisible());
        QVERIFY(form->window->isVisible());
        QTest::mouseMove(Window(), QPoint(200, 150));
        QTest::mouseRelease(Window(), Qt::RightButton, {}, QPoint(200, 150));
        QCOMPARE(Caption().pos(), QPoint(32, 216));
        QCOMPARE(Caption().TextEffect(), 0);
        QVERIFY(!Caption().Outline());

        // A right-click in the middle of a drag opens nothing: the drag
        // goes on and ends at the left button's release.
        QTest::mousePress(Window(), Qt::LeftButton, {}, QPoint(50, 220));
        QTest::mousePress(Window(), Qt::RightButton, {}, QPoint(50, 220));
        QVERIFY(!QApplication::activePopupWidget());
        QTest::mouseMove(Window(), QPoint(100, 250));
        QTest::mouseRelease(Window(), Qt::LeftButton, {}, QPoint(100, 250));
        QVERIFY(!Drag().Dragging);
        QCOMPARE(Caption().pos(), QPoint(32 + 50, 216 + 30));
    }

    void each_drag_step_repaints_beneath_at_once()
    {
        PaintCounter beneath, caption;
        form->workArea->installEventFilter(&beneath);
        Caption().installEventFilter(&caption);
        QCoreApplication::processEvents();
        Drag() = DragState{true, 10, 5};
        const int before = beneath.paints, own = caption.paints;
        form->window->MouseMove.Raise(100, 100, 0);
        QVERIFY(beneath.paints >= before + 2); // the Left write, then the Top write
        QVERIFY(caption.paints >= own + 2);
        QCOMPARE(Caption().pos(), QPoint(90, 95));
    }

    // Last: the hand-made double click leaves the click timing of its own.
    void double_click_does_not_start_a_drag()
    {
        QWindow* w = Window();
        const QPoint at(42, 221);
        const QPoint global = w->mapToGlobal(at);
        int t = 1'000'000;
        qt_handleMouseEvent(w, at, global, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress, {}, t += 10);
        qt_handleMouseEvent(w, at, global, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease, {}, t += 10);
        QVERIFY(!Drag().Dragging);
        // The second press comes as a double-click: no grab, no drag.
        qt_handleMouseEvent(w, at, global, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress, {}, t += 10);
        QVERIFY(!Drag().Dragging);
        const QPoint to(200, 150);
        qt_handleMouseEvent(w, to, w->mapToGlobal(to), Qt::LeftButton, Qt::NoButton, QEvent::MouseMove, {}, t += 10);
        QCOMPARE(Caption().pos(), QPoint(32, 216));
        qt_handleMouseEvent(w, to, w->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease, {}, t += 10);
        qt_handleMouseEvent(w, to, w->mapToGlobal(to), Qt::NoButton, Qt::NoButton, QEvent::MouseMove, {}, t += 5000);
        QCOMPARE(Caption().pos(), QPoint(32, 216));
    }
};

QTEST_MAIN(OverlayTest)
#include "test_overlay.moc"
