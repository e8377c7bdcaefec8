// The colour picker: the real button and pop-up driven with the mouse and
// the keyboard.
#include "app/model/Colour.h"
#include "controls/ColorPicker.h"
#include "controls/ColorPopup.h"
#include "controls/ColorPopupLayout.h"
#include "tests/support/ModalAnswer.h"

#include <QApplication>
#include <QColorDialog>
#include <QFontMetrics>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QToolTip>

#include <algorithm>
#include <memory>
#include <vector>

using namespace mugrove;
using mugrove::testing::ModalAnswer;

namespace {

constexpr std::uint32_t kRed = 0x0000FF;
constexpr int kRedCell = 12;

// An item's look from the pixels of its rectangle, halfway down: its left
// and right edge, and the fill just inside the left edge. Hot: a raised thin
// edge (Light left, Dark right). Current: a sunken edge and a Light fill.
// The hot item is raised even when it is the current one.
QString LookOf(const QImage& shot, const QRect& item, const QPalette& palette)
{
    const int y = item.center().y();
    const QRgb left = shot.pixel(item.left(), y);
    const QRgb right = shot.pixel(item.right(), y);
    const QRgb fill = shot.pixel(item.left() + 1, y);
    const QRgb face = ButtonFaceColour().rgb(), light = palette.color(QPalette::Light).rgb(),
               dark = palette.color(QPalette::Dark).rgb();
    if (left == face && right == face && fill == face)
        return QString();
    if (left == dark && right == light && fill == light)
        return QStringLiteral("current");
    if (left == light && right == dark && fill == face)
        return QStringLiteral("hot");
    return QStringLiteral("unknown");
}

// The pop-up that holds the mouse now, if it is a colour pop-up.
ColorPopup* OpenPopup() { return qobject_cast<ColorPopup*>(QApplication::activePopupWidget()); }

// A shown window holding one picker at the window's geometry.
struct Rig {
    QWidget window;
    ColorPicker* picker;
    int raised = 0;
    std::vector<std::uint32_t> seenByHandler; // CurrentColour as the handler reads it

    ColorPopupLayout layout; // of the pop-up last opened

    explicit Rig(QPoint at = QPoint(40, 40))
    {
        window.setGeometry(QRect(at, QSize(200, 100)));
        picker = new ColorPicker(&window);
        picker->setGeometry(20, 10, 47, 28);
        picker->ColourChanged.Bind([this] {
            ++raised;
            seenByHandler.push_back(picker->CurrentColour());
        });
        window.show();
        (void)QTest::qWaitForWindowExposed(&window);
    }

    ColorPopup* Open()
    {
        QTest::mousePress(picker, Qt::LeftButton, {}, QPoint(10, 10));
        ColorPopup* popup = OpenPopup();
        if (!popup)
            return nullptr;
        (void)QTest::qWaitForWindowExposed(popup);
        // The layout of the pop-up's texts in its font; a pop-up of another
        // size fails the opening.
        const QFontMetrics m(popup->font());
        const int textWidth = std::max(m.horizontalAdvance(QStringLiteral("透明")),
                                       m.horizontalAdvance(QStringLiteral("其它颜色...")));
        layout = LayOutColorPopup(kEdgeWidth, m.height(), textWidth, picker->AllowTransparent());
        return popup->size() == layout.size ? popup : nullptr;
    }

    // Every item that is not plain, as the pop-up shows it now: "12 hot,
    // other current" (cells by number, then the transparent and other box).
    QString Marked(ColorPopup* popup) const
    {
        const QImage shot = popup->grab().toImage();
        QStringList marked;
        for (int item = 0; item <= kOtherColoursBox; ++item) {
            const QRect r = layout.ItemRect(item);
            const QString look = r.isEmpty() ? QString() : LookOf(shot, r, popup->palette());
            if (!look.isEmpty())
                marked << (item == kTransparentBox   ? QStringLiteral("transparent")
                           : item == kOtherColoursBox ? QStringLiteral("other")
                                                      : QString::number(item))
                        + u' ' + look;
        }
        return marked.join(QStringLiteral(", "));
    }

