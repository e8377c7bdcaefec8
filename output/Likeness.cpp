#include "output/Likeness.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace mugrove {

namespace {

// The sums over one 4 × 4 block of a channel of both pictures.
struct BlockSums {
    std::int64_t a = 0, b = 0, squares = 0, product = 0;
};

// SSIM of a window of `n` samples from its sums, scaled as the sums are
// (n times the means, n times the moments), so integer sums stay exact.
double WindowSsim(const BlockSums& s, std::int64_t n)
{
    const double c1 = 0.01 * 0.01 * 255 * 255 * double(n);
    const double c2 = 0.03 * 0.03 * 255 * 255 * double(n) * double(n - 1);
    const double variances = double(s.squares * n - s.a * s.a - s.b * s.b);
    const double covariance = double(s.product * n - s.a * s.b);
    return (2.0 * double(s.a) * double(s.b) + c1) * (2 * covariance + c2)
        / ((double(s.a) * double(s.a) + double(s.b) * double(s.b) + c1) * (variances + c2));
}

void Add(BlockSums& to, const BlockSums& s)
{
    to.a += s.a, to.b += s.b, to.squares += s.squares, to.product += s.product;
}

// The bicubic kernel with a = -0.6 (the sharpness image scalers default to).
double Cubic(double x)
{
    constexpr double a = -0.6;
    x = std::abs(x);
    if (x < 1)
        return ((a + 2) * x - (a + 3)) * x * x + 1;
    if (x < 2)
        return ((a * x - 5 * a) * x + 8 * a) * x - 4 * a;
    return 0;
}

// For each of `to` positions, the source positions and weights that make it
// from `from` positions, pixel centres aligned.
struct Taps {
    int count = 0;
    std::vector<int> first;
    std::vector<float> weights; // count per position
};

Taps MakeTaps(int from, int to)
{
    Taps taps;
    const double ratio = double(from) / double(to);
    const double stretch = std::max(1.0, ratio); // a shrinking filter widens
    taps.count = int(std::ceil(4 * stretch));
    taps.first.resize(std::size_t(to));
    taps.weights.resize(std::size_t(to) * std::size_t(taps.count));
    for (int i = 0; i < to; ++i) {
        const double centre = (i + 0.5) * ratio - 0.5;
        const int first = int(std::floor(centre - 2 * stretch)) + 1;
        taps.first[std::size_t(i)] = first;
        double sum = 0;
        float* w = &taps.weights[std::size_t(i) * std::size_t(taps.count)];
        for (int k = 0; k < taps.count; ++k) {
            w[k] = float(Cubic((first + k - centre) / stretch));
            sum += w[k];
        }
        for (int k = 0; k < taps.count; ++k)
            w[k] = float(w[k] / sum);
    }
    return taps;
}

} // namespace

double Likeness(const QImage& reference, const QImage& picture)
{
    if (reference.isNull() || reference.size() != picture.size())
        return 0;
    const QImage a = reference.convertToFormat(QImage::Format_RGB32);
    const QImage b = picture.convertToFormat(QImage::Format_RGB32);
    const int width = a.width(), height = a.height();
    const int bw = width / 4, bh = height / 4;
    const auto sums = [&](int x0, int y0, int w, int h, BlockSums out[3]) {
        for (int y = y0; y < y0 + h; ++y) {
            const auto* ra = reinterpret_cast<const QRgb*>(a.constScanLine(y));
            const auto* rb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
            for (int x = x0; x < x0 + w; ++x)
                for (int c = 0; c < 3; ++c) {
                    const std::int64_t u = (ra[x] >> (8 * c)) & 0xFF, v = (rb[x] >> (8 * c)) & 0xFF;
                    out[c].a += u, out[c].b += v, out[c].squares += u * u + v * v, out[c].product += u * v;
                }
        }
    };
    if (bw < 2 || bh < 2) { // too small for windows: the picture as one
        BlockSums whole[3];
        sums(0, 0, width, height, whole);
        const std::int64_t n = std::int64_t(width) * height;
        return (WindowSsim(whole[0], n) + WindowSsim(whole[1], n) + WindowSsim(whole[2], n)) / 3;
    }
    // Two rows of blocks at a time, three channels a block.
    std::vector<BlockSums> upper(std::size_t(bw) * 3), lower(std::size_t(bw) * 3);
    const auto blockRow = [&](int by, std::vector<BlockSums>& out) {
        std::fill(out.begin(), out.end(), BlockSums());
        for (int bx = 0; bx < bw; ++bx)
            sums(4 * bx, 4 * by, 4, 4, &out[std::size_t(bx) * 3]);
    };
    double total = 0;
    blockRow(0, lower);
    for (int by = 1; by < bh; ++by) {
        std::swap(upper, lower);
        blockRow(by, lower);
        for (int bx = 0; bx + 1 < bw; ++bx)
            for (std::size_t c = 0; c < 3; ++c) {
                BlockSums window;
                for (const auto* row : {&upper, &lower})
                    for (const int dx : {0, 1})
                        Add(window, (*row)[std::size_t(bx + dx) * 3 + c]);
                total += WindowSsim(window, 64);
            }
    }
    return total / (3.0 * double(bw - 1) * double(bh - 1));
}

QImage ScaledBack(const QImage& picture, QSize size)
{
    const QImage source = picture.convertToFormat(QImage::Format_RGB32);
    if (source.size() == size || source.isNull() || size.isEmpty())
        return source;
    const Taps across = MakeTaps(source.width(), size.width()), down = MakeTaps(source.height(), size.height());
    // Across first, into rows of floats per channel.
    const std::size_t rowLength = std::size_t(size.width()) * 3;
    std::vector<float> wide(rowLength * std::size_t(source.height()));
    for (int y = 0; y < source.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        float* out = &wide[std::size_t(y) * rowLength];
        for (int x = 0; x < size.width(); ++x) {
            const float* w = &across.weights[std::size_t(x) * std::size_t(across.count)];
            float r = 0, g = 0, b = 0;
            for (int k = 0; k < across.count; ++k) {
                const QRgb p = row[std::clamp(across.first[std::size_t(x)] + k, 0, source.width() - 1)];
                r += w[k] * float(qRed(p)), g += w[k] * float(qGreen(p)), b += w[k] * float(qBlue(p));
            }
            out[3 * x] = r, out[3 * x + 1] = g, out[3 * x + 2] = b;
        }
    }
    QImage scaled(size, QImage::Format_RGB32);
    if (scaled.isNull())
        return scaled;
    const auto level = [](float v) { return std::clamp(int(std::lround(v)), 0, 255); };
    std::vector<float> sum(rowLength);
    for (int y = 0; y < size.height(); ++y) {
        std::fill(sum.begin(), sum.end(), 0.0f);
        const float* w = &down.weights[std::size_t(y) * std::size_t(down.count)];
        for (int k = 0; k < down.count; ++k) {
            const int from = std::clamp(down.first[std::size_t(y)] + k, 0, source.height() - 1);
            const float* in = &wide[std::size_t(from) * rowLength];
            for (std::size_t i = 0; i < rowLength; ++i)
                sum[i] += w[k] * in[i];
        }
        auto* out = reinterpret_cast<QRgb*>(scaled.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            out[x] = qRgb(level(sum[std::size_t(3 * x)]), level(sum[std::size_t(3 * x) + 1]),
                          level(sum[std::size_t(3 * x) + 2]));
    }
    return scaled;
}

} // namespace mugrove
