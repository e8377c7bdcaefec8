#include "output/GifEncoder.h"

#include <gif_lib.h>
#include <libimagequant.h>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace mugrove {

namespace {

// libimagequant's trade of time for palette quality: 1 best .. 10 fastest.
constexpr int kQuantizeSpeed = 6;
// Dithering smooths the picture's gradients; text pixels never get it.
constexpr float kDitherLevel = 1.0f;
// A pixel the viewer already shows this close (per channel) is left
// transparent: the change cannot be seen, and the frame stays small.
constexpr int kUnchangedTolerance = 4;
// giflib hands over a few bytes at a time; the sink gets them in pieces of this size.
constexpr std::size_t kSinkChunk = 64 * 1024;

int Red(std::uint32_t c) { return int((c >> 16) & 0xFF); }
int Green(std::uint32_t c) { return int((c >> 8) & 0xFF); }
int Blue(std::uint32_t c) { return int(c & 0xFF); }

bool Close(std::uint32_t a, std::uint32_t b)
{
    return std::abs(Red(a) - Red(b)) <= kUnchangedTolerance
        && std::abs(Green(a) - Green(b)) <= kUnchangedTolerance
        && std::abs(Blue(a) - Blue(b)) <= kUnchangedTolerance;
}

// The palette entry nearest to `colour`; first of equals.
std::uint8_t Nearest(const liq_palette& palette, std::uint32_t colour)
{
    int best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (unsigned i = 0; i < palette.count; ++i) {
        const liq_color& e = palette.entries[i];
        const int dr = e.r - Red(colour), dg = e.g - Green(colour), db = e.b - Blue(colour);
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = int(i);
            if (d == 0)
                break;
        }
    }
    return std::uint8_t(best);
}

struct LiqDeleter {
    void operator()(liq_attr* p) const { liq_attr_destroy(p); }
    void operator()(liq_image* p) const { liq_image_destroy(p); }
    void operator()(liq_result* p) const { liq_result_destroy(p); }
};
template <class T>
using LiqPtr = std::unique_ptr<T, LiqDeleter>;

} // namespace

struct GifEncoder::State {
    GifFileType* gif = nullptr;
    ByteSink sink;
    std::vector<std::uint8_t> pending; // bytes not yet handed to the sink
    bool failed = false;

    int width = 0, height = 0;
    int maxColours = 256;
    ExactColours exact;               // colours sorted for lookup
    std::vector<std::uint32_t> shown; // what a viewer shows so far, 0xRRGGBB
    std::vector<std::uint32_t> last;  // the previous frame as given
    bool first = true;
    long long elapsedMs = 0;
    long long writtenCs = 0;

    LiqPtr<liq_attr> attr;
    // The frame's changed rectangle, reused from frame to frame.
    std::vector<liq_color> rgba;
    std::vector<std::uint8_t> importance;
    std::vector<std::uint8_t> changed;
    std::vector<std::uint8_t> indices;

    static int Write(GifFileType* gif, const GifByteType* bytes, int count)
    {
        auto* self = static_cast<State*>(gif->UserData);
        if (self->failed || count < 0)
            return 0;
        self->pending.insert(self->pending.end(), bytes, bytes + count);
        if (self->pending.size() >= kSinkChunk && !self->Flush())
            return 0;
        return count;
    }

    bool Flush()
    {
        if (failed)
            return false;
        if (!pending.empty() && !sink(pending))
            failed = true;
        pending.clear();
        return !failed;
    }

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

    bool PutFrame(int left, int top, int w, int h, const liq_palette* palette, int transparent,
                  int delayCs);
    bool AddFrame(const QImage& frame, int delayMs);
};

