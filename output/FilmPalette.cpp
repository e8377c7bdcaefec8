#include "output/GifEncoder.h"

#include "output/gif/Liq.h"
#include "output/gif/OpenMpThreads.h"

#include <algorithm>

namespace mugrove {

using gif::Colours;
using gif::LiqPtr;
using gif::ToLiq;

namespace {

// libimagequant's trade of time for palette quality: 1 best .. 10 fastest. A
// film's one palette is made once, so it can take more care than a frame's.
constexpr int kFilmQuantizeSpeed = 3;

} // namespace

struct FilmPalette::State {
    LiqPtr<liq_attr> attr{liq_attr_create()};
    LiqPtr<liq_histogram> histogram;
    std::vector<liq_color> rgba;
    std::vector<std::uint8_t> importance;
    bool failed = false;
};

FilmPalette::FilmPalette() : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.failed = !s.attr || liq_set_speed(s.attr.get(), kFilmQuantizeSpeed) != LIQ_OK;
    if (!s.failed)
        s.histogram.reset(liq_histogram_create(s.attr.get()));
    s.failed = s.failed || !s.histogram;
}

FilmPalette::~FilmPalette() = default;

bool FilmPalette::Add(const QImage& input)
{
    State& s = *state_;
    if (s.failed || input.isNull())
        return false;
    // Every second pixel of every second row: neighbouring pixels are alike,
    // so the colours survive, at a quarter of the cost.
    const QImage frame = gif::Rgb32(input);
    const int w = (frame.width() + 1) / 2, h = (frame.height() + 1) / 2;
    s.rgba.resize(std::size_t(w) * std::size_t(h));
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(frame.constScanLine(2 * y));
        liq_color* to = s.rgba.data() + std::size_t(y) * std::size_t(w);
        for (int x = 0; x < w; ++x)
            to[x] = ToLiq(row[2 * x]);
    }
    gif::RunOpenMpOnThisThreadOnly();
    LiqPtr<liq_image> image(liq_image_create_rgba(s.attr.get(), s.rgba.data(), w, h, 0));
    // Every pixel counts alike: the palette serves whole frames, and weighing
    // each pixel by its surroundings would cost more than all the mapping.
    s.importance.assign(s.rgba.size(), 255);
    s.failed = !image
        || liq_image_set_importance_map(image.get(), s.importance.data(), s.importance.size(), LIQ_COPY_PIXELS)
            != LIQ_OK
        || liq_histogram_add_image(s.histogram.get(), s.attr.get(), image.get()) != LIQ_OK;
    return !s.failed;
}

std::vector<std::uint32_t> FilmPalette::Build(int colours, const std::vector<std::uint32_t>& exact)
{
    State& s = *state_;
    if (s.failed)
        return {};
    for (std::uint32_t c : exact)
        if (liq_histogram_add_fixed_color(s.histogram.get(), ToLiq(c), 0.0) != LIQ_OK)
            return {};
    gif::RunOpenMpOnThisThreadOnly();
    liq_result* raw = nullptr;
    if (liq_set_max_colors(s.attr.get(), std::clamp(colours, 2, 255)) != LIQ_OK
        || liq_histogram_quantize(s.histogram.get(), s.attr.get(), &raw) != LIQ_OK || !raw)
        return {};
    LiqPtr<liq_result> result(raw);
    return Colours(liq_get_palette(result.get()));
}

} // namespace mugrove
