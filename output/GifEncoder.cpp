#include "output/GifEncoder.h"

#include <gif_lib.h>
#include <libimagequant.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace mugrove {

namespace {

// libimagequant's trade of time for palette quality: 1 best .. 10 fastest.
constexpr int kQuantizeSpeed = 6;
// A film's one palette is made once, so it can take more care.
constexpr int kFilmQuantizeSpeed = 3;
// Dithering smooths the picture's gradients; text pixels never get it.
constexpr float kDitherLevel = 1.0f;
// A pixel the viewer already shows this close (per channel) is left
// transparent: the change cannot be seen, and the frame stays small.
constexpr int kUnchangedTolerance = 4;
// With one palette for the film no frame carries a table of its own, and
// the bytes saved go into a closer match.
constexpr int kSharedUnchangedTolerance = 2;
// giflib hands over a few bytes at a time; the sink gets them in pieces of this size.
constexpr std::size_t kSinkChunk = 64 * 1024;

int Red(std::uint32_t c) { return int((c >> 16) & 0xFF); }
int Green(std::uint32_t c) { return int((c >> 8) & 0xFF); }
int Blue(std::uint32_t c) { return int(c & 0xFF); }

bool Close(std::uint32_t a, std::uint32_t b, int tolerance)
{
    return std::abs(Red(a) - Red(b)) <= tolerance
        && std::abs(Green(a) - Green(b)) <= tolerance
        && std::abs(Blue(a) - Blue(b)) <= tolerance;
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

// An image's LZW codes packed least significant bit first into the
// sub-blocks of at most 255 bytes that follow the image descriptor, with
// the code width growing as the table does (as every GIF decoder expects).
class CodeWriter {
public:
    explicit CodeWriter(int minCodeSize) : minCodeSize_(minCodeSize) { Reset(); }

    int Clear() const { return 1 << minCodeSize_; }
    int FirstFree() const { return Clear() + 2; }

    // Writes `code`; `nextCode` is the code the table assigns next.
    void Put(int code, int nextCode)
    {
        bits_ |= std::uint32_t(code) << bitCount_;
        bitCount_ += width_;
        while (bitCount_ >= 8) {
            Byte(std::uint8_t(bits_ & 0xFF));
            bits_ >>= 8;
            bitCount_ -= 8;
        }
        if (nextCode >= (1 << width_) && width_ < 12)
            ++width_;
    }
    void Reset() { width_ = minCodeSize_ + 1; }
    // The remaining bits and the terminating empty block; the blocks, each
    // with its length byte first.
    std::vector<std::uint8_t> Finish()
    {
        if (bitCount_ > 0)
            Byte(std::uint8_t(bits_ & 0xFF));
        bits_ = 0;
        bitCount_ = 0;
        if (blockLength_ > 0)
            out_[blockStart_] = std::uint8_t(blockLength_);
        out_.push_back(0);
        return std::move(out_);
    }

private:
    void Byte(std::uint8_t b)
    {
        if (blockLength_ == 0 || blockLength_ == 255) {
            if (blockLength_ == 255)
                out_[blockStart_] = 255;
            blockStart_ = out_.size();
            out_.push_back(0); // the block's length, set when it ends
            blockLength_ = 0;
        }
        out_.push_back(b);
        ++blockLength_;
    }

    int minCodeSize_;
    int width_ = 0;
    std::uint32_t bits_ = 0;
    int bitCount_ = 0;
    std::size_t blockStart_ = 0, blockLength_ = 0;
    std::vector<std::uint8_t> out_;
};

// The LZW string table as a tree: each code's children, by the symbol
// that extends it, so a string can continue with any near-equal symbol.
struct StringTable {
    static constexpr int kCodes = 4096;
    std::uint16_t firstChild[kCodes];
    std::uint16_t nextSibling[kCodes];
    std::uint8_t symbol[kCodes];

    void Reset(int roots) { std::fill(firstChild, firstChild + roots, std::uint16_t(0)); }
    void Add(int parent, int code, std::uint8_t s)
    {
        symbol[code] = s;
        firstChild[code] = 0;
        nextSibling[code] = firstChild[parent];
        firstChild[parent] = std::uint16_t(code);
    }
};

QImage Rgb32(const QImage& input)
{
    return input.format() == QImage::Format_RGB32 || input.format() == QImage::Format_ARGB32
        ? input
        : input.convertToFormat(QImage::Format_RGB32);
}

// libimagequant's threads spin while they wait for work; for an encoder
// that runs on a worker of its own they cost more processor time than they
// save. The calling thread alone runs libimagequant's parallel parts from
// here on (a setting of this thread only), when libimagequant uses them.
void QuantizeOnThisThreadOnly()
{
    using SetThreads = void (*)(int);
    static const auto set = reinterpret_cast<SetThreads>(dlsym(RTLD_DEFAULT, "omp_set_num_threads"));
    if (set)
        set(1);
}

// The nearest colour of a fixed palette, found fast: the colour cube is cut
// into cells, and each cell lists the only entries that can be nearest to a
// colour inside it (those no farther than the farthest corner of the cell
// from the entry nearest to all of it).
class PaletteMap {
public:
    explicit PaletteMap(const liq_palette& palette) : palette_(palette)
    {
        const int n = int(palette.count);
        starts_.reserve(kCells + 1);
        std::vector<int> nearest(std::size_t(n), 0);
        for (int cell = 0; cell < kCells; ++cell) {
            starts_.push_back(std::uint32_t(candidates_.size()));
            int lo[3], hi[3];
            for (int k = 0; k < 3; ++k) {
                lo[k] = ((cell >> (kBits * (2 - k))) & (kSide - 1)) << (8 - kBits);
                hi[k] = lo[k] + (1 << (8 - kBits)) - 1;
            }
            // The least, over entries, of the greatest distance to the cell.
            int bound = std::numeric_limits<int>::max();
            for (int i = 0; i < n; ++i) {
                const int c[3] = {palette.entries[i].r, palette.entries[i].g, palette.entries[i].b};
                int far = 0, near = 0;
                for (int k = 0; k < 3; ++k) {
                    const int f = std::max(std::abs(c[k] - lo[k]), std::abs(c[k] - hi[k]));
                    const int d = c[k] < lo[k] ? lo[k] - c[k] : c[k] > hi[k] ? c[k] - hi[k] : 0;
                    far += f * f;
                    near += d * d;
                }
                bound = std::min(bound, far);
                nearest[std::size_t(i)] = near;
            }
            for (int i = 0; i < n; ++i)
                if (nearest[std::size_t(i)] <= bound)
                    candidates_.push_back(std::uint8_t(i));
        }
        starts_.push_back(std::uint32_t(candidates_.size()));
    }

    std::uint8_t Nearest(int r, int g, int b) const
    {
        const int cell = ((r >> (8 - kBits)) << (2 * kBits)) | ((g >> (8 - kBits)) << kBits) | (b >> (8 - kBits));
        int best = 0, bestDistance = std::numeric_limits<int>::max();
        for (std::uint32_t k = starts_[std::size_t(cell)]; k < starts_[std::size_t(cell) + 1]; ++k) {
            const liq_color& e = palette_.entries[candidates_[k]];
            const int dr = e.r - r, dg = e.g - g, db = e.b - b;
            const int d = dr * dr + dg * dg + db * db;
            if (d < bestDistance) {
                bestDistance = d;
                best = candidates_[k];
            }
        }
        return std::uint8_t(best);
    }

private:
    static constexpr int kBits = 5;
    static constexpr int kSide = 1 << kBits;
    static constexpr int kCells = kSide * kSide * kSide;
    liq_palette palette_;
    std::vector<std::uint32_t> starts_;
    std::vector<std::uint8_t> candidates_;
};

} // namespace

struct FilmPalette::State {
    LiqPtr<liq_attr> attr{liq_attr_create()};
    liq_histogram* histogram = nullptr;
    std::vector<liq_color> rgba;
    std::vector<std::uint8_t> importance;
    bool failed = false;

