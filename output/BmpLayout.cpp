#include "output/BmpLayout.h"

#include "controls/decoders/ByteReader.h"

#include <cstring>
#include <limits>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__)) \
    && Q_BYTE_ORDER == Q_LITTLE_ENDIAN
#define MUGROVE_PACK_SHUFFLE 1
#include <tmmintrin.h>
#else
#define MUGROVE_PACK_SHUFFLE 0
#endif

namespace mugrove {

namespace {

// One picture row of 32-bit pixels to blue, green, red triples.
void PackRow(const QRgb* source, std::uint8_t* target, int width)
{
    for (int x = 0; x < width; ++x, target += 3) {
        const QRgb pixel = source[x];
        target[0] = static_cast<std::uint8_t>(qBlue(pixel));
        target[1] = static_cast<std::uint8_t>(qGreen(pixel));
        target[2] = static_cast<std::uint8_t>(qRed(pixel));
    }
}

#if MUGROVE_PACK_SHUFFLE
// The same with one byte shuffle per four pixels: a pixel in memory is
// already blue, green, red, alpha, so the shuffle only drops the alphas.
// Each store writes 16 bytes for 12, so it stops while the 4 extra bytes
// still fall on pixels of this row that are written afterwards.
__attribute__((target("ssse3"))) void PackRowShuffled(const QRgb* source, std::uint8_t* target,
                                                      int width)
{
    const __m128i dropAlpha = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int x = 0;
    for (; x + 6 <= width; x += 4, target += 12) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target), _mm_shuffle_epi8(pixels, dropAlpha));
    }
    PackRow(source + x, target, width - x);
}

using RowPacker = void (*)(const QRgb*, std::uint8_t*, int);

RowPacker FastestRowPacker()
{
    static const RowPacker packer = __builtin_cpu_supports("ssse3") ? PackRowShuffled : PackRow;
    return packer;
}
#else
using RowPacker = void (*)(const QRgb*, std::uint8_t*, int);

RowPacker FastestRowPacker()
{
    return PackRow;
}
#endif

} // namespace

PictureBytes PackBmp24(const ShownPicture& picture)
{
    if (picture.IsNull())
        return {};
    const int width = picture.Width();
    const int height = picture.Height();
    const std::size_t stride = BmpStride(width);
    const std::size_t imageSize = stride * static_cast<std::size_t>(height);
    if (imageSize > std::numeric_limits<std::uint32_t>::max() - kBmpPixelOffset)
        return {};

    PictureBytes file;
    try {
        file.resize(kBmpPixelOffset + imageSize);
    } catch (const std::bad_alloc&) {
        return {};
    }
    std::uint8_t* h = file.data();
    h[0] = 'B';
    h[1] = 'M';
    StoreU32(h + 2, static_cast<std::uint32_t>(file.size()));
    StoreU32(h + 10, static_cast<std::uint32_t>(kBmpPixelOffset));
    StoreU32(h + 14, static_cast<std::uint32_t>(kBmpInfoHeaderSize));
    StoreU32(h + 18, static_cast<std::uint32_t>(width));
    StoreU32(h + 22, static_cast<std::uint32_t>(height));
    StoreU16(h + 26, 1);
    StoreU16(h + 28, 24);
    StoreU32(h + 34, static_cast<std::uint32_t>(imageSize));
    // Reserved fields, compression, resolutions and colour counts stay 0.

    const std::size_t padding = stride - 3 * static_cast<std::size_t>(width);
    const RowPacker packRow = FastestRowPacker();
    std::uint8_t* row = h + kBmpPixelOffset;
    for (int y = height - 1; y >= 0; --y, row += stride) {
        packRow(picture.Row(y), row, width);
        std::memset(row + 3 * static_cast<std::size_t>(width), 0, padding);
    }
    return file;
}

} // namespace mugrove