    // A pixel inside the swatch, clear of its text and focus rectangle.
    QColor SwatchPixel() const { return picker->grab().toImage().pixelColor(7, 6); }
};

// Mouse input through the window system, so the pop-up's grab routes it as it
// would for a real pointer.
void MoveTo(ColorPopup* popup, QPoint local) { QTest::mouseMove(popup->windowHandle(), local); }
void Press(ColorPopup* popup, QPoint local)
{
    QTest::mousePress(popup->windowHandle(), Qt::LeftButton, {}, local);
}
void Release(ColorPopup* popup, QPoint local)
{
    QTest::mouseRelease(popup->windowHandle(), Qt::LeftButton, {}, local);
}

} // namespace

class ColorPickerTest : public QObject {
    Q_OBJECT

private slots:
    // ---- the button and its pop-up ----

    void popup_opens_under_the_button_with_its_items()
    {
        Rig rig;
        ColorPopup* popup = rig.Open();
        QVERIFY(popup);
        QVERIFY(popup->isVisible());
        QVERIFY(rig.picker->IsDroppedDown());
        QCOMPARE(popup->geometry().topLeft(), rig.picker->mapToGlobal(QPoint(0, rig.picker->height())));
        QCOMPARE(popup->size().width(), 7 * rig.layout.cell + 2 * kEdgeWidth);
        QCOMPARE(rig.Marked(popup), QStringLiteral("0 current")); // black, nothing hot
        // The release of the opening press changes nothing.
        Release(popup, QPoint(5, 5));
        QVERIFY(OpenPopup() == popup);
        QVERIFY(popup->isVisible());
        QCOMPARE(rig.raised, 0);
    }

    void a_real_click_opens_and_its_release_is_ignored()
    {
        Rig rig;
        QWindow* top = rig.window.windowHandle();
        const QPoint onButton = rig.picker->mapTo(&rig.window, QPoint(10, 10));
        QTest::mousePress(top, Qt::LeftButton, {}, onButton);
        ColorPopup* popup = OpenPopup();
        QVERIFY(popup);
        QTest::mouseRelease(top, Qt::LeftButton, {}, onButton);
        QVERIFY(OpenPopup() == popup);
        QVERIFY(popup->isVisible());
        // The next click, on the button again, lies outside the pop-up: a cancel.
        QTest::mousePress(top, Qt::LeftButton, {}, onButton);
        QTest::mouseRelease(top, Qt::LeftButton, {}, onButton);
        QVERIFY(!rig.picker->IsDroppedDown());
        QCOMPARE(rig.raised, 0);
    }

    void hover_red_then_margin_then_click_confirms_red()
    {
        Rig rig;
        QCOMPARE(rig.SwatchPixel(), QColor(Qt::black));
        ColorPopup* popup = rig.Open();
        QVERIFY(popup);
        const ColorPopupLayout& l = rig.layout;
        MoveTo(popup, l.CellRect(kRedCell).center());
        const QString redHot = QStringLiteral("0 current, 12 hot");
        QCOMPARE(rig.Marked(popup), redHot);
        const QPoint margin(1, l.CellRect(kRedCell).center().y());
        MoveTo(popup, margin);
        QCOMPARE(rig.Marked(popup), redHot);
        Press(popup, margin);
        Release(popup, margin);
        QCOMPARE(rig.raised, 1);
        QCOMPARE(rig.seenByHandler, std::vector<std::uint32_t>{kRed});
        QCOMPARE(rig.picker->CurrentColour(), kRed);
        QVERIFY(!rig.picker->IsDroppedDown());
        QCOMPARE(rig.SwatchPixel(), QColor(Qt::red));
    }

    void choosing_the_current_colour_still_raises()
    {
        Rig rig;
        ColorPopup* popup = rig.Open();
        QVERIFY(popup);
        const QPoint black = rig.layout.CellRect(0).center();
        MoveTo(popup, black);
        Press(popup, black);
        Release(popup, black);
        QCOMPARE(rig.raised, 1);
        QCOMPARE(rig.picker->CurrentColour(), 0u);
    }

