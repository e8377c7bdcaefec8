#pragma once

// The decoder suites' test files and pixel comparisons.

#include "controls/decoders/Image.h"
#include "controls/decoders/PictureBytes.h"

#include <QFile>
#include <QRegularExpression>
#include <QString>

#include <cstdint>
#include <vector>

namespace mugrove::testing {

// Pictures are stored row after row, top down, without padding.
inline std::uint32_t PixelAt(const Image& image, int x, int y)
{
    return image.pixels[std::size_t(y) * std::size_t(image.width) + std::size_t(x)];
}

inline QString DataPath(const QString& name)
{
    return QStringLiteral(MUGROVE_TEST_DATA "/decoders/") + name;
}

inline PictureBytes Load(const QString& name)
{
    // Inputs the fuzzers found are kept apart from the generated files.
    QFile f(name.startsWith("fuzz-regressions/") ? QStringLiteral(MUGROVE_TEST_DATA "/") + name : DataPath(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing test file %s", qPrintable(name));
    const QByteArray b = f.readAll();
    return PictureBytes(b.begin(), b.end());
}

inline Image LoadExpected(const QString& name)
{
    QFile f(DataPath(name + ".expect"));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        qFatal("missing expectation %s", qPrintable(name));
    const QStringList words = QString::fromLatin1(f.readAll()).split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    Image image;
    image.width = words.value(0).toInt();
    image.height = words.value(1).toInt();
    for (qsizetype i = 2; i < words.size(); ++i)
        image.pixels.push_back(words[i].toUInt(nullptr, 16));
    return image;
}

inline QString Hex(std::uint32_t v)
{
    return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0')).toUpper();
}

// The first differing pixel, or an empty text when the images are equal.
inline QString Difference(const Image& got, const Image& want, int tolerance = 0)
{
    if (got.width != want.width || got.height != want.height)
        return QStringLiteral("size %1x%2, want %3x%4").arg(got.width).arg(got.height).arg(want.width).arg(want.height);
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < want.width; ++x) {
            std::uint32_t a = PixelAt(got, x, y), b = PixelAt(want, x, y);
            // The colour of a fully transparent pixel does not matter.
            if ((a >> 24) == 0 && (b >> 24) == 0)
                a = b = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
                if (d > tolerance || -d > tolerance)
                    return QStringLiteral("(%1,%2) %3, want %4").arg(x).arg(y).arg(Hex(a), Hex(b));
            }
        }
    return {};
}

inline constexpr std::uint32_t kR = 0xFFFF0000, kG = 0xFF00FF00, kB = 0xFF0000FF, kW = 0xFFFFFFFF, kT = 0;

inline Image Picture(int w, int h, std::vector<std::uint32_t> pixels)
{
    return Image{w, h, PixelBuffer(pixels.begin(), pixels.end())};
}

} // namespace mugrove::testing
