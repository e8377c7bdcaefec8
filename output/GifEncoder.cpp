#include "output/GifEncoder.h"

#include "output/gif/Dither.h"
#include "output/gif/GifWriter.h"
#include "output/gif/LossyLzw.h"
#include "output/gif/NearestColour.h"
#include "output/gif/Quantize.h"
#include "output/gif/Rgb.h"
#include "output/gif/ViewerCanvas.h"

#include <algorithm>

namespace mugrove {

namespace {

// Dithering smooths the picture's gradients; text pixels never get it.
constexpr float kDitherLevel = 1.0f;
// A pixel the viewer already shows this close (per channel) is left
// transparent: the change cannot be seen, and the frame stays small.
constexpr int kUnchangedTolerance = 4;
// With one palette for the film no frame carries a table of its own, and
// the bytes saved go into a closer match.
constexpr int kSharedUnchangedTolerance = 2;

} // namespace

struct GifEncoder::State {
    gif::GifWriter writer;
    int width = 0, height = 0;
    int maxColours = 256;
    int lossiness = 0;
    float dither = kDitherLevel;
    ExactColours exact; // colours sorted for lookup
    gif::ViewerCanvas canvas;
    gif::FrameQuantizer quantizer;
    std::unique_ptr<gif::PaletteDither> shared; // the palette every frame is mapped to, when one is given
    gif::LossyLzw lossy;
    std::vector<std::uint8_t> indices; // the frame's changed rectangle, reused from frame to frame
    long long elapsedMs = 0;
    long long writtenCs = 0;

    const std::uint8_t* Text() const { return exact.protect.empty() ? nullptr : exact.protect.data(); }

    bool IsExact(std::uint32_t colour) const
    {
        return std::binary_search(exact.colours.begin(), exact.colours.end(), colour);
    }

    int NextDelayCs(int delayMs)
    {
        elapsedMs += std::max(0, delayMs);
        long long cs = (elapsedMs + 5) / 10 - writtenCs;
        cs = std::clamp(cs, 0LL, 65535LL);
        writtenCs += cs;
        return int(cs);
    }

    bool AddFrame(const QImage& frame, int delayMs);
    bool PutUnchanged(int delayCs);
    bool PutOwnPalette(const QImage& frame, const QRect& rect, bool holes, int delayCs);
    std::vector<std::uint32_t> TextColoursShownAnew(const QRect& rect) const;
    void KeepHolesAndText(const QRect& rect, std::span<const std::uint32_t> palette, int transparent);
    bool PutImage(const QRect& rect, std::span<const std::uint32_t> palette, int transparent, int delayCs,
                  bool local);
};

bool GifEncoder::State::AddFrame(const QImage& input, int delayMs)
{
    if (!writer.IsOpen() || writer.Failed() || input.width() != width || input.height() != height)
        return false;
    const QImage frame = gif::Rgb32(input);
    const int delayCs = NextDelayCs(delayMs);
    const QRect rect = canvas.Compare(frame, Text(), shared ? kSharedUnchangedTolerance : kUnchangedTolerance);
    if (rect.isEmpty())
        return PutUnchanged(delayCs);
    const bool holes = canvas.HasHoles(rect);
    if (!shared)
        return PutOwnPalette(frame, rect, holes, delayCs);
    shared->Map(frame, rect, canvas.Masks(Text()), dither, indices);
    return PutImage(rect, shared->Palette(), holes ? shared->Transparent() : -1, delayCs, false);
}

// Nothing to show anew: one transparent pixel keeps the frame and its delay.
bool GifEncoder::State::PutUnchanged(int delayCs)
{
    const QRect pixel(0, 0, 1, 1);
    if (shared) {
        indices.assign(1, std::uint8_t(shared->Transparent()));
        return PutImage(pixel, shared->Palette(), shared->Transparent(), delayCs, false);
    }
    indices.assign(1, 0);
    return PutImage(pixel, {}, 0, delayCs, true);
}

// The changed rectangle with a palette of its own.
bool GifEncoder::State::PutOwnPalette(const QImage& frame, const QRect& rect, bool holes, int delayCs)
{
    const std::vector<std::uint32_t> palette = quantizer.Quantize(
        frame, rect, canvas.Masks(Text()), holes, TextColoursShownAnew(rect), maxColours, dither, indices);
    if (palette.empty())
        return false;
    const int transparent = holes ? int(palette.size()) : -1;
    KeepHolesAndText(rect, palette, transparent);
    return PutImage(rect, palette, transparent, delayCs, true);
}

// The text colours the frame shows anew, which get palette entries of their own.
std::vector<std::uint32_t> GifEncoder::State::TextColoursShownAnew(const QRect& rect) const
{
    std::vector<std::uint32_t> present;
    if (!Text() || exact.colours.empty())
        return present;
    const gif::PixelMasks masks = canvas.Masks(Text());
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const std::size_t p = masks.At(x, y);
            if (!masks.Changed(p) || !masks.Text(p))
                continue;
            const std::uint32_t c = canvas.Frame()[p];
            if (IsExact(c) && std::find(present.begin(), present.end(), c) == present.end())
                present.push_back(c);
        }
    return present;
}