    void escape_and_outside_click_cancel()
    {
        Rig rig;
        rig.picker->SetCurrentColour(0x008000);
        ColorPopup* popup = rig.Open();
        QVERIFY(popup);
        MoveTo(popup, rig.layout.CellRect(kRedCell).center());
        QTest::keyClick(popup, Qt::Key_Escape);
        QCOMPARE(rig.raised, 0);
        QCOMPARE(rig.picker->CurrentColour(), 0x008000u);
        QVERIFY(!rig.picker->IsDroppedDown());
        QCOMPARE(rig.SwatchPixel(), QColor(0, 128, 0));

        popup = rig.Open();
        QVERIFY(popup);
        MoveTo(popup, rig.layout.CellRect(kRedCell).center());
        const QPoint outside(popup->width() + 30, popup->height() + 30);
        MoveTo(popup, outside);
        Press(popup, outside);
        QVERIFY(rig.picker->IsDroppedDown()); // the press alone does not close it
        Release(popup, outside);
        QCOMPARE(rig.raised, 0);
        QCOMPARE(rig.picker->CurrentColour(), 0x008000u);
        QVERIFY(!rig.picker->IsDroppedDown());
        QCOMPARE(rig.SwatchPixel(), QColor(0, 128, 0));
    }

    void popup_closed_from_outside_is_a_cancel()
    {
        Rig rig;
        ColorPopup* popup = rig.Open();
        QVERIFY(popup);
        MoveTo(popup, rig.layout.CellRect(kRedCell).center());
        popup->close();
        QCOMPARE(rig.raised, 0);
        QCOMPARE(rig.picker->CurrentColour(), 0u);
        QVERIFY(!rig.picker->IsDroppedDown());
        QVERIFY(rig.Open()); // and it opens again
    }

    void keyboard_moves_wrap_and_confirm()
    {
        Rig rig;
        rig.picker->SetCurrentColour(0x606060); // cell 31, the last one
        ColorPopup* popup = rig.Open();
        QVERIFY(popup);
        QCOMPARE(rig.Marked(popup), QStringLiteral("31 current"));
        QTest::keyClick(popup, Qt::Key_Right);
        QCOMPARE(rig.Marked(popup), QStringLiteral("31 current, other hot"));
        QTest::keyClick(popup, Qt::Key_Right);
        QCOMPARE(rig.Marked(popup), QStringLiteral("0 hot, 31 current"));
        QTest::keyClick(popup, Qt::Key_Up);
        QCOMPARE(rig.Marked(popup), QStringLiteral("31 current, other hot"));
        QTest::keyClick(popup, Qt::Key_Down);
        QTest::keyClick(popup, Qt::Key_Down);
        QCOMPARE(rig.Marked(popup), QStringLiteral("7 hot, 31 current"));
        QTest::keyClick(popup, Qt::Key_Enter);
        QCOMPARE(rig.raised, 1);
        QCOMPARE(rig.picker->CurrentColour(), PaletteColours()[7].colour);

        popup = rig.Open();
        QVERIFY(popup);
        QTest::keyClick(popup, Qt::Key_Left);
        QTest::keyClick(popup, Qt::Key_Space);
        QCOMPARE(rig.raised, 2);
        QCOMPARE(rig.picker->CurrentColour(), PaletteColours()[6].colour);
    }

    void other_colours_asks_the_dialog()
    {
        Rig rig;
        rig.picker->SetCurrentColour(0x123456);
        QColor asked;
        ColorPopup* popup = rig.Open();
        QVERIFY(popup);
        QCOMPARE(rig.Marked(popup), QStringLiteral("other current")); // not in the palette
        // Pass over red first: the dialog still starts from the initial colour.
        MoveTo(popup, rig.layout.CellRect(kRedCell).center());
        const QPoint other = rig.layout.otherColoursBox.center();
        MoveTo(popup, other);
        {
            const ModalAnswer<QColorDialog> cancel([&](QColorDialog& dialog) {
                asked = dialog.currentColor();
                dialog.reject();
            });
            Press(popup, other);
            Release(popup, other);
            QVERIFY(cancel.Seen());
        }
        QCOMPARE(asked, QColor(0x56, 0x34, 0x12));
        QCOMPARE(rig.raised, 0);
        QCOMPARE(rig.picker->CurrentColour(), 0x123456u);
        QVERIFY(!rig.picker->IsDroppedDown());

        popup = rig.Open();
        QVERIFY(popup);
        MoveTo(popup, QPoint(1, 1)); // the window system drops a move to where the pointer is
        MoveTo(popup, rig.layout.otherColoursBox.center());
        const ModalAnswer<QColorDialog> choose([](QColorDialog& dialog) {
            dialog.setCurrentColor(QColor(0xC0, 0xB0, 0xA0));
            dialog.accept();
        });
        QTest::keyClick(popup, Qt::Key_Return);
        QVERIFY(choose.Seen());
        QCOMPARE(rig.raised, 1);
        QCOMPARE(rig.seenByHandler, std::vector<std::uint32_t>{0x00A0B0C0u});
    }