    ~State()
    {
        if (histogram)
            liq_histogram_destroy(histogram);
    }
};

FilmPalette::FilmPalette() : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.failed = !s.attr || liq_set_speed(s.attr.get(), kFilmQuantizeSpeed) != LIQ_OK
        || !(s.histogram = liq_histogram_create(s.attr.get()));
}

FilmPalette::~FilmPalette() = default;

bool FilmPalette::Add(const QImage& input)
{
    State& s = *state_;
    if (s.failed || input.isNull())
        return false;
    // Every second pixel of every second row: neighbouring pixels are alike,
    // so the colours survive, at a quarter of the cost.
    const QImage frame = Rgb32(input);
    const int w = (frame.width() + 1) / 2, h = (frame.height() + 1) / 2;
    s.rgba.resize(std::size_t(w) * std::size_t(h));
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(frame.constScanLine(2 * y));
        liq_color* to = s.rgba.data() + std::size_t(y) * std::size_t(w);
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = row[2 * x];
            to[x] = {std::uint8_t(Red(c)), std::uint8_t(Green(c)), std::uint8_t(Blue(c)), 255};
        }
    }
    QuantizeOnThisThreadOnly();
    LiqPtr<liq_image> image(liq_image_create_rgba(s.attr.get(), s.rgba.data(), w, h, 0));
    // Every pixel counts alike: the palette serves whole frames, and weighing
    // each pixel by its surroundings would cost more than all the mapping.
    s.importance.assign(s.rgba.size(), 255);
    s.failed = !image
        || liq_image_set_importance_map(image.get(), s.importance.data(), s.importance.size(), LIQ_COPY_PIXELS)
            != LIQ_OK
        || liq_histogram_add_image(s.histogram, s.attr.get(), image.get()) != LIQ_OK;
    return !s.failed;
}

