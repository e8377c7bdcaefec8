// The colour pop-up's layout, item and palette rules as plain numbers.
#include "app/model/Colour.h"
#include "controls/ColorPopupLayout.h"

#include <QTest>

using namespace mugrove;

namespace {

constexpr std::uint32_t kRed = 0x0000FF;
constexpr int kRedCell = 12;

} // namespace

class PopupLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void layout_without_transparent_box_is_seven_cells_wide()
    {
        const int e = 2, textHeight = 16;
        const ColorPopupLayout l = LayOutColorPopup(e, textHeight, 60, false);
        QCOMPARE(l.cell, 18);
        QCOMPARE(l.size.width(), 7 * 18 + 2 * e);
        const int t = textHeight + 4 * e + 2;
        QCOMPARE(l.boxTextHeight, t);
        QVERIFY(!l.HasTransparentBox());
        const int gridHeight = 5 * 18 + 2 * e;
        QCOMPARE(l.otherColoursBox, QRect(QPoint(e, gridHeight), QPoint(l.size.width() - e - 1, gridHeight + e + t - 1)));
        QCOMPARE(l.size.height(), gridHeight + 2 * e + e + t);
        QCOMPARE(l.CellRect(0), QRect(e, e, 18, 18));
        QCOMPARE(l.CellRect(31), QRect(3 * 18 + e, 4 * 18 + e, 18, 18)); // column 3, row 4
        // Wide edges make the cell grow past 18.
        QCOMPARE(LayOutColorPopup(6, textHeight, 0, false).cell, 2 * 6 + 7);
    }

    void layout_with_transparent_box_moves_the_grid_down()
    {
        const int e = 2, textHeight = 16, t = textHeight + 4 * e + 2;
        const ColorPopupLayout narrow = LayOutColorPopup(e, textHeight, 40, true);
        QCOMPARE(narrow.size.width(), 7 * 18 + 2 * e); // the text fits already
        QCOMPARE(narrow.transparentBox, QRect(QPoint(e, e), QPoint(narrow.size.width() - e - 1, 2 * e + t - 1)));
        QCOMPARE(narrow.CellRect(0).top(), e + (e + t) + e);
        const int heightBeforeOther = 5 * 18 + 2 * e + 2 * e + (e + t);
        QCOMPARE(narrow.otherColoursBox.top(), heightBeforeOther);
        QCOMPARE(narrow.size.height(), heightBeforeOther + 2 * e + (e + t));

        const ColorPopupLayout wide = LayOutColorPopup(e, textHeight, 150, true);
        QCOMPARE(wide.size.width(), 150 + 2 * e);
        QCOMPARE(wide.transparentBox.width(), 150);
        QCOMPARE(wide.otherColoursBox.width(), 150);
        // The grid keeps its cells; the widening only adds room at the right.
        QCOMPARE(wide.CellRect(6).right(), 7 * 18 + e - 1);
        // Without the transparent box the text never widens the window.
        QCOMPARE(LayOutColorPopup(e, textHeight, 150, false).size.width(), 7 * 18 + 2 * e);
    }

    void margins_and_empty_slots_hold_no_item()
    {
        const ColorPopupLayout l = LayOutColorPopup(2, 16, 40, true);
        QCOMPARE(l.ItemAt(l.CellRect(kRedCell).center()), kRedCell);
        QCOMPARE(l.ItemAt(l.transparentBox.center()), kTransparentBox);
        QCOMPARE(l.ItemAt(l.otherColoursBox.center()), kOtherColoursBox);
        QCOMPARE(l.ItemAt(QPoint(0, l.CellRect(7).center().y())), kNoItem);  // left margin
        QCOMPARE(l.ItemAt(QPoint(l.CellRect(4).center().x(), l.transparentBox.bottom() + 1)), kNoItem);
        QCOMPARE(l.ItemAt(l.CellRect(31).center() + QPoint(18, 0)), kNoItem); // slot 32 is empty
        QCOMPARE(l.ItemAt(QPoint(l.CellRect(0).x(), l.CellRect(28).bottom() + 1)), kNoItem);
        QCOMPARE(l.ItemAt(QPoint(-5, 20)), kNoItem);
        QCOMPARE(l.ItemAt(QPoint(l.size.width() + 40, l.CellRect(0).center().y())), kNoItem);
    }

    void keep_on_screen_moves()
    {
        const QRect screen(0, 0, 1024, 768);
        const QSize size(130, 126);
        // Near the bottom: moved up to end at the bottom edge, not flipped above the button.
        QCOMPARE(KeepOnScreen(QPoint(476, 700), size, screen), QPoint(476, 768 - 126));
        QCOMPARE(KeepOnScreen(QPoint(950, 100), size, screen), QPoint(1024 - 130, 100));
        QCOMPARE(KeepOnScreen(QPoint(-20, 100), size, screen), QPoint(0, 100));
        QCOMPARE(KeepOnScreen(QPoint(300, 100), QSize(2000, 126), screen), QPoint(0, 100));
        QCOMPARE(KeepOnScreen(QPoint(300, 100), size, screen), QPoint(300, 100));
        // A second screen to the right of the first.
        const QRect second(1024, 0, 800, 600);
        QCOMPARE(KeepOnScreen(QPoint(1800, 590), size, second), QPoint(1824 - 130, 600 - 126));
    }

    void current_item_for_a_colour()
    {
        QCOMPARE(CurrentItemFor(0x000000, false), 0);
        QCOMPARE(CurrentItemFor(kRed, false), kRedCell);
        QCOMPARE(CurrentItemFor(0x606060, true), 31);
        QCOMPARE(CurrentItemFor(0x123456, false), kOtherColoursBox);
        QCOMPARE(CurrentItemFor(kDefaultColour, true), kTransparentBox);
        QCOMPARE(CurrentItemFor(kDefaultColour, false), kOtherColoursBox);
    }

    void arrow_keys_wrap_through_the_boxes()
    {
        // No transparent box: the other-colours box closes the ring.
        QCOMPARE(NextItem(31, 0, Move::Right, false), kOtherColoursBox);
        QCOMPARE(NextItem(kOtherColoursBox, 0, Move::Right, false), 0);
        QCOMPARE(NextItem(0, 0, Move::Left, false), kOtherColoursBox);
        QCOMPARE(NextItem(6, 0, Move::Right, false), 7); // row by row
        QCOMPARE(NextItem(3, 0, Move::Up, false), kOtherColoursBox);
        QCOMPARE(NextItem(24, 0, Move::Down, false), 31);
        QCOMPARE(NextItem(26, 0, Move::Down, false), kOtherColoursBox); // no cell below
        QCOMPARE(NextItem(kOtherColoursBox, 0, Move::Down, false), 0);
        QCOMPARE(NextItem(kOtherColoursBox, 0, Move::Up, false), 28);
        // With the transparent box above the grid.
        QCOMPARE(NextItem(0, 0, Move::Left, true), kTransparentBox);
        QCOMPARE(NextItem(kTransparentBox, 0, Move::Left, true), kOtherColoursBox);
        QCOMPARE(NextItem(kOtherColoursBox, 0, Move::Right, true), kTransparentBox);
        QCOMPARE(NextItem(5, 0, Move::Up, true), kTransparentBox);
        QCOMPARE(NextItem(kTransparentBox, 0, Move::Up, true), kOtherColoursBox);
        QCOMPARE(NextItem(kTransparentBox, 0, Move::Down, true), 0);
        QCOMPARE(NextItem(kOtherColoursBox, 0, Move::Down, true), kTransparentBox);
        // Nothing hot yet: the first key starts from the current item.
        QCOMPARE(NextItem(kNoItem, kRedCell, Move::Right, false), kRedCell + 1);
    }

    void palette_names_and_colours_in_cell_order()
    {
        const NamedColour expected[kPaletteSize] = {
            {"黑色", 0x000000}, {"藏青", 0x800000}, {"墨绿", 0x008000}, {"深青", 0x808000},
            {"红褐", 0x000080}, {"紫红", 0x800080}, {"褐绿", 0x008080}, {"浅灰", 0xC0C0C0},
            {"灰色", 0x808080}, {"蓝色", 0xFF0000}, {"绿色", 0x00FF00}, {"艳青", 0xFFFF00},
            {"红色", 0x0000FF}, {"品红", 0xFF00FF}, {"黄色", 0x00FFFF}, {"白色", 0xFFFFFF},
            {"蓝灰", 0xFF8080}, {"藏蓝", 0xE03058}, {"嫩绿", 0x00E080}, {"青绿", 0x80E000},
            {"黄褐", 0x0060C0}, {"粉红", 0xFFA8FF}, {"嫩黄", 0x00D8D8}, {"银白", 0xECECEC},
            {"紫色", 0xFF0090}, {"天蓝", 0xFF8800}, {"灰绿", 0x80A080}, {"青蓝", 0xC06000},
            {"橙黄", 0x0080FF}, {"桃红", 0x8050FF}, {"芙红", 0xC080FF}, {"深灰", 0x606060},
        };
        const auto& table = PaletteColours();
        for (int i = 0; i < kPaletteSize; ++i) {
            QCOMPARE(QString::fromUtf8(table[std::size_t(i)].name), QString::fromUtf8(expected[i].name));
            QCOMPARE(table[std::size_t(i)].colour, expected[i].colour);
        }
    }
};

QTEST_GUILESS_MAIN(PopupLayoutTest)
#include "test_popup_layout.moc"