bool GifEncoder::State::PutFrame(int left, int top, int w, int h, const liq_palette* palette,
                                 int transparent, int delayCs)
{
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSE_DO_NOT; // each frame builds on the last
    control.UserInputFlag = false;
    control.DelayTime = delayCs;
    control.TransparentColor = transparent < 0 ? NO_TRANSPARENT_COLOR : transparent;
    GifByteType extension[4];
    const std::size_t length = EGifGCBToExtension(&control, extension);
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension) == GIF_ERROR)
        return false;

    // The colour table holds a power of two entries, at least 2.
    const int used = std::max(palette ? int(palette->count) : 0, transparent + 1);
    int size = 2;
    while (size < used)
        size *= 2;
    GifColorType colours[256] = {};
    for (int i = 0; palette && i < int(palette->count); ++i)
        colours[i] = {palette->entries[i].r, palette->entries[i].g, palette->entries[i].b};
    ColorMapObject* map = GifMakeMapObject(size, colours);
    if (!map)
        return false;
    const bool described = EGifPutImageDesc(gif, left, top, w, h, false, map) != GIF_ERROR;
    GifFreeMapObject(map); // the encoder keeps its own copy
    if (!described)
        return false;
    for (int y = 0; y < h; ++y)
        if (EGifPutLine(gif, indices.data() + std::size_t(y) * std::size_t(w), w) == GIF_ERROR)
            return false;
    return true;
}

bool GifEncoder::State::AddFrame(const QImage& input, int delayMs)
{
    if (!gif || failed || input.width() != width || input.height() != height)
        return false;
    const QImage frame = input.format() == QImage::Format_RGB32 || input.format() == QImage::Format_ARGB32
        ? input
        : input.convertToFormat(QImage::Format_RGB32);
    const int delayCs = NextDelayCs(delayMs);
    const bool protecting = !exact.protect.empty();

    // Which pixels differ visibly from what the viewer shows, and where.
    int x0 = width, y0 = height, x1 = -1, y1 = -1;
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(frame.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const std::size_t p = std::size_t(y) * std::size_t(width) + std::size_t(x);
            const std::uint32_t colour = row[x] & 0xFFFFFFu;
            bool differs = true;
            if (!first) {
                // Text must stay exact; elsewhere an invisible change is no change.
                // A pixel equal to the last frame keeps what was decided for it then.
                differs = colour != last[p] && colour != shown[p]
                    && ((protecting && exact.protect[p]) || !Close(colour, shown[p]));
            }
            last[p] = colour;
            changed[p] = differs;
            if (differs) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
        }
    }
    first = false;

    if (x1 < 0) {
        // Nothing to show anew: one transparent pixel keeps the frame and its delay.
        indices.assign(1, 0);
        return PutFrame(0, 0, 1, 1, nullptr, 0, delayCs);
    }

    const int w = x1 - x0 + 1, h = y1 - y0 + 1;
    const std::size_t area = std::size_t(w) * std::size_t(h);
    rgba.resize(area);
    importance.resize(area);
    indices.resize(area);
    bool holesInside = false;
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(frame.constScanLine(y0 + y)) + x0;
        for (int x = 0; x < w; ++x) {
            const std::size_t p = std::size_t(y0 + y) * std::size_t(width) + std::size_t(x0 + x);
            const std::size_t q = std::size_t(y) * std::size_t(w) + std::size_t(x);
            const std::uint32_t c = row[x];
            rgba[q] = {std::uint8_t(Red(c)), std::uint8_t(Green(c)), std::uint8_t(Blue(c)), 255};
            // Pixels left transparent take no part in choosing the palette.
            importance[q] = changed[p] ? 255 : 0;
            holesInside = holesInside || !changed[p];
        }
    }

    LiqPtr<liq_image> image(liq_image_create_rgba(attr.get(), rgba.data(), w, h, 0));
    if (!image)
        return false;
    if (holesInside
        && liq_image_set_importance_map(image.get(), importance.data(), area, LIQ_COPY_PIXELS) != LIQ_OK)
        return false;
    // The text colours this frame shows anew get palette entries of their own.
    if (protecting && !exact.colours.empty()) {
        std::vector<std::uint32_t> present;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::size_t p = std::size_t(y0 + y) * std::size_t(width) + std::size_t(x0 + x);
                if (!changed[p] || !exact.protect[p])
                    continue;
                const std::uint32_t c = last[p];
                if (IsExact(c) && std::find(present.begin(), present.end(), c) == present.end())
                    present.push_back(c);
            }
        for (std::uint32_t c : present)
            liq_image_add_fixed_color(image.get(),
                                      {std::uint8_t(Red(c)), std::uint8_t(Green(c)), std::uint8_t(Blue(c)), 255});
    }
    // One entry stays free for the transparent pixels.
    liq_set_max_colors(attr.get(), holesInside ? maxColours - 1 : maxColours);
    liq_result* raw = nullptr;
    if (liq_image_quantize(image.get(), attr.get(), &raw) != LIQ_OK || !raw)
        return false;
    LiqPtr<liq_result> result(raw);
    liq_set_dithering_level(result.get(), kDitherLevel);
    if (liq_write_remapped_image(result.get(), image.get(), indices.data(), area) != LIQ_OK)
        return false;
    const liq_palette* palette = liq_get_palette(result.get());
    if (!palette || palette->count < 1)
        return false;
    const int transparent = holesInside ? int(palette->count) : -1;

    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t p = std::size_t(y0 + y) * std::size_t(width) + std::size_t(x0 + x);
            const std::size_t q = std::size_t(y) * std::size_t(w) + std::size_t(x);
            if (!changed[p]) {
                indices[q] = std::uint8_t(transparent);
                continue;
            }
            if (protecting && exact.protect[p])
                indices[q] = Nearest(*palette, last[p]);
            const liq_color& e = palette->entries[indices[q]];
            shown[p] = (std::uint32_t(e.r) << 16) | (std::uint32_t(e.g) << 8) | e.b;
        }
    return PutFrame(x0, y0, w, h, palette, transparent, delayCs);
}