std::vector<std::uint32_t> FilmPalette::Build(int colours, const std::vector<std::uint32_t>& exact)
{
    State& s = *state_;
    if (s.failed)
        return {};
    for (std::uint32_t c : exact)
        if (liq_histogram_add_fixed_color(s.histogram,
                                          {std::uint8_t(Red(c)), std::uint8_t(Green(c)), std::uint8_t(Blue(c)), 255},
                                          0.0) != LIQ_OK)
            return {};
    QuantizeOnThisThreadOnly();
    liq_result* raw = nullptr;
    if (liq_set_max_colors(s.attr.get(), std::clamp(colours, 2, 255)) != LIQ_OK
        || liq_histogram_quantize(s.histogram, s.attr.get(), &raw) != LIQ_OK || !raw)
        return {};
    LiqPtr<liq_result> result(raw);
    const liq_palette* palette = liq_get_palette(result.get());
    std::vector<std::uint32_t> out;
    for (unsigned i = 0; palette && i < palette->count; ++i) {
        const liq_color& e = palette->entries[i];
        out.push_back((std::uint32_t(e.r) << 16) | (std::uint32_t(e.g) << 8) | e.b);
    }
    return out;
}

struct GifEncoder::State {
    GifFileType* gif = nullptr;
    ByteSink sink;
    std::vector<std::uint8_t> pending; // bytes not yet handed to the sink
    std::size_t handed = 0;
    bool failed = false;

    int width = 0, height = 0;
    int maxColours = 256;
    int lossiness = 0;
    float dither = kDitherLevel;
    std::unique_ptr<StringTable> table; // for lossy frames only
    ExactColours exact;               // colours sorted for lookup
    std::vector<std::uint32_t> shown; // what a viewer shows so far, 0xRRGGBB
    std::vector<std::uint32_t> last;  // the previous frame as given
    bool first = true;
    long long elapsedMs = 0;
    long long writtenCs = 0;

