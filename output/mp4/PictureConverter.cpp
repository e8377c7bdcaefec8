#include "PictureConverter.h"

#include <algorithm>

namespace mugrove::mp4 {

namespace {

// BT.709 in the limited range, in 16-bit fixed point.
constexpr int kShift = 16;
constexpr double kRed = 0.2126, kBlue = 0.0722, kGreen = 1 - kRed - kBlue;
constexpr double kLumaSpan = 219.0 / 255.0, kChromaSpan = 224.0 / 255.0;

constexpr int Fixed(double v)
{
    return static_cast<int>(v * (1 << kShift) + (v < 0 ? -0.5 : 0.5));
}

constexpr int kYR = Fixed(kRed * kLumaSpan), kYG = Fixed(kGreen * kLumaSpan), kYB = Fixed(kBlue * kLumaSpan);
constexpr int kUR = Fixed(-kRed / (2 * (1 - kBlue)) * kChromaSpan);
constexpr int kUG = Fixed(-kGreen / (2 * (1 - kBlue)) * kChromaSpan);
constexpr int kUB = Fixed(0.5 * kChromaSpan);
constexpr int kVR = Fixed(0.5 * kChromaSpan);
constexpr int kVG = Fixed(-kGreen / (2 * (1 - kRed)) * kChromaSpan);
constexpr int kVB = Fixed(-kBlue / (2 * (1 - kRed)) * kChromaSpan);
constexpr int kLumaOffset = (16 << kShift) + (1 << (kShift - 1));
// Chroma comes from the sum of four pixels: two more bits to shift away.
constexpr int kChromaOffset = (128 << (kShift + 2)) + (1 << (kShift + 1));

constexpr int Red(std::uint32_t p) { return static_cast<int>(p >> 16 & 0xFF); }
constexpr int Green(std::uint32_t p) { return static_cast<int>(p >> 8 & 0xFF); }
constexpr int Blue(std::uint32_t p) { return static_cast<int>(p & 0xFF); }

constexpr std::uint8_t Luma(std::uint32_t p)
{
    return static_cast<std::uint8_t>((kYR * Red(p) + kYG * Green(p) + kYB * Blue(p) + kLumaOffset) >> kShift);
}

const std::uint32_t* Row(const std::uint32_t* pixels, std::ptrdiff_t stride, int y)
{
    return reinterpret_cast<const std::uint32_t*>(reinterpret_cast<const std::uint8_t*>(pixels) + y * stride);
}

} // namespace

PictureConverter::PictureConverter(int fromWidth, int fromHeight, int toWidth, int toHeight)
    : fromWidth_(fromWidth), fromHeight_(fromHeight), toWidth_(toWidth), toHeight_(toHeight)
{
}

std::unique_ptr<PictureConverter> PictureConverter::Make(int fromWidth, int fromHeight, int toWidth, int toHeight,
                                                         std::string& failure)
{
    if (fromWidth < 1 || fromHeight < 1 || toWidth < 1 || toHeight < 1) {
        failure = "the picture has no pixels";
        return nullptr;
    }
    std::unique_ptr<PictureConverter> c(new PictureConverter(fromWidth, fromHeight, toWidth, toHeight));
    c->frame_.reset(av_frame_alloc());
    if (!c->frame_) {
        failure = "out of memory";
        return nullptr;
    }
    // Shrinking averages areas, which keeps fine detail from turning into
    // moiré; the colours are converted from the shrunk pixels.
    if (toWidth != fromWidth || toHeight != fromHeight) {
        c->scaler_.reset(sws_getContext(fromWidth, fromHeight, AV_PIX_FMT_RGB32, toWidth, toHeight, AV_PIX_FMT_RGB32,
                                        SWS_AREA, nullptr, nullptr, nullptr));
        if (!c->scaler_) {
            failure = "out of memory";
            return nullptr;
        }
        c->scaled_.resize(static_cast<std::size_t>(toWidth) * static_cast<std::size_t>(toHeight));
    }
    AVFrame& f = *c->frame_;
    f.format = AV_PIX_FMT_YUV420P;
    f.width = c->FrameWidth();
    f.height = c->FrameHeight();
    f.color_range = AVCOL_RANGE_MPEG;
    f.colorspace = AVCOL_SPC_BT709;
    f.color_primaries = AVCOL_PRI_BT709;
    f.color_trc = AVCOL_TRC_BT709;
    if (av_frame_get_buffer(&f, 0) < 0) {
        failure = "out of memory";
        return nullptr;
    }
    return c;
}

AVFrame* PictureConverter::Convert(const Picture& picture, std::int64_t pts)
{
    if (picture.width != fromWidth_ || picture.height != fromHeight_ || !picture.pixels)
        return nullptr;
    // The encoder may still hold the last frame's buffers.
    if (av_frame_make_writable(frame_.get()) < 0)
        return nullptr;
    if (scaler_) {
        const auto* source = reinterpret_cast<const std::uint8_t*>(picture.pixels);
        const int sourceStride = static_cast<int>(picture.stride);
        std::uint8_t* planes[4] = {reinterpret_cast<std::uint8_t*>(scaled_.data())};
        const int strides[4] = {toWidth_ * 4};
        sws_scale(scaler_.get(), &source, &sourceStride, 0, fromHeight_, planes, strides);
        ToYuv(scaled_.data(), static_cast<std::ptrdiff_t>(toWidth_) * 4);
    } else {
        ToYuv(picture.pixels, picture.stride);
    }
    frame_->pts = pts;
    return frame_.get();
}

// Luma from each pixel; each chroma sample from the mean of the two by two
// pixels it covers, which, measured against swscale's bicubic chroma, gave
// the same likeness (SSIM over R, G and B) in fewer bytes on captioned,
// busy, grainy, cartoon and screen clips, and a little less on a dark one.
// An odd last column or row is padded with a copy of itself: it takes part
// in its chroma twice.
void PictureConverter::ToYuv(const std::uint32_t* pixels, std::ptrdiff_t stride)
{
    AVFrame& f = *frame_;
    const int width = toWidth_, height = toHeight_;
    for (int y = 0; y < height; y += 2) {
        const std::uint32_t* top = Row(pixels, stride, y);
        const std::uint32_t* bottom = Row(pixels, stride, std::min(y + 1, height - 1));
        std::uint8_t* lumaTop = f.data[0] + static_cast<std::ptrdiff_t>(y) * f.linesize[0];
        std::uint8_t* lumaBottom = lumaTop + f.linesize[0];
        std::uint8_t* u = f.data[1] + static_cast<std::ptrdiff_t>(y / 2) * f.linesize[1];
        std::uint8_t* v = f.data[2] + static_cast<std::ptrdiff_t>(y / 2) * f.linesize[2];
        for (int x = 0; x < width; ++x) {
            lumaTop[x] = Luma(top[x]);
            lumaBottom[x] = Luma(bottom[x]);
        }
        if (width & 1) {
            lumaTop[width] = lumaTop[width - 1];
            lumaBottom[width] = lumaBottom[width - 1];
        }
        for (int x = 0; x < width; x += 2) {
            const int right = std::min(x + 1, width - 1);
            const std::uint32_t a = top[x], b = top[right], c = bottom[x], d = bottom[right];
            const int red = Red(a) + Red(b) + Red(c) + Red(d);
            const int green = Green(a) + Green(b) + Green(c) + Green(d);
            const int blue = Blue(a) + Blue(b) + Blue(c) + Blue(d);
            u[x / 2] = static_cast<std::uint8_t>((kUR * red + kUG * green + kUB * blue + kChromaOffset) >> (kShift + 2));
            v[x / 2] = static_cast<std::uint8_t>((kVR * red + kVG * green + kVB * blue + kChromaOffset) >> (kShift + 2));
        }
    }
}

} // namespace mugrove::mp4
