#include "controls/decoders/PlainDecoders.h"

#include "controls/decoders/JpegSegments.h"
#include "controls/decoders/Orientation.h"
#include "controls/decoders/Workers.h"

#include <algorithm>
#include <array>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <exception>
#include <type_traits>

#include <jpeglib.h>
#include <jerror.h>

namespace mugrove {

namespace {

// Progressive files may hold any number of scans, and each one costs a pass
// over the whole picture; real encoders use about ten.
constexpr int kMaxScans = 100;
// libjpeg's own working memory (coefficient buffers of progressive files).
constexpr long kMaxWorkingMemory = static_cast<long>(kMaxDecodedBytes);

// Everything the decoding function keeps across setjmp is plain data, so a
// longjmp out of libjpeg skips no destructor.
struct JpegContext {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    DecodeError failure;
    bool dataEnded; // libjpeg has warned that the data ran out for good
};
static_assert(std::is_trivially_destructible_v<JpegContext>);

JpegContext& ContextOf(j_common_ptr info)
{
    return *static_cast<JpegContext*>(info->client_data);
}

[[noreturn]] void Fail(j_common_ptr info, DecodeError error)
{
    JpegContext& ctx = ContextOf(info);
    ctx.failure = error;
    std::longjmp(ctx.jump, 1);
}

// Only an error gives no picture; an error after the data ran out is
// reported as the truncation it follows from. Of libjpeg's memory errors, a
// block the system would not give (its cases 2 and 4) is memory that ran
// out; working memory beyond our cap (there is no backing store to spill
// to), or a block beyond what libjpeg may ask for at all, is too large.
void OnError(j_common_ptr info)
{
    const int code = info->err->msg_code;
    if (code == JERR_OUT_OF_MEMORY) {
        const int which = info->err->msg_parm.i[0];
        Fail(info, which == 2 || which == 4 ? DecodeError::OutOfMemory : DecodeError::TooLarge);
    }
    if (code == JERR_NO_BACKING_STORE)
        Fail(info, DecodeError::TooLarge);
    Fail(info, ContextOf(info).dataEnded ? DecodeError::TruncatedInput : DecodeError::CorruptData);
}

// Warnings do not stop the picture: a file without its end marker shows
// whole, and one cut off part way shows the rows that were there over
// libjpeg's fill, as cameras and cut-off downloads leave them.
void OnMessage(j_common_ptr info, int level)
{
    if (level != -1)
        return;
    // The data also ends for good at a marker inside the compressed data,
    // unless restart markers may resume it.
    const int code = info->err->msg_code;
    const auto* d = reinterpret_cast<j_decompress_ptr>(info);
    if (code == JWRN_JPEG_EOF || (code == JWRN_HIT_MARKER && d->restart_interval == 0))
        ContextOf(info).dataEnded = true;
}

void OnOutput(j_common_ptr) {} // nothing is printed

void OnProgress(j_common_ptr info)
{
    auto* d = reinterpret_cast<j_decompress_ptr>(info);
    if (d->input_scan_number > kMaxScans)
        Fail(info, DecodeError::CorruptData);
}

std::uint32_t FromInk(int c, int m, int y, int k, bool inverted)
{
    // Files with the Adobe marker store inverted inks; either way the
    // result is the classic (1 - C)(1 - K) approximation.
    if (!inverted) {
        c = 255 - c;
        m = 255 - m;
        y = 255 - y;
        k = 255 - k;
    }
    const auto mix = [k](int v) { return static_cast<std::uint32_t>((v * k + 127) / 255); };
    return Argb(255, mix(c), mix(m), mix(y));
}

// Rows of a picture being turned are kept in bands of about this many
// bytes, so each turned row is written in long runs (a quarter of the band
// shorter costs about a tenth more time), plus up to kTurnAlign - 1 rows
// so the band ends on a 64-byte boundary of the turned rows.
constexpr std::size_t kTurnBandBytes = std::size_t{4} << 20;
constexpr int kTurnAlign = 16;

int TurnRows(int width)
{
    const std::size_t rows = kTurnBandBytes / (static_cast<std::size_t>(width) * sizeof(std::uint32_t));
    return static_cast<int>(std::clamp<std::size_t>(rows, kTurnAlign, 512)) / kTurnAlign * kTurnAlign;
}

// Only trivially destructible locals live in the two functions below:
// libjpeg may longjmp back to their setjmp from anywhere inside its calls.
DecodeError ReadHeader(JpegContext& ctx, std::span<const std::uint8_t> data)
{
    if (setjmp(ctx.jump) != 0) {
        jpeg_destroy_decompress(&ctx.info);
        return ctx.failure;
    }
    jpeg_create_decompress(&ctx.info);
    ctx.info.client_data = &ctx;
    ctx.info.mem->max_memory_to_use = kMaxWorkingMemory;
    ctx.progress.progress_monitor = OnProgress;
    ctx.info.progress = &ctx.progress;
    jpeg_mem_src(&ctx.info, data.data(), static_cast<unsigned long>(data.size()));
    KeepSegments(ctx.info);
    jpeg_read_header(&ctx.info, TRUE);
    return DecodeError::None;
}

// Converts the rows of an upright picture on a second thread while the
// next rows decode. Rows are handed over when the decoding is done with
// them for good: all but the last two (the decoder compares those). Each
// hand-over is a count of rows that only grows, so the worker takes the
// latest and converts from where it stopped.
class RowConversion {
public:
    // Throws when no thread can be had: then the caller converts at the end.
    // The picture is read only once rows are handed over: it is made after
    // the thread starts.
    RowConversion(const SrgbConversion& colour, Image& out)
        : out_(out), worker_([&colour, &out, done = 0](const int& rows, std::stop_token) mutable {
              if (rows <= done)
                  return;
              colour.Run(out.Row(done), static_cast<std::size_t>(rows - done) * static_cast<std::size_t>(out.width));
              done = rows;
          })
    {
    }