    LiqPtr<liq_attr> attr;
    // The palette every frame is mapped to, when one is given.
    std::unique_ptr<PaletteMap> shared;
    liq_palette sharedPalette{};
    int sharedBits = 0;
    std::vector<int> errors; // dithering's carried error, two rows of RGB
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
        handed += pending.size();
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
                  int delayCs, bool local = true);
    bool MapToShared(const QImage& frame, int x0, int y0, int w, int h, bool holesInside, int delayCs);
    std::vector<std::uint8_t> CompressLossy(int x0, int y0, int w, int h, const liq_palette& palette,
                                             int transparent, int minCodeSize);
    bool AddFrame(const QImage& frame, int delayMs);
};

bool GifEncoder::State::PutFrame(int left, int top, int w, int h, const liq_palette* palette,
                                 int transparent, int delayCs, bool local)
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
    ColorMapObject* map = local ? GifMakeMapObject(size, colours) : nullptr;
    if (local && !map)
        return false;
    // Without a table of its own the frame uses the file's.
    const int minCodeSize = std::max(2, map ? map->BitsPerPixel : sharedBits);
    const bool described = EGifPutImageDesc(gif, left, top, w, h, false, map) != GIF_ERROR;
    if (map)
        GifFreeMapObject(map); // the encoder keeps its own copy
    if (!described)
        return false;
    if (lossiness > 0 && palette) {
        // giflib has written the code size; the codes are ours.
        const std::vector<std::uint8_t> blocks = CompressLossy(left, top, w, h, *palette, transparent, minCodeSize);
        for (std::size_t at = 0; at < blocks.size(); at += std::size_t(blocks[at]) + 1)
            if (EGifPutCodeNext(gif, blocks[at] ? &blocks[at] : nullptr) == GIF_ERROR)
                return false;
        return true;
    }
    for (int y = 0; y < h; ++y)
        if (EGifPutLine(gif, indices.data() + std::size_t(y) * std::size_t(w), w) == GIF_ERROR)
            return false;
    return true;
}

// The frame's rectangle as LZW codes, each string run on as long as the next
// pixel's colour lies within the tolerance of a symbol that continues it
// (the transparent symbol standing for what the viewer already shows). The
// symbols chosen replace `indices`. Text pixels take only their own symbol.
std::vector<std::uint8_t> GifEncoder::State::CompressLossy(int x0, int y0, int w, int h, const liq_palette& palette,
                                                           int transparent, int minCodeSize)
{
    if (!table)
        table = std::make_unique<StringTable>();
    StringTable& t = *table;
    CodeWriter writer(minCodeSize);
    const int clear = writer.Clear();
    const int roots = clear;
    const int limit = lossiness * lossiness;
    const bool protecting = !exact.protect.empty();
    int next = writer.FirstFree();
    t.Reset(roots);
    writer.Put(clear, next);

    int code = -1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t p = std::size_t(y0 + y) * std::size_t(width) + std::size_t(x0 + x);
            std::uint8_t& index = indices[std::size_t(y) * std::size_t(w) + std::size_t(x)];
            if (code < 0) {
                code = index;
                continue;
            }
            const bool text = protecting && exact.protect[p];
            const std::uint32_t want = last[p];
            int chosen = 0, chosenError = std::numeric_limits<int>::max();
            for (int child = t.firstChild[code]; child != 0; child = t.nextSibling[child]) {
                const int s = t.symbol[child];
                if (s == index) {
                    chosen = child;
                    break; // its own symbol is as good as any
                }
                if (text)
                    continue;
                const std::uint32_t c = s == transparent
                    ? shown[p]
                    : (std::uint32_t(palette.entries[s].r) << 16) | (std::uint32_t(palette.entries[s].g) << 8)
                        | palette.entries[s].b;
                const int dr = Red(c) - Red(want), dg = Green(c) - Green(want), db = Blue(c) - Blue(want);
                const int error = dr * dr + dg * dg + db * db;
                if (error <= limit && error < chosenError) {
                    chosen = child;
                    chosenError = error;
                }
            }
            if (chosen != 0) {
                index = t.symbol[chosen];
                code = chosen;
                continue;
            }
            writer.Put(code, next);
            if (next >= StringTable::kCodes - 1) {
                writer.Put(clear, next);
                writer.Reset();
                next = writer.FirstFree();
                t.Reset(roots);
            } else {
                t.Add(code, next++, index);
            }
            code = index;
        }
    if (code >= 0)
        writer.Put(code, next);
    writer.Put(clear + 1, next);
    return writer.Finish();
}

