#include "controls/decoders/Orientation.h"

#include <algorithm>
#include <new>
#include <utility>

namespace mugrove {

namespace {

void MirrorRows(Image& image)
{
    for (int y = 0; y < image.height; ++y)
        std::reverse(image.Row(y), image.Row(y) + image.width);
}

void FlipRows(Image& image)
{
    for (int top = 0, bottom = image.height - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(image.Row(top), image.Row(top) + image.width, image.Row(bottom));
}

// Stored rows are read in bands this tall and written out in tiles this
// wide, so each tile's source rows and target rows stay in the cache
// (16 × 16 pixels of four bytes: one cache line per target row).
constexpr int kTile = 16;

} // namespace

void TurnRowsInto(Image& target, const std::uint32_t* rows, int firstRow, int count, int storedWidth,
                  int storedHeight, int orientation)
{
    // Stored pixel (x, y) lands at target (tx, ty): the target's rows are
    // the stored columns, from the left (5, 6) or from the right (7, 8);
    // the target's columns are the stored rows, from the top (5, 8) or from
    // the bottom (6, 7).
    const bool columnsFromRight = orientation == 7 || orientation == 8;
    const bool rowsFromBottom = orientation == 6 || orientation == 7;
    const auto stride = static_cast<std::size_t>(storedWidth);
    // A strip of stored columns is a strip of target rows: each target row
    // gets all of its pixels from these stored rows in one go, a run of
    // whole cache lines, while the tile being read stays in the cache.
    for (int x0 = 0; x0 < storedWidth; x0 += kTile) {
        const int x1 = std::min(storedWidth, x0 + kTile);
        for (int y0 = 0; y0 < count; y0 += kTile) {
            const int y1 = std::min(count, y0 + kTile);
            for (int x = x0; x < x1; ++x) {
                const int ty = columnsFromRight ? storedWidth - 1 - x : x;
                std::uint32_t* out = target.Row(ty);
                const std::uint32_t* in = rows + x;
                if (rowsFromBottom) {
                    std::uint32_t* to = out + (storedHeight - 1 - firstRow - y0);
                    for (int y = y0; y < y1; ++y, --to)
                        *to = in[static_cast<std::size_t>(y) * stride];
                } else {
                    std::uint32_t* to = out + (firstRow + y0);
                    for (int y = y0; y < y1; ++y, ++to)
                        *to = in[static_cast<std::size_t>(y) * stride];
                }
            }
        }
    }
}

bool ApplyOrientation(Image& image, int orientation)
{
    if (image.Empty())
        return true;
    switch (orientation) {
    case 2: MirrorRows(image); return true;
    case 3:
        std::reverse(image.pixels.begin(), image.pixels.end());
        return true;
    case 4: FlipRows(image); return true;
    case 5:
    case 6:
    case 7:
    case 8: break;
    default: return true;
    }
    Image turned;
    try {
        turned.pixels = PixelBuffer(PixelBuffer::allocator_type(false));
        turned.pixels.resize(image.pixels.size());
    } catch (const std::bad_alloc&) {
        return false;
    }
    turned.width = image.height;
    turned.height = image.width;
    TurnRowsInto(turned, image.pixels.data(), 0, image.height, image.width, image.height, orientation);
    image = std::move(turned);
    return true;
}

} // namespace mugrove