    // Rows [0, rows) are decoded and will not change.
    void HandOver(int rows) { worker_.Ask(rows); }
    // Converts what is left and waits for it.
    void Finish()
    {
        worker_.Ask(out_.height);
        worker_.Drain();
    }

private:
    Image& out_;
    LatestRequestWorker<int> worker_; // destroyed first: abandons what is left
};

// Turns the bands of a picture stored sideways into it on a second thread
// (converting their colours first, when asked) while the next band decodes,
// so that a turned photo takes about as long as an upright one.
class BandTurner {
public:
    // Throws when no thread can be had: then the caller turns the bands.
    BandTurner(const SrgbConversion* colour, Image& out, int orientation)
        : worker_([colour, &out, orientation](const Band& band, std::stop_token) {
              if (colour != nullptr)
                  colour->Run(band.rows, static_cast<std::size_t>(band.count) * static_cast<std::size_t>(band.width));
              TurnRowsInto(out, band.rows, band.firstRow, band.count, band.width, band.height, orientation);
          })
    {
    }

    // Hands over `count` stored rows from `firstRow` on, once the band
    // handed over before is done with.
    void HandOver(std::uint32_t* rows, int firstRow, int count, int width, int height)
    {
        worker_.Drain();
        worker_.Ask({rows, firstRow, count, width, height});
    }
    // Until the band handed over last is in the picture.
    void Wait() { worker_.Drain(); }

private:
    struct Band {
        std::uint32_t* rows;
        int firstRow, count, width, height;
    };
    LatestRequestWorker<Band> worker_;
};

// Starts `worker` in `slot`; null when no thread can be had.
template <class Worker, class... Args>
Worker* StartWorker(std::optional<Worker>& slot, Args&&... args)
{
    try {
        return &slot.emplace(std::forward<Args>(args)...);
    } catch (const std::exception&) { // no thread, or no memory for one
        return nullptr;
    }
}

// Pictures from this many pixels on are turned on a second thread; for
// smaller ones starting it costs more than it saves.
constexpr std::uint64_t kTurnerPixels = std::uint64_t{1} << 20;

// What the segments ask of the picture, and the scratch rows for it.
struct Scratch {
    int orientation = 1;
    const SrgbConversion* colour = nullptr; // null: the pixels are sRGB as decoded
    PixelBuffer* inks = nullptr;            // one row of four-ink bytes
    PixelBuffer* band = nullptr;            // the stored rows being turned
    PixelBuffer* otherBand = nullptr;       // the band being turned by the turner
    RowConversion* rowConversion = nullptr; // converts upright rows as they come
    BandTurner* turner = nullptr;           // turns bands on a second thread
};

// No exception may cross libjpeg's frames or skip its clean-up.
bool Reserve(PixelBuffer& rows, std::size_t size)
{
    try {
        rows.resize(size);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool FourInks(const jpeg_decompress_struct& info)
{
    return info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
}

// Asks libjpeg for four bytes per pixel in the order that reads as
// 0xAARRGGBB, alpha filled with 255, so that it writes straight into the
// picture (or for four inks, converted here). What we do not read, or what
// is beyond the caps, is refused before libjpeg allocates anything for it.
void ChooseOutput(JpegContext& ctx)
{
    if (FourInks(ctx.info)) {
        ctx.info.out_color_space = JCS_CMYK;
    } else if (ctx.info.num_components == 1 || ctx.info.num_components == 3) {
        ctx.info.out_color_space = std::endian::native == std::endian::little ? JCS_EXT_BGRA : JCS_EXT_ARGB;
    } else {
        ctx.failure = DecodeError::Unsupported;
        std::longjmp(ctx.jump, 1);
    }
    ctx.failure = CheckDimensions(ctx.info.image_width, ctx.info.image_height);
    if (ctx.failure != DecodeError::None)
        std::longjmp(ctx.jump, 1);
}

// Where decoded rows go: straight into the picture, or, for a picture being
// turned, into a band of turnRows stored rows or a few more (so that each
// band ends where its target columns fill whole cache lines), which is
// turned into the picture once full. Plain data only: libjpeg may longjmp
// past it.
struct RowTarget {
    Image& out;
    const Scratch& finish;
    int width, height;
    bool turn;
    bool convertBands; // colours are converted band by band before turning
    int turnRows;
    std::size_t rowPixels;
    BandTurner* turner;      // null: bands are turned here
    std::uint32_t* bandRows; // the band being decoded into; the turner works on the other one
    int bandStart;           // the first stored row in the band, when turning

    std::uint32_t* Stored(int y) const
    {
        return turn ? bandRows + static_cast<std::size_t>(y - bandStart) * rowPixels : out.Row(y);
    }
    // Whether the band is full after stored row `end - 1`.
    bool BandFull(int end) const
    {
        const bool fromBottom = finish.orientation == 6 || finish.orientation == 7;
        return turn && end - bandStart >= turnRows &&
               (end == height || (fromBottom ? height - end : end) % kTurnAlign == 0);
    }
    // Turns the band into the picture: by the turner, which takes the band
    // while the next one decodes into the other, or here (`now`), the
    // band's rows staying where they are.
    void Flush(int end, bool now)
    {
        if (turner != nullptr && !now) {
            turner->HandOver(bandRows, bandStart, end - bandStart, width, height);
            bandRows = bandRows == finish.band->data() ? finish.otherBand->data() : finish.band->data();
        } else {
            if (turner != nullptr)
                turner->Wait();
            if (convertBands)
                finish.colour->Run(bandRows, static_cast<std::size_t>(end - bandStart) * rowPixels);
            TurnRowsInto(out, bandRows, bandStart, end - bandStart, width, height, finish.orientation);
        }
        bandStart = end;
    }
    // Every row below stored row y is the same as y: the picture is filled
    // from it without decoding further.
    void FillBelow(int y)
    {
        const std::uint32_t* row = Stored(y);
        const std::size_t rowBytes = rowPixels * sizeof(std::uint32_t);
        if (!turn) {
            for (int below = y + 1; below < height; ++below)
                std::memcpy(out.Row(below), row, rowBytes);
            return;
        }
        // The band ends here; the rest is this row, turned.
        const std::size_t slot = static_cast<std::size_t>(y - bandStart);
        Flush(y + 1, true);
        std::uint32_t* rows = bandRows;
        std::memmove(rows, rows + slot * rowPixels, rowBytes);
        for (int copy = 1; copy < turnRows; ++copy)
            std::memcpy(rows + static_cast<std::size_t>(copy) * rowPixels, rows, rowBytes);
        for (int first = y + 1; first < height; first += turnRows)
            TurnRowsInto(out, rows, first, std::min(turnRows, height - first), width, height, finish.orientation);
    }
};

// The picture and the scratch rows, once libjpeg knows the output size.
RowTarget MakeTarget(JpegContext& ctx, Image& out, const Scratch& finish)
{
    const int width = static_cast<int>(ctx.info.output_width);
    const int height = static_cast<int>(ctx.info.output_height);
    const bool turn = OrientationSwapsSides(finish.orientation);
    const bool fourInks = FourInks(ctx.info);
    const int turnRows = TurnRows(width);
    const std::size_t rowPixels = static_cast<std::size_t>(width);
    const std::size_t bandPixels = rowPixels * static_cast<std::size_t>(turnRows + kTurnAlign);
    // Every pixel is written, or the decode fails and the picture goes.
    ctx.failure = AllocateImageUninitialised(out, turn ? height : width, turn ? width : height);
    if (ctx.failure == DecodeError::None &&
        ((fourInks && !Reserve(*finish.inks, rowPixels)) || (turn && !Reserve(*finish.band, bandPixels))))
        ctx.failure = DecodeError::OutOfMemory;
    if (ctx.failure != DecodeError::None)
        std::longjmp(ctx.jump, 1);
    BandTurner* turner = turn ? finish.turner : nullptr;
    if (turner != nullptr && !Reserve(*finish.otherBand, bandPixels))
        turner = nullptr; // turned here, band by band
    const bool convertBands = finish.colour != nullptr && !fourInks;
    std::uint32_t* firstBand = turn ? finish.band->data() : nullptr;
    return {out, finish, width, height, turn, convertBands, turnRows, rowPixels, turner, firstBand, 0};
}

// Decodes the picture the right way up and in sRGB. Colour is converted
// here for inks (row by row) and for a picture that is turned (band by
// band while the band is in the cache); the caller converts the rest.
DecodeError Run(JpegContext& ctx, Image& out, const Scratch& finish)
{
    if (setjmp(ctx.jump) != 0) {
        jpeg_destroy_decompress(&ctx.info);
        return ctx.failure;
    }
    ChooseOutput(ctx);
    jpeg_start_decompress(&ctx.info);
    RowTarget to = MakeTarget(ctx, out, finish);
    const bool fourInks = FourInks(ctx.info);
    const bool inverted = ctx.info.saw_Adobe_marker != 0;
    // One band is the rows libjpeg makes at a time.
    const int band = ctx.info.max_v_samp_factor * DCTSIZE;
    // Once the data has run out, a single-scan file decodes every further
    // block as empty, so past the band where that happened (and the bands
    // smoothed with it) each row is the same fill. A short file claiming a
    // huge picture then costs a few bands, not the whole picture.
    const bool oneScan = !jpeg_has_multiple_scans(&ctx.info);
    int endedAt = -1;
    while (ctx.info.output_scanline < ctx.info.output_height) {
        const int y = static_cast<int>(ctx.info.output_scanline);
        std::uint32_t* target = to.Stored(y);
        JSAMPROW row = reinterpret_cast<JSAMPROW>(fourInks ? finish.inks->data() : target);
        if (jpeg_read_scanlines(&ctx.info, &row, 1) != 1) {
            ctx.failure = DecodeError::TruncatedInput;
            std::longjmp(ctx.jump, 1);
        }
        if (fourInks && finish.colour != nullptr) {
            finish.colour->RunInks(row, target, to.rowPixels);
        } else if (fourInks) {
            for (std::size_t x = 0; x < to.rowPixels; ++x) {
                const std::uint8_t* p = row + 4 * x;
                target[x] = FromInk(p[0], p[1], p[2], p[3], inverted);
            }
        }
        if (oneScan && ctx.dataEnded) {
            if (endedAt < 0)
                endedAt = y;
            const bool previousAtHand = !to.turn || y > to.bandStart;
            if (y >= endedAt + 4 * band && previousAtHand &&
                std::memcmp(target, target - to.rowPixels, to.rowPixels * sizeof(std::uint32_t)) == 0) {
                to.FillBelow(y);
                jpeg_destroy_decompress(&ctx.info);
                return DecodeError::None;
            }
        }
        if (to.BandFull(y + 1))
            to.Flush(y + 1, false);
        if (finish.rowConversion != nullptr && (y + 1) % band == 0)
            finish.rowConversion->HandOver(y - 1);
    }
    if (to.turn && to.bandStart < to.height)
        to.Flush(to.height, true);
    jpeg_finish_decompress(&ctx.info);
    jpeg_destroy_decompress(&ctx.info);
    return DecodeError::None;
}

} // namespace

// Any error inside libjpeg gives no picture; its warnings do not.
DecodeError DecodeJpegWith(std::span<const std::uint8_t> data, Image& out, IccReader profiles)
{
    out = {};
    if (data.empty())
        return DecodeError::TruncatedInput;
    JpegContext ctx{};
    ctx.info.err = jpeg_std_error(&ctx.errors);
    ctx.info.client_data = &ctx; // kept by jpeg_create_decompress
    ctx.errors.error_exit = OnError;
    ctx.errors.emit_message = OnMessage;
    ctx.errors.output_message = OnOutput;
    ctx.failure = DecodeError::CorruptData;
    if (const DecodeError e = ReadHeader(ctx, data); e != DecodeError::None)
        return e;
    int orientation = 1;
    std::vector<std::uint8_t> icc;
    ReadSegments(ctx.info, orientation, icc);
    const bool fourInks = FourInks(ctx.info);
    const auto input = !fourInks                        ? SrgbConversion::Input::Argb
                       : ctx.info.saw_Adobe_marker != 0 ? SrgbConversion::Input::InvertedInks
                                                        : SrgbConversion::Input::Inks;
    std::unique_ptr<SrgbConversion> colour;
    if (!icc.empty() && profiles != nullptr)
        profiles(icc, input, colour); // a broken profile: shown as sRGB
    icc = {};
    PixelBuffer inks(PixelBuffer::allocator_type(false)), band(PixelBuffer::allocator_type(false)),
        otherBand(PixelBuffer::allocator_type(false));
    Scratch scratch{orientation, colour.get(), &inks, &band, &otherBand};
    const bool turn = OrientationSwapsSides(orientation);
    // Made before the decoding and stopped before the picture can go (a
    // failed decoding may leave it turning a band).
    std::optional<BandTurner> turner;
    if (turn && std::uint64_t{ctx.info.image_width} * ctx.info.image_height >= kTurnerPixels)
        scratch.turner = StartWorker(turner, fourInks ? nullptr : colour.get(), out, orientation);
    // The picture is allocated inside Run; the worker only reads its place
    // and size once rows are handed over.
    std::optional<RowConversion> rows;
    if (colour && !fourInks && !turn)
        scratch.rowConversion = StartWorker(rows, *colour, out);
    DecodeError e = Run(ctx, out, scratch);
    if (e == DecodeError::None && !turn) {
        if (scratch.rowConversion != nullptr)
            rows->Finish();
        else if (colour && !fourInks)
            colour->RunOver(out);
        ApplyOrientation(out, orientation); // in place: nothing to allocate
    }
    rows.reset(); // stopped before the picture can go
    turner.reset();
    if (e != DecodeError::None)
        out = {};
    return e;
}

} // namespace mugrove