bool GifEncoder::State::AddFrame(const QImage& input, int delayMs)
{
    if (!gif || failed || input.width() != width || input.height() != height)
        return false;
    const QImage frame = Rgb32(input);
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
                    && ((protecting && exact.protect[p])
                        || !Close(colour, shown[p], shared ? kSharedUnchangedTolerance : kUnchangedTolerance));
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
        if (shared) {
            indices.assign(1, std::uint8_t(sharedPalette.count));
            return PutFrame(0, 0, 1, 1, &sharedPalette, int(sharedPalette.count), delayCs, false);
        }
        indices.assign(1, 0);
        return PutFrame(0, 0, 1, 1, nullptr, 0, delayCs);
    }

    const int w = x1 - x0 + 1, h = y1 - y0 + 1;
    const std::size_t area = std::size_t(w) * std::size_t(h);
    if (shared) {
        bool holesInside = false;
        for (int y = y0; y <= y1 && !holesInside; ++y)
            for (int x = x0; x <= x1 && !holesInside; ++x)
                holesInside = !changed[std::size_t(y) * std::size_t(width) + std::size_t(x)];
        return MapToShared(frame, x0, y0, w, h, holesInside, delayCs);
    }
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
    liq_set_dithering_level(result.get(), dither);
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
        }
    if (!PutFrame(x0, y0, w, h, palette, transparent, delayCs))
        return false;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t p = std::size_t(y0 + y) * std::size_t(width) + std::size_t(x0 + x);
            const int index = indices[std::size_t(y) * std::size_t(w) + std::size_t(x)];
            if (index == transparent)
                continue;
            const liq_color& e = palette->entries[index];
            shown[p] = (std::uint32_t(e.r) << 16) | (std::uint32_t(e.g) << 8) | e.b;
        }
    return true;
}

