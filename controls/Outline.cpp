#include "controls/Outline.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace mugrove {

namespace {

// Stands for "no glyph on this line": farther than any two pixels of a
// label can be apart, and still exact when squares are added to it.
constexpr double kFar = 1e12;

// Squared distances to the nearest glyph sample along one line, in place:
// the lower envelope of the parabolas rooted at every sample.
void SquaredDistances1D(double* f, std::size_t stride, std::size_t n, std::vector<double>& d,
                        std::vector<std::size_t>& v, std::vector<double>& z)
{
    const auto at = [&](std::size_t i) { return f[i * stride]; };
    const auto crossing = [&](std::size_t q, std::size_t p) {
        const double dq = double(q), dp = double(p);
        return ((at(q) + dq * dq) - (at(p) + dp * dp)) / (2.0 * dq - 2.0 * dp);
    };
    std::size_t k = 0;
    v[0] = 0;
    z[0] = -std::numeric_limits<double>::infinity();
    z[1] = std::numeric_limits<double>::infinity();
    for (std::size_t q = 1; q < n; ++q) {
        double s = crossing(q, v[k]);
        while (s <= z[k]) {
            --k;
            s = crossing(q, v[k]);
        }
        ++k;
        v[k] = q;
        z[k] = s;
        z[k + 1] = std::numeric_limits<double>::infinity();
    }
    k = 0;
    for (std::size_t q = 0; q < n; ++q) {
        while (z[k + 1] < double(q))
            ++k;
        const double dq = double(q) - double(v[k]);
        d[q] = dq * dq + at(v[k]);
    }
    for (std::size_t q = 0; q < n; ++q)
        f[q * stride] = d[q];
}

} // namespace

QImage OutlineLayer(const QImage& glyphs, int width, const QColor& colour)
{
    const QImage mask = glyphs.convertToFormat(QImage::Format_ARGB32);
    const std::size_t w = std::size_t(mask.width()), h = std::size_t(mask.height());
    QImage layer(mask.size(), QImage::Format_ARGB32_Premultiplied);
    layer.setDevicePixelRatio(glyphs.devicePixelRatio());
    layer.fill(Qt::transparent);
    if (w == 0 || h == 0)
        return layer;

    std::vector<double> f(w * h);
    for (std::size_t y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(mask.constScanLine(int(y)));
        for (std::size_t x = 0; x < w; ++x)
            f[y * w + x] = qAlpha(row[x]) >= 128 ? 0.0 : kFar;
    }
    const std::size_t n = std::max(w, h);
    std::vector<double> d(n), z(n + 1);
    std::vector<std::size_t> v(n);
    for (std::size_t x = 0; x < w; ++x)
        SquaredDistances1D(f.data() + x, w, h, d, v, z);
    for (std::size_t y = 0; y < h; ++y)
        SquaredDistances1D(f.data() + y * w, 1, w, d, v, z);

    // A glyph pixel's own edge lies half a pixel beyond its centre, so a
    // pixel whose centre is `width` away is still wholly covered.
    const QColor c = colour.toRgb();
    for (std::size_t y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(layer.scanLine(int(y)));
        for (std::size_t x = 0; x < w; ++x) {
            const double distance = std::sqrt(f[y * w + x]);
            const double cover = std::clamp(double(width) + 1.0 - distance, 0.0, 1.0);
            if (cover > 0)
                row[x] = qPremultiply(qRgba(c.red(), c.green(), c.blue(), int(std::lround(cover * 255))));
        }
    }
    return layer;
}


int OutlineWidth(int fontPixelHeight)
{
    return std::max(1, (std::max(fontPixelHeight, 0) + 6) / 12);
}

QColor OutlineColour(const QColor& text)
{
    const QColor rgb = text.toRgb();
    const int weighted = 299 * rgb.red() + 587 * rgb.green() + 114 * rgb.blue();
    return weighted * 2 > 1000 * 255 ? QColor(0, 0, 0) : QColor(255, 255, 255);
}

} // namespace mugrove