GifEncoder::GifEncoder() : state_(std::make_unique<State>()) {}

GifEncoder::~GifEncoder()
{
    if (state_->gif) {
        state_->failed = true; // an abandoned file: nothing more goes out
        int error = 0;
        EGifCloseFile(state_->gif, &error);
    }
}

bool GifEncoder::Begin(int width, int height, int plays, ByteSink sink, ExactColours exact)
{
    State& s = *state_;
    if (s.gif || width < 1 || height < 1 || width > 65535 || height > 65535 || !sink)
        return false;
    const std::size_t pixels = std::size_t(width) * std::size_t(height);
    if (!exact.protect.empty() && exact.protect.size() != pixels)
        return false;
    s.sink = std::move(sink);
    s.width = width;
    s.height = height;
    s.exact = std::move(exact);
    for (std::uint32_t& c : s.exact.colours)
        c &= 0xFFFFFFu;
    std::sort(s.exact.colours.begin(), s.exact.colours.end());
    s.exact.colours.erase(std::unique(s.exact.colours.begin(), s.exact.colours.end()), s.exact.colours.end());
    s.shown.assign(pixels, 0);
    s.last.assign(pixels, 0);
    s.changed.assign(pixels, 0);

    s.attr.reset(liq_attr_create());
    if (!s.attr || liq_set_speed(s.attr.get(), kQuantizeSpeed) != LIQ_OK)
        return false;

    int error = 0;
    s.gif = EGifOpen(&s, &State::Write, &error);
    if (!s.gif)
        return false;
    EGifSetGifVersion(s.gif, true);
    if (EGifPutScreenDesc(s.gif, width, height, 8, 0, nullptr) == GIF_ERROR)
        return false;
    if (plays == 1)
        return !s.failed; // shown once: no looping block
    // The looping block every viewer reads: "NETSCAPE2.0", then sub-block 1
    // with the repeats after the first showing (0 for ever).
    const GifByteType application[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    const int repeats = plays <= 0 ? 0 : std::min(plays - 1, 65535);
    const GifByteType count[] = {1, GifByteType(repeats & 0xFF), GifByteType(repeats >> 8)};
    return EGifPutExtensionLeader(s.gif, APPLICATION_EXT_FUNC_CODE) != GIF_ERROR
        && EGifPutExtensionBlock(s.gif, sizeof application, application) != GIF_ERROR
        && EGifPutExtensionBlock(s.gif, sizeof count, count) != GIF_ERROR
        && EGifPutExtensionTrailer(s.gif) != GIF_ERROR && !s.failed;
}

void GifEncoder::SetMaxColours(int colours)
{
    state_->maxColours = std::clamp(colours, 2, 256);
}

bool GifEncoder::AddFrame(const QImage& frame, int delayMs)
{
    return state_->AddFrame(frame, delayMs) && !state_->failed;
}

bool GifEncoder::Finish()
{
    State& s = *state_;
    if (!s.gif)
        return false;
    int error = 0;
    const bool closed = EGifCloseFile(s.gif, &error) != GIF_ERROR;
    s.gif = nullptr;
    return closed && s.Flush();
}

} // namespace mugrove