// Pixels the viewer shows already become transparent, and text pixels take
// their nearest palette colour undithered.
void GifEncoder::State::KeepHolesAndText(const QRect& rect, std::span<const std::uint32_t> palette, int transparent)
{
    const gif::PixelMasks masks = canvas.Masks(Text());
    for (int y = 0; y < rect.height(); ++y)
        for (int x = 0; x < rect.width(); ++x) {
            const std::size_t p = masks.At(rect.x() + x, rect.y() + y);
            std::uint8_t& index = indices[std::size_t(y) * std::size_t(rect.width()) + std::size_t(x)];
            if (!masks.Changed(p))
                index = std::uint8_t(transparent);
            else if (masks.Text(p))
                index = gif::Nearest(palette, canvas.Frame()[p]);
        }
}

// Writes `indices` as the image over `rect`, lossily when asked, and shows
// it on the viewer's canvas.
bool GifEncoder::State::PutImage(const QRect& rect, std::span<const std::uint32_t> palette, int transparent,
                                 int delayCs, bool local)
{
    const int codeSize = writer.StartImage(rect, palette, transparent, delayCs, local);
    if (codeSize == 0)
        return false;
    if (lossiness > 0 && !palette.empty()) {
        const gif::LossyImage image{rect,          indices.data(),  std::size_t(width), canvas.Frame(),
                                    canvas.Shown(), Text(),          palette,            transparent};
        if (!writer.PutCodeBlocks(lossy.Encode(image, codeSize, lossiness)))
            return false;
    } else if (!writer.PutIndices(indices.data(), rect)) {
        return false;
    }
    canvas.Show(rect, indices.data(), palette, transparent);
    return true;
}

GifEncoder::GifEncoder() : state_(std::make_unique<State>()) {}

GifEncoder::~GifEncoder() = default;

bool GifEncoder::Begin(int width, int height, int plays, ByteSink sink, ExactColours exact)
{
    State& s = *state_;
    if (s.writer.IsOpen() || width < 1 || height < 1 || width > 65535 || height > 65535 || !sink)
        return false;
    if (!exact.protect.empty() && exact.protect.size() != std::size_t(width) * std::size_t(height))
        return false;
    s.width = width;
    s.height = height;
    s.exact = std::move(exact);
    for (std::uint32_t& c : s.exact.colours)
        c &= 0xFFFFFFu;
    std::sort(s.exact.colours.begin(), s.exact.colours.end());
    s.exact.colours.erase(std::unique(s.exact.colours.begin(), s.exact.colours.end()), s.exact.colours.end());
    s.canvas.Reset(width, height);
    if (!s.quantizer.Ready())
        return false;
    return s.writer.Open(width, height, plays, std::move(sink),
                         s.shared ? s.shared->Palette() : std::span<const std::uint32_t>());
}

bool GifEncoder::SetPalette(const std::vector<std::uint32_t>& colours)
{
    State& s = *state_;
    if (s.writer.IsOpen() || colours.empty() || colours.size() > 255)
        return false;
    std::vector<std::uint32_t> rgb(colours);
    for (std::uint32_t& c : rgb)
        c &= 0xFFFFFFu;
    s.shared = std::make_unique<gif::PaletteDither>(rgb);
    return true;
}

void GifEncoder::SetMaxColours(int colours)
{
    state_->maxColours = std::clamp(colours, 2, 256);
}

void GifEncoder::SetLossiness(int tolerance)
{
    state_->lossiness = std::clamp(tolerance, 0, 441);
}

void GifEncoder::SetDithering(float level)
{
    state_->dither = std::clamp(level, 0.0f, 1.0f);
}

bool GifEncoder::AddFrame(const QImage& frame, int delayMs)
{
    return state_->AddFrame(frame, delayMs) && !state_->writer.Failed();
}

std::size_t GifEncoder::Size() const
{
    return state_->writer.Size();
}

QImage GifEncoder::Shown() const
{
    return state_->canvas.Image();
}

bool GifEncoder::Finish()
{
    return state_->writer.Close();
}

} // namespace mugrove