    void transparent_only_when_allowed()
    {
        Rig rig;
        rig.picker->SetCurrentColour(kDefaultColour);
        // Not allowed: shown as black, the stored value stays.
        QCOMPARE(rig.SwatchPixel(), QColor(Qt::black));
        QCOMPARE(rig.picker->CurrentColour(), kDefaultColour);

        rig.picker->SetAllowTransparent(true);
        QCOMPARE(rig.SwatchPixel(), QColor(Qt::white));
        rig.picker->SetCurrentColour(kRed);
        ColorPopup* popup = rig.Open();
        QVERIFY(popup);
        QVERIFY(rig.layout.HasTransparentBox());
        QCOMPARE(rig.Marked(popup), QStringLiteral("12 current"));
        const QPoint box = rig.layout.transparentBox.center();
        MoveTo(popup, box);
        QCOMPARE(rig.Marked(popup), QStringLiteral("12 current, transparent hot"));
        MoveTo(popup, rig.layout.otherColoursBox.center());
        QCOMPARE(rig.Marked(popup), QStringLiteral("12 current, other hot"));
        MoveTo(popup, box);
        Press(popup, box);
        Release(popup, box);
        QCOMPARE(rig.raised, 1);
        QCOMPARE(rig.picker->CurrentColour(), kDefaultColour);
        QCOMPARE(rig.SwatchPixel(), QColor(Qt::white));

        popup = rig.Open();
        QVERIFY(popup);
        QCOMPARE(rig.Marked(popup), QStringLiteral("transparent current"));
        QTest::keyClick(popup, Qt::Key_Escape);
    }

    void popup_near_the_bottom_ends_at_the_screen_edge()
    {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        Rig rig(QPoint(screen.left() + 100, screen.bottom() - 60));
        ColorPopup* popup = rig.Open();
        QVERIFY(popup);
        const QRect placed = popup->geometry();
        QCOMPARE(placed.bottom(), screen.bottom());
        QCOMPARE(placed.left(), rig.picker->mapToGlobal(QPoint(0, 0)).x());
        // Moved up, not flipped above the button.
        QVERIFY(placed.top() > rig.picker->mapToGlobal(QPoint(0, 0)).y() - placed.height());
        QTest::keyClick(popup, Qt::Key_Escape);
    }

    void space_on_the_button_opens_and_a_dying_button_takes_its_popup()
    {
        auto rig = std::make_unique<Rig>();
        rig->picker->setFocus();
        QTest::keyClick(rig->picker, Qt::Key_Space);
        QPointer<ColorPopup> popup = OpenPopup();
        QVERIFY(popup);
        QVERIFY(popup->isVisible());
        QTest::keyClick(rig->picker, Qt::Key_Space); // already open: no second pop-up
        QVERIFY(OpenPopup() == popup);
        rig.reset(); // raises nothing into a dead handler
        QVERIFY(popup.isNull());
    }

    void cell_tool_tips_name_the_colours()
    {
        Rig rig;
        ColorPopup* popup = rig.Open();
        QVERIFY(popup);
        const QPoint red = rig.layout.CellRect(kRedCell).center();
        QHelpEvent help(QEvent::ToolTip, red, popup->mapToGlobal(red));
        QApplication::sendEvent(popup, &help);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), QStringLiteral("红色"));
        QTest::keyClick(popup, Qt::Key_Escape);
    }
};

QTEST_MAIN(ColorPickerTest)
#include "test_colorpicker.moc"
