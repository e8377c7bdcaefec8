#include "controls/decoders/Png.h"

#include "controls/decoders/ByteReader.h"
#include "controls/decoders/Exif.h"
#include "controls/decoders/PhotoFinish.h"

#include <spng.h>

#include <bit>
#include <memory>
#include <vector>

namespace mugrove {

namespace {

// Ancillary chunks are not used, so a file may not make the library keep
// many or large ones for us.
constexpr std::size_t kMaxChunkBytes = std::size_t{64} << 20;
constexpr std::size_t kMaxChunkCache = std::size_t{16} << 20;
constexpr int kMaxChunkCount = 1000;

struct ContextDeleter {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};
using Context = std::unique_ptr<spng_ctx, ContextDeleter>;

DecodeError Named(int error)
{
    switch (error) {
    case SPNG_OK: return DecodeError::None;
    case SPNG_EMEM: return DecodeError::OutOfMemory;
    case SPNG_EOVERFLOW: return DecodeError::TooLarge;
    case SPNG_ESIGNATURE: return DecodeError::Unrecognised;
    // Ends of data: the file stops before its picture does.
    case SPNG_IO_EOF:
    case SPNG_IO_ERROR:
    case SPNG_EIO:
    case SPNG_EOF:
    case SPNG_EIDAT_TOO_SHORT: return DecodeError::TruncatedInput;
    case SPNG_EWIDTH:
    case SPNG_EHEIGHT:
    case SPNG_EBIT_DEPTH:
    case SPNG_ECOLOR_TYPE:
    case SPNG_ECOMPRESSION_METHOD:
    case SPNG_EFILTER_METHOD:
    case SPNG_EINTERLACE_METHOD:
    case SPNG_EIHDR_SIZE:
    case SPNG_ENOIHDR:
    case SPNG_ECHUNK_POS:
    case SPNG_ECHUNK_SIZE:
    case SPNG_ECHUNK_TYPE:
    case SPNG_ECHUNK_UNKNOWN_CRITICAL:
    case SPNG_EDUP_PLTE:
    case SPNG_ETRNS_COLOR_TYPE:
    case SPNG_ETRNS_NO_PLTE:
    case SPNG_ENOPLTE:
    case SPNG_ECHUNK_STDLEN: return DecodeError::BadHeader;
    case SPNG_ECHUNK_LIMITS:
    case SPNG_EUSER_WIDTH:
    case SPNG_EUSER_HEIGHT: return DecodeError::TooLarge;
    default: return DecodeError::CorruptData; // checksums, inflate, filters, palette indices
    }
}

// The library writes bytes R, G, B, A; a pixel here reads 0xAARRGGBB.
void ToArgb(std::uint32_t* p, std::size_t count)
{
    for (std::uint32_t* end = p + count; p != end; ++p) {
        const std::uint32_t rgba = *p; // host order of R, G, B, A in memory
        if constexpr (std::endian::native == std::endian::little)
            *p = (rgba & 0xFF00FF00u) | ((rgba & 0xFFu) << 16) | ((rgba >> 16) & 0xFFu);
        else
            *p = (rgba >> 8) | (rgba << 24);
    }
}

// Row by row, each row reordered while it is still in the cache; an
// interlaced picture visits rows again, so it is reordered once at the end.
// Plain 8-bit RGB (most screenshots) comes as it is stored and is widened
// here in the same pass.
int DecodeRows(spng_ctx* ctx, Image& out, bool interlaced, bool plainRgb)
{
    const std::size_t width = static_cast<std::size_t>(out.width);
    if (interlaced) {
        const int e = spng_decode_image(ctx, out.pixels.data(), width * 4 * static_cast<std::size_t>(out.height),
                                        SPNG_FMT_RGBA8, SPNG_DECODE_TRNS);
        if (e == SPNG_OK)
            ToArgb(out.pixels.data(), out.pixels.size());
        return e;
    }
    int e = plainRgb ? spng_decode_image(ctx, nullptr, 0, SPNG_FMT_RGB8, SPNG_DECODE_PROGRESSIVE)
                     : spng_decode_image(ctx, nullptr, 0, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE);
    if (e != SPNG_OK)
        return e;
    std::vector<std::uint8_t> rgb(plainRgb ? width * 3 : 0);
    spng_row_info row{};
    while ((e = spng_get_row_info(ctx, &row)) == SPNG_OK) {
        if (row.row_num >= static_cast<std::uint32_t>(out.height))
            return SPNG_EINTERNAL;
        std::uint32_t* target = out.Row(static_cast<int>(row.row_num));
        e = plainRgb ? spng_decode_row(ctx, rgb.data(), rgb.size()) : spng_decode_row(ctx, target, width * 4);
        if (e != SPNG_OK && e != SPNG_EOI)
            return e;
        if (plainRgb) {
            const std::uint8_t* p = rgb.data();
            for (std::size_t x = 0; x < width; ++x, p += 3)
                target[x] = Argb(255, p[0], p[1], p[2]);
        } else {
            ToArgb(target, width);
        }
        if (e == SPNG_EOI)
            return SPNG_OK;
    }
    return e;
}

// Deflate writes at most 1032 bytes for each byte it reads (a 258-byte
// copy coded in two bits), so a file cannot hold a picture whose rows need
// more than that: such a claim is refused before anything is allocated.
constexpr std::uint64_t kMaxInflateRatio = 1032;

// The header as stored, checked before the library reads it: the library
// names a zero side as it names a malformed header, and would have the
// picture allocated before finding the data too short for it.
DecodeError CheckStoredHeader(std::span<const std::uint8_t> data)
{
    // Signature, then the first chunk: length 13, "IHDR", width, height,
    // bit depth, colour type.
    if (data.size() < 26 || data[12] != 'I' || data[13] != 'H' || data[14] != 'D' || data[15] != 'R')
        return DecodeError::None; // the library names what is wrong
    const std::int64_t width = LoadBe32(data.data() + 16), height = LoadBe32(data.data() + 20);
    if (const DecodeError e = CheckDimensions(width, height); e != DecodeError::None)
        return e;
    const std::uint64_t depth = data[24];
    const std::uint64_t channels = data[25] == 2 ? 3 : data[25] == 4 ? 2 : data[25] == 6 ? 4 : 1;
    // Each row: its filter byte and its packed samples (fewest, without
    // interlacing).
    const std::uint64_t rowBytes = 1 + (static_cast<std::uint64_t>(width) * channels * depth + 7) / 8;
    if (rowBytes * static_cast<std::uint64_t>(height) > kMaxInflateRatio * data.size() + 65536)
        return DecodeError::TruncatedInput;
    return DecodeError::None;
}

} // namespace

DecodeError DecodePng(std::span<const std::uint8_t> data, Image& out)
{
    out = {};
    if (data.empty())
        return DecodeError::TruncatedInput;
    if (const DecodeError e = CheckStoredHeader(data); e != DecodeError::None)
        return e;
    Context ctx(spng_ctx_new(0));
    if (!ctx)
        return DecodeError::OutOfMemory;
    spng_set_png_buffer(ctx.get(), data.data(), data.size());
    spng_set_chunk_limits(ctx.get(), kMaxChunkBytes, kMaxChunkCache);
    spng_set_option(ctx.get(), SPNG_CHUNK_COUNT_LIMIT, kMaxChunkCount);
    spng_set_option(ctx.get(), SPNG_KEEP_UNKNOWN_CHUNKS, 0);
    // Sides beyond ours are refused while the header is read.
    spng_set_image_limits(ctx.get(), static_cast<std::uint32_t>(kMaxPictureSide),
                          static_cast<std::uint32_t>(kMaxPictureSide));

    spng_ihdr header{};
    if (const int e = spng_get_ihdr(ctx.get(), &header); e != SPNG_OK)
        return Named(e); // its sides are the ones CheckStoredHeader checked
    // Reads the chunks before the pixels, so their faults are named here.
    spng_trns transparency{};
    const int trns = spng_get_trns(ctx.get(), &transparency);
    if (trns != SPNG_OK && trns != SPNG_ECHUNKAVAIL)
        return Named(trns);
    const bool plainRgb = header.color_type == SPNG_COLOR_TYPE_TRUECOLOR && header.bit_depth == 8 && trns != SPNG_OK;
    // Every pixel is written by the library, or the decode fails.
    if (const DecodeError e = AllocateImageUninitialised(out, header.width, header.height);
        e != DecodeError::None)
        return e;
    if (const int e = DecodeRows(ctx.get(), out, header.interlace_method != SPNG_INTERLACE_NONE, plainRgb);
        e != SPNG_OK) {
        out = {};
        return Named(e);
    }
    // The metadata may follow the pixels, so it is read after them; any
    // fault in it leaves the picture as stored.
    PhotoFinish finish;
    spng_exif exif{};
    if (spng_get_exif(ctx.get(), &exif) == SPNG_OK && exif.data != nullptr)
        finish.orientation = ReadExifOrientation({reinterpret_cast<const std::uint8_t*>(exif.data), exif.length});
    spng_iccp iccp{};
    if (spng_get_iccp(ctx.get(), &iccp) == SPNG_OK && iccp.profile != nullptr) {
        std::unique_ptr<SrgbConversion> colour;
        IccConversion({reinterpret_cast<const std::uint8_t*>(iccp.profile), iccp.profile_len},
                      SrgbConversion::Input::Argb, colour);
        finish.colour = std::move(colour);
    }
    if (!finish.Apply(out)) {
        out = {};
        return DecodeError::OutOfMemory;
    }
    return DecodeError::None;
}

} // namespace mugrove
