#pragma once

// The colour pop-up's geometry and item rules, without widgets, so they can be
// checked with plain numbers.

#include <QPoint>
#include <QRect>
#include <QSize>

#include <array>
#include <cstdint>

namespace mugrove {

// The edge width every platform edge of the picker and its pop-up is drawn
// with: the usual two-pixel 3-D edge (outer and inner line).
inline constexpr int kEdgeWidth = 2;

struct NamedColour {
    const char* name; // UTF-8, shown as the cell's tool tip
    std::uint32_t colour; // 0x00BBGGRR
};

inline constexpr int kPaletteSize = 32;
inline constexpr int kPaletteColumns = 7;
inline constexpr int kPaletteRows = (kPaletteSize + kPaletteColumns - 1) / kPaletteColumns; // 5

// The palette, in cell order.
const std::array<NamedColour, kPaletteSize>& PaletteColours();

// Items of the pop-up: cells 0 .. 31, then the two boxes.
inline constexpr int kNoItem = -1;
inline constexpr int kTransparentBox = kPaletteSize;
inline constexpr int kOtherColoursBox = kPaletteSize + 1;

struct ColorPopupLayout {
    int edge = kEdgeWidth;
    int cell = 0;          // side of one square cell
    int boxTextHeight = 0; // t: text height + 4 edges + 2
    QSize size;            // the pop-up window's outer size
    QRect transparentBox;  // empty when the pop-up has none
    QRect otherColoursBox;
    int gridTop = 0;       // top of row 0

    bool HasTransparentBox() const { return !transparentBox.isEmpty(); }
    QRect CellRect(int index) const;
    // The rectangle of a cell or box; empty for kNoItem.
    QRect ItemRect(int item) const;
    // The item under a point in pop-up coordinates; kNoItem over margins or
    // outside the window.
    int ItemAt(QPoint point) const;
};

// textHeight: the larger height of the two box texts; widerTextWidth: the
// larger width of the two. Both in pixels of the pop-up's text font.
ColorPopupLayout LayOutColorPopup(int edge, int textHeight, int widerTextWidth,
                                  bool withTransparentBox);

// Where a pop-up of `size` wanted at `wanted` ends up so that it stays on
// `screen`: pushed left by what sticks out at the right, then right to the
// screen's left edge, and up by what sticks out at the bottom. It is never
// flipped above its button.
QPoint KeepOnScreen(QPoint wanted, QSize size, const QRect& screen);

// The item marked current for a colour: the cell holding it exactly, else the
// "other colours" box; the transparent box for the transparent value when the
// pop-up has that box.
int CurrentItemFor(std::uint32_t colour, bool withTransparentBox);

enum class Move { Left, Right, Up, Down };

// The item an arrow key moves to from `from` (kNoItem: start from `current`).
// The grid is walked row by row (left/right) and column by column (up/down);
// leaving it at either end lands on a box, and leaving a box lands back in it.
int NextItem(int from, int current, Move move, bool withTransparentBox);

} // namespace mugrove
