#include "controls/decoders/Orientation.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Stored pixels are turned in tiles kTile columns wide and kTileRows rows
// tall, so each tile's source rows and target rows stay in the cache
// (16 × 32 pixels of four bytes: two cache lines per target row).
constexpr int kTile = 16;
constexpr int kTileRows = 32;

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
    const auto targetRow = [&](int x) { return target.Row(columnsFromRight ? storedWidth - 1 - x : x); };
    // Where stored rows y .. y + n - 1 begin in a target row: the lowest
    // target column they fill.
    const auto firstColumn = [&](int y, int n) {
        return rowsFromBottom ? storedHeight - firstRow - y - n : firstRow + y;
    };
    // A strip of stored columns is a strip of target rows: each target row
    // gets all of its pixels from these stored rows in one go, a run of
    // whole cache lines, while the tile being read stays in the cache.
    for (int x0 = 0; x0 < storedWidth; x0 += kTile) {
        const int x1 = std::min(storedWidth, x0 + kTile);
        for (int y0 = 0; y0 < count; y0 += kTileRows) {
            const int y1 = std::min(count, y0 + kTileRows);
#if defined(__SSE2__)
            // A whole tile is turned in registers, 4 x 4 pixels at a time,
            // into a block on the stack, then each target row's run of
            // kTileRows pixels (two cache lines) is written in one go.
            if (x1 - x0 == kTile && y1 - y0 == kTileRows) {
                alignas(16) std::uint32_t block[kTile][kTileRows];
                for (int y = 0; y < kTileRows; y += 4)
                    for (int x = 0; x < kTile; x += 4) {
                        const std::uint32_t* p = rows + static_cast<std::size_t>(y0 + y) * stride + (x0 + x);
                        const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
                        const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + stride));
                        const __m128i r2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * stride));
                        const __m128i r3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * stride));
                        const __m128i low01 = _mm_unpacklo_epi32(r0, r1), low23 = _mm_unpacklo_epi32(r2, r3);
                        const __m128i high01 = _mm_unpackhi_epi32(r0, r1), high23 = _mm_unpackhi_epi32(r2, r3);
                        // Stored column x + i, top to bottom.
                        const __m128i columns[4] = {
                            _mm_unpacklo_epi64(low01, low23), _mm_unpackhi_epi64(low01, low23),
                            _mm_unpacklo_epi64(high01, high23), _mm_unpackhi_epi64(high01, high23)};
                        for (int i = 0; i < 4; ++i) {
                            if (rowsFromBottom)
                                _mm_store_si128(reinterpret_cast<__m128i*>(&block[x + i][kTileRows - 4 - y]),
                                                _mm_shuffle_epi32(columns[i], _MM_SHUFFLE(0, 1, 2, 3)));
                            else
                                _mm_store_si128(reinterpret_cast<__m128i*>(&block[x + i][y]), columns[i]);
                        }
                    }
                const int column = firstColumn(y0, kTileRows);
                for (int i = 0; i < kTile; ++i) {
                    std::uint32_t* to = targetRow(x0 + i) + column;
                    const auto* from = reinterpret_cast<const __m128i*>(block[i]);
                    for (int k = 0; k < kTileRows / 4; ++k)
                        _mm_storeu_si128(reinterpret_cast<__m128i*>(to) + k, _mm_load_si128(from + k));
                }
                continue;
            }
#endif
            for (int x = x0; x < x1; ++x) {
                std::uint32_t* out = targetRow(x);
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
    turned.opaque = image.opaque;
    TurnRowsInto(turned, image.pixels.data(), 0, image.height, image.width, image.height, orientation);
    image = std::move(turned);
    return true;
}

} // namespace mugrove
