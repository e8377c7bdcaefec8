#include "controls/ColorPopupLayout.h"

#include <algorithm>

namespace mugrove {

const std::array<NamedColour, kPaletteSize>& PaletteColours()
{
    static const std::array<NamedColour, kPaletteSize> table = {{
        {"黑色", 0x000000}, {"藏青", 0x800000}, {"墨绿", 0x008000}, {"深青", 0x808000},
        {"红褐", 0x000080}, {"紫红", 0x800080}, {"褐绿", 0x008080}, {"浅灰", 0xC0C0C0},
        {"灰色", 0x808080}, {"蓝色", 0xFF0000}, {"绿色", 0x00FF00}, {"艳青", 0xFFFF00},
        {"红色", 0x0000FF}, {"品红", 0xFF00FF}, {"黄色", 0x00FFFF}, {"白色", 0xFFFFFF},
        {"蓝灰", 0xFF8080}, {"藏蓝", 0xE03058}, {"嫩绿", 0x00E080}, {"青绿", 0x80E000},
        {"黄褐", 0x0060C0}, {"粉红", 0xFFA8FF}, {"嫩黄", 0x00D8D8}, {"银白", 0xECECEC},
        {"紫色", 0xFF0090}, {"天蓝", 0xFF8800}, {"灰绿", 0x80A080}, {"青蓝", 0xC06000},
        {"橙黄", 0x0080FF}, {"桃红", 0x8050FF}, {"芙红", 0xC080FF}, {"深灰", 0x606060},
    }};
    return table;
}

QRect ColorPopupLayout::CellRect(int index) const
{
    if (index < 0 || index >= kPaletteSize)
        return QRect();
    const int column = index % kPaletteColumns;
    const int row = index / kPaletteColumns;
    return QRect(column * cell + edge, row * cell + gridTop, cell, cell);
}

QRect ColorPopupLayout::ItemRect(int item) const
{
    if (item == kTransparentBox)
        return transparentBox;
    if (item == kOtherColoursBox)
        return otherColoursBox;
    return CellRect(item);
}

int ColorPopupLayout::ItemAt(QPoint point) const
{
    if (HasTransparentBox() && transparentBox.contains(point))
        return kTransparentBox;
    if (otherColoursBox.contains(point))
        return kOtherColoursBox;
    const int x = point.x() - edge;
    const int y = point.y() - gridTop;
    if (x < 0 || y < 0)
        return kNoItem;
    const int column = x / cell;
    const int row = y / cell;
    if (column >= kPaletteColumns || row >= kPaletteRows)
        return kNoItem;
    const int index = row * kPaletteColumns + column;
    return index < kPaletteSize ? index : kNoItem;
}

ColorPopupLayout LayOutColorPopup(int edge, int textHeight, int widerTextWidth,
                                  bool withTransparentBox)
{
    ColorPopupLayout l;
    l.edge = edge;
    l.cell = std::max(18, 2 * edge + 7);
    l.boxTextHeight = textHeight + 4 * edge + 2;
    const int t = l.boxTextHeight;

    int width = kPaletteColumns * l.cell + 2 * edge;
    int height = kPaletteRows * l.cell + 2 * edge;
    l.gridTop = edge;
    if (withTransparentBox) {
        width = std::max(width, widerTextWidth + 2 * edge);
        // QRect(QPoint, QPoint) is inclusive; the boxes are stated with
        // exclusive right and bottom edges.
        l.transparentBox = QRect(edge, edge, width - 2 * edge, edge + t);
        l.gridTop += l.transparentBox.height() + edge;
        height += 2 * edge + (edge + t);
    }
    l.otherColoursBox = QRect(edge, height, width - 2 * edge, edge + t);
    height += 2 * edge + (edge + t);
    l.size = QSize(width, height);
    return l;
}

QPoint KeepOnScreen(QPoint wanted, QSize size, const QRect& screen)
{
    QPoint p = wanted;
    const int screenRight = screen.x() + screen.width();
    const int screenBottom = screen.y() + screen.height();
    if (p.x() + size.width() > screenRight)
        p.rx() -= p.x() + size.width() - screenRight;
    if (p.x() < screen.x())
        p.setX(screen.x());
    if (p.y() + size.height() > screenBottom)
        p.ry() -= p.y() + size.height() - screenBottom;
    return p;
}

int CurrentItemFor(std::uint32_t colour, bool withTransparentBox)
{
    if (colour == 0xFF000000u && withTransparentBox)
        return kTransparentBox;
    const auto& table = PaletteColours();
    for (int i = 0; i < kPaletteSize; ++i) {
        if (table[std::size_t(i)].colour == colour)
            return i;
    }
    return kOtherColoursBox;
}

namespace {

// The items in reading order: the transparent box above the grid, the other
// colours box below it.
int Step(int item, int delta, bool withTransparentBox)
{
    const int first = withTransparentBox ? -1 : 0; // -1 stands for the transparent box
    const int last = kPaletteSize;                  // the other colours box
    int position = item == kTransparentBox ? -1 : item == kOtherColoursBox ? last : item;
    position += delta;
    if (position > last)
        position = first;
    if (position < first)
        position = last;
    if (position == -1)
        return kTransparentBox;
    return position == last ? kOtherColoursBox : position;
}

} // namespace

int NextItem(int from, int current, Move move, bool withTransparentBox)
{
    int item = from == kNoItem ? current : from;
    if (item == kNoItem || (item == kTransparentBox && !withTransparentBox))
        return 0;
    const int topBox = withTransparentBox ? kTransparentBox : kOtherColoursBox;
    switch (move) {
    case Move::Right:
        return Step(item, +1, withTransparentBox);
    case Move::Left:
        return Step(item, -1, withTransparentBox);
    case Move::Down:
        if (item == kTransparentBox)
            return 0;
        if (item == kOtherColoursBox)
            return withTransparentBox ? kTransparentBox : 0;
        return item + kPaletteColumns < kPaletteSize ? item + kPaletteColumns : kOtherColoursBox;
    case Move::Up:
        if (item == kTransparentBox)
            return kOtherColoursBox;
        if (item == kOtherColoursBox)
            return (kPaletteRows - 1) * kPaletteColumns; // the bottom row's first cell
        return item >= kPaletteColumns ? item - kPaletteColumns : topBox;
    }
    return item;
}

} // namespace mugrove
