#include "controls/decoders/Decoders.h"

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
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
// reported as the truncation it follows from.
void OnError(j_common_ptr info)
{
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

// No exception may cross libjpeg's frames or skip its clean-up.
bool Reserve(std::vector<std::uint8_t>& rows, std::size_t size)
{
    try {
        rows.resize(size);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Only trivially destructible locals live here: libjpeg may longjmp back to
// the setjmp below from anywhere inside its calls. `rows` is the caller's
// scratch buffer for four-component files.
DecodeError Run(JpegContext& ctx, std::span<const std::uint8_t> data, Image& out,
                std::vector<std::uint8_t>& rows)
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
    jpeg_read_header(&ctx.info, TRUE);

    const bool fourInks = ctx.info.jpeg_color_space == JCS_CMYK || ctx.info.jpeg_color_space == JCS_YCCK;
    if (fourInks) {
        ctx.info.out_color_space = JCS_CMYK;
    } else if (ctx.info.num_components == 1 || ctx.info.num_components == 3) {
        // Four bytes per pixel in the order that reads as 0xAARRGGBB, alpha
        // filled with 255: libjpeg writes straight into the picture.
        ctx.info.out_color_space = std::endian::native == std::endian::little ? JCS_EXT_BGRA : JCS_EXT_ARGB;
    } else {
        ctx.failure = DecodeError::Unsupported;
        std::longjmp(ctx.jump, 1);
    }
    // Refuse oversized pictures before libjpeg allocates anything for them.
    if (const DecodeError e = CheckDimensions(ctx.info.image_width, ctx.info.image_height);
        e != DecodeError::None) {
        ctx.failure = e;
        std::longjmp(ctx.jump, 1);
    }
    jpeg_start_decompress(&ctx.info);
    // Every row is written below, or the decode fails and the picture goes.
    if (AllocateImageUninitialised(out, ctx.info.output_width, ctx.info.output_height) != DecodeError::None) {
        ctx.failure = DecodeError::TooLarge;
        std::longjmp(ctx.jump, 1);
    }
    if (fourInks && !Reserve(rows, static_cast<std::size_t>(ctx.info.output_width) * 4)) {
        ctx.failure = DecodeError::TooLarge;
        std::longjmp(ctx.jump, 1);
    }
    const bool inverted = ctx.info.saw_Adobe_marker != 0;
    // Once the data has run out, a single-scan file decodes every further
    // block as empty, so past the band where that happened (and the bands
    // smoothed with it) each row is the same fill. A short file claiming a
    // huge picture then costs a few bands, not the whole picture.
    const bool oneScan = !jpeg_has_multiple_scans(&ctx.info);
    const int band = ctx.info.max_v_samp_factor * DCTSIZE;
    int endedAt = -1;
    while (ctx.info.output_scanline < ctx.info.output_height) {
        const int y = static_cast<int>(ctx.info.output_scanline);
        JSAMPROW row = fourInks ? rows.data() : reinterpret_cast<JSAMPROW>(out.Row(y));
        if (jpeg_read_scanlines(&ctx.info, &row, 1) != 1) {
            ctx.failure = DecodeError::TruncatedInput;
            std::longjmp(ctx.jump, 1);
        }
        if (fourInks) {
            std::uint32_t* dst = out.Row(y);
            for (int x = 0; x < out.width; ++x) {
                const std::uint8_t* p = rows.data() + 4 * static_cast<std::size_t>(x);
                dst[x] = FromInk(p[0], p[1], p[2], p[3], inverted);
            }
        }
        if (oneScan && ctx.dataEnded) {
            if (endedAt < 0)
                endedAt = y;
            const std::size_t rowBytes = static_cast<std::size_t>(out.width) * sizeof(std::uint32_t);
            if (y >= endedAt + 4 * band && std::memcmp(out.Row(y), out.Row(y - 1), rowBytes) == 0) {
                for (int below = y + 1; below < out.height; ++below)
                    std::memcpy(out.Row(below), out.Row(y), rowBytes);
                jpeg_destroy_decompress(&ctx.info);
                return DecodeError::None;
            }
        }
    }
    jpeg_finish_decompress(&ctx.info);
    jpeg_destroy_decompress(&ctx.info);
    return DecodeError::None;
}

} // namespace

// Any error inside libjpeg gives no picture; its warnings do not.
DecodeError DecodeJpeg(std::span<const std::uint8_t> data, Image& out)
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
    std::vector<std::uint8_t> rows;
    const DecodeError e = Run(ctx, data, out, rows);
    if (e != DecodeError::None)
        out = {};
    return e;
}

} // namespace mugrove
