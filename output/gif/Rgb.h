#pragma once

// Colours as the GIF encoder's parts pass them around: 0xRRGGBB in one word,
// and frames as 32-bit pixels of that layout (alpha ignored).

#include <QImage>

#include <cstdint>
#include <cstdlib>

namespace mugrove::gif {

inline int Red(std::uint32_t c) { return int((c >> 16) & 0xFF); }
inline int Green(std::uint32_t c) { return int((c >> 8) & 0xFF); }
inline int Blue(std::uint32_t c) { return int(c & 0xFF); }

inline std::uint32_t Pack(int r, int g, int b)
{
    return (std::uint32_t(r) << 16) | (std::uint32_t(g) << 8) | std::uint32_t(b);
}

// Every channel within `tolerance` of the other's.
inline bool Close(std::uint32_t a, std::uint32_t b, int tolerance)
{
    return std::abs(Red(a) - Red(b)) <= tolerance && std::abs(Green(a) - Green(b)) <= tolerance
        && std::abs(Blue(a) - Blue(b)) <= tolerance;
}

// The squared distance between two colours in RGB.
inline int Distance2(int r, int g, int b, std::uint32_t c)
{
    const int dr = Red(c) - r, dg = Green(c) - g, db = Blue(c) - b;
    return dr * dr + dg * dg + db * db;
}

// The frame with pixels the parts can read as words (alpha ignored).
inline QImage Rgb32(const QImage& input)
{
    return input.format() == QImage::Format_RGB32 || input.format() == QImage::Format_ARGB32
        ? input
        : input.convertToFormat(QImage::Format_RGB32);
}

} // namespace mugrove::gif
