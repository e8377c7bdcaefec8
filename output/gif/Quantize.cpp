#include "output/gif/Quantize.h"

#include "output/gif/Liq.h"

#include <algorithm>

namespace mugrove::gif {

namespace {

// libimagequant's trade of time for palette quality: 1 best .. 10 fastest.
constexpr int kQuantizeSpeed = 6;

} // namespace

struct FrameQuantizer::State {
    LiqPtr<liq_attr> attr{liq_attr_create()};
    bool ready = attr && liq_set_speed(attr.get(), kQuantizeSpeed) == LIQ_OK;
    // The frame's changed rectangle, reused from frame to frame.
    std::vector<liq_color> rgba;
    std::vector<std::uint8_t> importance;
};

FrameQuantizer::FrameQuantizer() : state_(std::make_unique<State>()) {}
FrameQuantizer::~FrameQuantizer() = default;

bool FrameQuantizer::Ready() const
{
    return state_->ready;
}

std::vector<std::uint32_t> FrameQuantizer::Quantize(const QImage& frame, const QRect& rect, const PixelMasks& masks,
                                                    bool holes, const std::vector<std::uint32_t>& fixed,
                                                    int maxColours, float dither, std::vector<std::uint8_t>& indices)
{
    State& s = *state_;
    const int x0 = rect.x(), y0 = rect.y(), w = rect.width(), h = rect.height();
    const std::size_t area = std::size_t(w) * std::size_t(h);
    s.rgba.resize(area);
    s.importance.resize(area);
    indices.resize(area);
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(frame.constScanLine(y0 + y)) + x0;
        for (int x = 0; x < w; ++x) {
            const std::size_t q = std::size_t(y) * std::size_t(w) + std::size_t(x);
            s.rgba[q] = ToLiq(row[x]);
            // Pixels left transparent take no part in choosing the palette.
            s.importance[q] = masks.Changed(masks.At(x0 + x, y0 + y)) ? 255 : 0;
        }
    }

    LiqPtr<liq_image> image(liq_image_create_rgba(s.attr.get(), s.rgba.data(), w, h, 0));
    if (!image)
        return {};
    if (holes && liq_image_set_importance_map(image.get(), s.importance.data(), area, LIQ_COPY_PIXELS) != LIQ_OK)
        return {};
    for (std::uint32_t c : fixed)
        liq_image_add_fixed_color(image.get(), ToLiq(c));
    // One entry stays free for the transparent pixels.
    liq_set_max_colors(s.attr.get(), holes ? maxColours - 1 : maxColours);
    liq_result* raw = nullptr;
    if (liq_image_quantize(image.get(), s.attr.get(), &raw) != LIQ_OK || !raw)
        return {};
    LiqPtr<liq_result> result(raw);
    liq_set_dithering_level(result.get(), dither);
    if (liq_write_remapped_image(result.get(), image.get(), indices.data(), area) != LIQ_OK)
        return {};
    return Colours(liq_get_palette(result.get()));
}

} // namespace mugrove::gif