// The frame's changed rectangle mapped to the shared palette with error
// diffusion (Floyd and Steinberg's weights). Text pixels take their nearest
// colour undithered, which the palette holds exactly, and pass no error on;
// nor do pixels left transparent.
bool GifEncoder::State::MapToShared(const QImage& frame, int x0, int y0, int w, int h, bool holesInside,
                                    int delayCs)
{
    const liq_palette& palette = sharedPalette;
    indices.resize(std::size_t(w) * std::size_t(h));
    const int transparent = int(palette.count);
    const bool protecting = !exact.protect.empty();
    // In 1/16ths of a level, so the weights stay whole; capped so that a
    // colour the palette lacks cannot run away.
    const int strength = int(std::lround(dither * 16));
    constexpr int kMaxError = 32 * 16;
    const std::size_t rowLength = std::size_t(w + 2) * 3;
    errors.assign(2 * rowLength, 0);
    for (int y = 0; y < h; ++y) {
        int* here = errors.data() + std::size_t(y & 1) * rowLength;
        int* below = errors.data() + std::size_t((y + 1) & 1) * rowLength;
        std::fill(below, below + rowLength, 0);
        const auto* row = reinterpret_cast<const std::uint32_t*>(frame.constScanLine(y0 + y)) + x0;
        for (int x = 0; x < w; ++x) {
            const std::size_t p = std::size_t(y0 + y) * std::size_t(width) + std::size_t(x0 + x);
            std::uint8_t& index = indices[std::size_t(y) * std::size_t(w) + std::size_t(x)];
            if (!changed[p]) {
                index = std::uint8_t(transparent);
                continue;
            }
            const std::uint32_t c = row[x];
            if (protecting && exact.protect[p]) {
                index = shared->Nearest(Red(c), Green(c), Blue(c));
                continue;
            }
            const int want[3] = {Red(c), Green(c), Blue(c)};
            int* e = here + std::size_t(x + 1) * 3;
            int v[3];
            for (int k = 0; k < 3; ++k)
                v[k] = std::clamp(want[k] + (std::clamp(e[k], -kMaxError, kMaxError) * strength) / 256, 0, 255);
            index = shared->Nearest(v[0], v[1], v[2]);
            const liq_color& got = palette.entries[index];
            const int error[3] = {(v[0] - got.r) * 16, (v[1] - got.g) * 16, (v[2] - got.b) * 16};
            for (int k = 0; k < 3; ++k) {
                e[3 + k] += error[k] * 7 / 16;
                below[std::size_t(x) * 3 + std::size_t(k)] += error[k] * 3 / 16;
                below[std::size_t(x + 1) * 3 + std::size_t(k)] += error[k] * 5 / 16;
                below[std::size_t(x + 2) * 3 + std::size_t(k)] += error[k] / 16;
            }
        }
    }
    if (!PutFrame(x0, y0, w, h, &palette, holesInside ? transparent : -1, delayCs, false))
        return false;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int index = indices[std::size_t(y) * std::size_t(w) + std::size_t(x)];
            if (index == transparent)
                continue;
            const liq_color& e = palette.entries[index];
            shown[std::size_t(y0 + y) * std::size_t(width) + std::size_t(x0 + x)]
                = (std::uint32_t(e.r) << 16) | (std::uint32_t(e.g) << 8) | e.b;
        }
    return true;
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
    ColorMapObject* global = nullptr;
    if (s.shared) {
        // The shared colours and the transparent index after them.
        int size = 2;
        while (size < int(s.sharedPalette.count) + 1)
            size *= 2;
        GifColorType colours[256] = {};
        for (unsigned i = 0; i < s.sharedPalette.count; ++i)
            colours[i] = {s.sharedPalette.entries[i].r, s.sharedPalette.entries[i].g, s.sharedPalette.entries[i].b};
        global = GifMakeMapObject(size, colours);
        if (!global)
            return false;
        s.sharedBits = global->BitsPerPixel;
    }
    const bool screen = EGifPutScreenDesc(s.gif, width, height, 8, 0, global) != GIF_ERROR;
    if (global)
        GifFreeMapObject(global);
    if (!screen)
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

bool GifEncoder::SetPalette(const std::vector<std::uint32_t>& colours)
{
    State& s = *state_;
    if (s.gif || colours.empty() || colours.size() > 255)
        return false;
    s.sharedPalette.count = unsigned(colours.size());
    for (std::size_t i = 0; i < colours.size(); ++i)
        s.sharedPalette.entries[i] = {std::uint8_t(Red(colours[i])), std::uint8_t(Green(colours[i])),
                                      std::uint8_t(Blue(colours[i])), 255};
    s.shared = std::make_unique<PaletteMap>(s.sharedPalette);
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
    return state_->AddFrame(frame, delayMs) && !state_->failed;
}

std::size_t GifEncoder::Size() const
{
    return state_->handed + state_->pending.size();
}

QImage GifEncoder::Shown() const
{
    const State& s = *state_;
    QImage image(s.width, s.height, QImage::Format_RGB32);
    if (image.isNull() || s.shown.empty())
        return image;
    for (int y = 0; y < s.height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const std::uint32_t* from = s.shown.data() + std::size_t(y) * std::size_t(s.width);
        for (int x = 0; x < s.width; ++x)
            row[x] = 0xFF000000u | from[x];
    }
    return image;
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
