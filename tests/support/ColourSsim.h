#pragma once

// How like a reference a reduced picture or GIF looks, by the measure the
// size-limited saves are judged by: the mean SSIM of the red, green and blue
// planes, computed as ffmpeg's ssim filter computes it on gbrp frames (its
// "All" figure), after the reduced picture is scaled back to the
// reference's size with libswscale's bicubic filter, as ffmpeg's scale
// filter does. A GIF is compared frame by frame at the moments the
// reference's frames start, against whatever the other shows then.
//
// It is written apart from the program's own code so that tests can judge
// the saves with it; the benchmark checks it against ffmpeg once.

#include "tests/output/GifReadBack.h"

#include <QImage>

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <vector>

namespace mugrove::testing {

// The SSIM of one 8-bit plane against another of the same size, over 8 × 8
// windows four pixels apart that lie wholly within the 4 × 4 blocks of the
// plane (a ragged edge of fewer than four pixels is left out), with the
// constants and integer sums of ffmpeg's 8-bit code.
inline double PlaneSsim(const std::uint8_t* a, const std::uint8_t* b, int width, int stride, int height)
{
    const int bw = width / 4, bh = height / 4;
    if (bw < 2 || bh < 2)
        return 1;
    struct Sums {
        int a = 0, b = 0, squares = 0, product = 0;
    };
    // The sums of each 4 × 4 block of two block rows.
    std::vector<Sums> upper(static_cast<std::size_t>(bw)), lower(static_cast<std::size_t>(bw));
    const auto blockRow = [&](int by, std::vector<Sums>& out) {
        for (int bx = 0; bx < bw; ++bx) {
            Sums s;
            for (int y = 4 * by; y < 4 * by + 4; ++y)
                for (int x = 4 * bx; x < 4 * bx + 4; ++x) {
                    const int u = a[std::size_t(y) * std::size_t(stride) + std::size_t(x)];
                    const int v = b[std::size_t(y) * std::size_t(stride) + std::size_t(x)];
                    s.a += u, s.b += v, s.squares += u * u + v * v, s.product += u * v;
                }
            out[std::size_t(bx)] = s;
        }
    };
    const auto windowSsim = [](int s1, int s2, int ss, int s12) {
        constexpr int c1 = int(.01 * .01 * 255 * 255 * 64 + .5);
        constexpr int c2 = int(.03 * .03 * 255 * 255 * 64 * 63 + .5);
        const int variances = ss * 64 - s1 * s1 - s2 * s2;
        const int covariance = s12 * 64 - s1 * s2;
        return double(float(2 * s1 * s2 + c1) * float(2 * covariance + c2)
                      / (float(s1 * s1 + s2 * s2 + c1) * float(variances + c2)));
    };
    double total = 0;
    blockRow(0, lower);
    for (int by = 1; by < bh; ++by) {
        std::swap(upper, lower);
        blockRow(by, lower);
        for (int bx = 0; bx + 1 < bw; ++bx) {
            const Sums* q[] = {&upper[std::size_t(bx)], &upper[std::size_t(bx) + 1], &lower[std::size_t(bx)],
                               &lower[std::size_t(bx) + 1]};
            int s1 = 0, s2 = 0, ss = 0, s12 = 0;
            for (const Sums* s : q)
                s1 += s->a, s2 += s->b, ss += s->squares, s12 += s->product;
            total += windowSsim(s1, s2, ss, s12);
        }
    }
    return total / double((bw - 1) * (bh - 1));
}

// `picture` as planes of green, blue and red (gbrp), scaled to `size` with
// the bicubic filter when it is not that size already.
struct GbrPlanes {
    int width = 0, height = 0;
    std::vector<std::uint8_t> planes[3];
};

inline GbrPlanes ToGbr(const QImage& picture, QSize size)
{
    const QImage source = picture.convertToFormat(QImage::Format_RGB32);
    GbrPlanes out;
    out.width = size.width();
    out.height = size.height();
    for (auto& plane : out.planes)
        plane.resize(std::size_t(out.width) * std::size_t(out.height));
    // RGB32 is B, G, R, A in memory on a little-endian machine: BGRA to libav.
    SwsContext* scaler = sws_getContext(source.width(), source.height(), AV_PIX_FMT_BGRA, out.width, out.height,
                                        AV_PIX_FMT_GBRP, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!scaler)
        return {};
    const std::uint8_t* from[] = {source.constBits()};
    const int fromStride[] = {int(source.bytesPerLine())};
    std::uint8_t* to[] = {out.planes[0].data(), out.planes[1].data(), out.planes[2].data()};
    const int toStride[] = {out.width, out.width, out.width};
    sws_scale(scaler, from, fromStride, 0, source.height(), to, toStride);
    sws_freeContext(scaler);
    return out;
}

// The mean SSIM of R, G and B of `other`, scaled back to the size of
// `reference`, against `reference`.
inline double RgbSsim(const QImage& reference, const QImage& other)
{
    if (reference.isNull() || other.isNull())
        return 0;
    const GbrPlanes a = ToGbr(reference, reference.size()), b = ToGbr(other, reference.size());
    if (a.width == 0 || b.width == 0)
        return 0;
    double sum = 0;
    for (int c = 0; c < 3; ++c)
        sum += PlaneSsim(a.planes[c].data(), b.planes[c].data(), a.width, a.width, a.height);
    return sum / 3;
}

// The mean over the frames of `reference` of RgbSsim against the frame of
// `other` on show when each reference frame starts; 0 when either is not
// a playable GIF.
inline double MeanRgbSsim(const PlayedGif& reference, const PlayedGif& other)
{
    if (!reference.ok || !other.ok || reference.frames.empty() || other.frames.empty())
        return 0;
    double sum = 0;
    int start = 0, otherEnd = other.delaysCs[0];
    std::size_t j = 0;
    for (std::size_t i = 0; i < reference.frames.size(); ++i) {
        while (start >= otherEnd && j + 1 < other.frames.size())
            otherEnd += other.delaysCs[++j];
        sum += RgbSsim(reference.frames[i], other.frames[j]);
        start += reference.delaysCs[i];
    }
    return sum / double(reference.frames.size());
}

} // namespace mugrove::testing
