#include "controls/decoders/Decoders.h"
#include "controls/decoders/IsoBoxes.h"
#include "controls/decoders/PhotoColour.h"

#include <libheif/heif.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace mugrove {

namespace {

// Most tiles a grid or inputs an overlay may name: a 48-megapixel phone
// photo in 512-pixel tiles has under 200, and every tile is a decode.
constexpr std::uint64_t kMaxTiles = 4096;

// How far a coded picture may exceed the size its item declares: coding
// rounds sizes up to whole blocks of at most 64 pixels.
constexpr std::uint32_t kCodingMargin = 64;

// Reads Exp-Golomb and plain bit fields of an HEVC parameter set whose
// emulation-prevention bytes are already removed.
class BitReader {
public:
    explicit BitReader(const std::vector<std::uint8_t>& data) : data_(data) {}
    bool Ok() const { return ok_; }
    std::uint32_t Bits(unsigned n)
    {
        std::uint32_t v = 0;
        for (unsigned i = 0; i < n; ++i) {
            if (pos_ >= data_.size() * 8) {
                ok_ = false;
                return 0;
            }
            v = (v << 1) | ((data_[pos_ / 8] >> (7 - pos_ % 8)) & 1u);
            ++pos_;
        }
        return v;
    }
    std::uint32_t Golomb()
    {
        unsigned zeros = 0;
        while (ok_ && Bits(1) == 0)
            if (++zeros > 31) {
                ok_ = false;
                return 0;
            }
        return ok_ ? (std::uint32_t{1} << zeros) - 1 + Bits(zeros) : 0;
    }

private:
    const std::vector<std::uint8_t>& data_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

// The picture size a sequence parameter set (NAL unit, header included)
// codes; false when it cannot be read.
bool SpsSize(std::span<const std::uint8_t> nal, std::uint32_t& width, std::uint32_t& height)
{
    std::vector<std::uint8_t> rbsp;
    for (std::size_t i = 0; i < nal.size() && rbsp.size() < 256; ++i) {
        if (i >= 2 && nal[i] == 3 && nal[i - 1] == 0 && nal[i - 2] == 0)
            continue; // emulation prevention
        rbsp.push_back(nal[i]);
    }
    BitReader r(rbsp);
    r.Bits(16); // NAL unit header
    r.Bits(4);  // video parameter set id
    const unsigned subLayers = r.Bits(3);
    r.Bits(1);
    r.Bits(96); // general profile, tier and level
    std::array<bool, 8> profile{}, level{};
    for (unsigned i = 0; i < subLayers; ++i) {
        profile[i] = r.Bits(1) != 0;
        level[i] = r.Bits(1) != 0;
    }
    if (subLayers > 0)
        r.Bits(2 * (8 - subLayers));
    for (unsigned i = 0; i < subLayers; ++i)
        r.Bits((profile[i] ? 88 : 0) + (level[i] ? 8 : 0));
    r.Golomb(); // sequence parameter set id
    if (r.Golomb() == 3)
        r.Bits(1); // separate colour planes
    width = r.Golomb();
    height = r.Golomb();
    return r.Ok();
}

// Grid and overlay items say how large a canvas they paint on, and the
// library makes that canvas before it decodes a single tile; a coded
// picture's parameter sets say how large a picture the codec will make,
// whatever size its item declares. So the boxes are read here first, and a
// canvas or picture beyond the caps, a coded picture much larger than its
// item, or a grid that asks for more tiles than any photo has, is refused
// before the library allocates: a few hundred bytes cannot ask for seconds
// of work on pixels nobody sees.
class DerivedItemCheck {
public:
    explicit DerivedItemCheck(std::span<const std::uint8_t> file) : file_(file) {}

    DecodeError Run()
    {
        BoxWalker top(file_);
        Box box;
        while (top.Next(box))
            if (box.type == FourCc("meta"))
                return Meta(box.body);
        // No metadata: cut off before it, or the library says what is wrong.
        return top.Truncated() ? DecodeError::TruncatedInput : DecodeError::None;
    }

private:
    struct Extent {
        std::uint64_t offset = 0, length = 0;
    };
    struct Location {
        unsigned method = 0;
        std::uint64_t base = 0;
        std::vector<Extent> extents;
    };

    DecodeError Meta(std::span<const std::uint8_t> meta)
    {
        if (meta.size() < 4)
            return DecodeError::BadHeader;
        BoxWalker walker(meta.subspan(4)); // after the version and flags
        Box box;
        while (walker.Next(box)) {
            if (box.type == FourCc("iinf"))
                ItemInfo(box.body);
            else if (box.type == FourCc("iloc"))
                Locations(box.body);
            else if (box.type == FourCc("iref"))
                References(box.body);
            else if (box.type == FourCc("idat"))
                idat_ = box.body;
            else if (box.type == FourCc("iprp"))
                Properties(box.body);
        }
        for (const auto& [id, props] : associations_) {
            std::uint32_t declaredW = 0, declaredH = 0, codedW = 0, codedH = 0;
            for (const std::uint32_t index : props)
                if (index != 0 && index <= properties_.size() && properties_[index - 1].type == FourCc("hvcC"))
                    Coded(properties_[index - 1].body, codedW, codedH);
            if (codedW == 0)
                continue;
            DeclaredSize(id, declaredW, declaredH);
            if (const DecodeError e = CheckDimensions(codedW, codedH); e != DecodeError::None)
                return e;
            if (declaredW != 0 && (codedW > declaredW + kCodingMargin || codedH > declaredH + kCodingMargin))
                return DecodeError::BadHeader;
        }
        for (const auto& [id, type] : types_) {
            if (type != FourCc("grid") && type != FourCc("iovl"))
                continue;
            if (inputs_[id] > kMaxTiles)
                return DecodeError::TooLarge;
            std::uint8_t head[24] = {};
            const std::size_t got = Data(id, head, sizeof head);
            if (const DecodeError e = type == FourCc("grid") ? Grid(id, head, got) : Overlay(head, got);
                e != DecodeError::None)
                return e;
        }
        return DecodeError::None;
    }

    // The canvas size that follows; data that ends before it is refused
    // (the library would read on past the item's bytes).
    static DecodeError Canvas(BeReader& r, bool wide, std::uint64_t& width, std::uint64_t& height)
    {
        width = r.Uint(wide ? 4 : 2);
        height = r.Uint(wide ? 4 : 2);
        if (!r.Ok())
            return DecodeError::BadHeader;
        return CheckDimensions(static_cast<std::int64_t>(width), static_cast<std::int64_t>(height));
    }

    DecodeError Grid(std::uint32_t id, const std::uint8_t* data, std::size_t size) const
    {
        BeReader r({data, size});
        r.U8(); // version
        const bool wide = (r.U8() & 1) != 0;
        const std::uint64_t rows = r.U8() + 1, columns = r.U8() + 1;
        if (r.Ok() && rows * columns > kMaxTiles)
            return DecodeError::TooLarge;
        std::uint64_t width = 0, height = 0;
        if (const DecodeError e = Canvas(r, wide, width, height); e != DecodeError::None)
            return e;
        // The tiles, all of the first one's size, cover the canvas; one
        // they cannot cover is not a grid.
        std::uint32_t tileW = 0, tileH = 0;
        const auto first = firstInput_.find(id);
        if (first != firstInput_.end() && DeclaredSize(first->second, tileW, tileH) &&
            (width > columns * tileW || height > rows * tileH))
            return DecodeError::BadHeader;
        return DecodeError::None;
    }

    static DecodeError Overlay(const std::uint8_t* data, std::size_t size)
    {
        BeReader r({data, size});
        r.U8(); // version
        const bool wide = (r.U8() & 1) != 0;
        r.Uint(8); // the fill colour
        std::uint64_t width = 0, height = 0;
        return Canvas(r, wide, width, height);
    }

    // An item's size as its ispe property declares it.
    bool DeclaredSize(std::uint32_t id, std::uint32_t& width, std::uint32_t& height) const
    {
        const auto it = associations_.find(id);
        if (it == associations_.end())
            return false;
        for (const std::uint32_t index : it->second)
            if (index != 0 && index <= properties_.size() && properties_[index - 1].type == FourCc("ispe")) {
                BeReader r(properties_[index - 1].body);
                r.U32(); // version and flags
                width = r.U32();
                height = r.U32();
                return r.Ok();
            }
        return false;
    }

    void Properties(std::span<const std::uint8_t> iprp)
    {
        BoxWalker walker(iprp);
        Box box;
        while (walker.Next(box)) {
            if (box.type == FourCc("ipco")) {
                BoxWalker inner(box.body);
                Box property;
                while (inner.Next(property) && properties_.size() < 65536)
                    properties_.push_back(property);
            } else if (box.type == FourCc("ipma")) {
                BeReader r(box.body);
                const unsigned version = r.U8();
                const bool wide = (r.Uint(3) & 1) != 0;
                const std::uint64_t count = r.U32();
                for (std::uint64_t i = 0; i < count && r.Ok(); ++i) {
                    const std::uint32_t id = static_cast<std::uint32_t>(r.Uint(version < 1 ? 2 : 4));
                    const unsigned n = r.U8();
                    std::vector<std::uint32_t>& props = associations_[id];
                    for (unsigned k = 0; k < n && r.Ok(); ++k)
                        props.push_back(wide ? (r.U16() & 0x7FFF) : (r.U8() & 0x7F));
                }
            }
        }
    }

    // The size the first sequence parameter set in an HEVC configuration
    // codes; 0 × 0 when there is none that can be read.
    static void Coded(std::span<const std::uint8_t> hvcc, std::uint32_t& width, std::uint32_t& height)
    {
        width = height = 0;
        BeReader r(hvcc);
        r.Uint(22); // the fixed part of the configuration
        const unsigned arrays = r.U8();
        for (unsigned a = 0; a < arrays && r.Ok(); ++a) {
            const unsigned type = r.U8() & 0x3F;
            const unsigned nalus = r.U16();
            for (unsigned k = 0; k < nalus && r.Ok(); ++k) {
                const unsigned length = r.U16();
                const std::span<const std::uint8_t> nal = r.Rest().first(std::min<std::size_t>(length, r.Left()));
                r.Skip(length);
                constexpr unsigned kSps = 33;
                if (r.Ok() && type == kSps && SpsSize(nal, width, height))
                    return;
                width = height = 0;
            }
        }
    }

    void ItemInfo(std::span<const std::uint8_t> body)
    {
        BeReader r(body);
        const unsigned version = r.U8();
        r.Uint(3);
        r.Uint(version == 0 ? 2 : 4); // the count; the boxes that follow say it too
        BoxWalker walker(r.Rest());
        Box infe;
        while (walker.Next(infe)) {
            if (infe.type != FourCc("infe"))
                continue;
            BeReader e(infe.body);
            const unsigned v = e.U8();
            e.Uint(3);
            if (v < 2)
                continue; // no item type in the early versions
            const std::uint32_t id = static_cast<std::uint32_t>(e.Uint(v == 2 ? 2 : 4));
            e.U16(); // protection index
            const std::uint32_t type = e.U32();
            if (e.Ok())
                types_[id] = type;
        }
    }

    void Locations(std::span<const std::uint8_t> body)
    {
        BeReader r(body);
        const unsigned version = r.U8();
        r.Uint(3);
        const unsigned sizes = r.U8(), more = r.U8();
        const unsigned offsetSize = sizes >> 4, lengthSize = sizes & 15, baseSize = more >> 4;
        const unsigned indexSize = version >= 1 ? (more & 15) : 0;
        const std::uint64_t count = r.Uint(version < 2 ? 2 : 4);
        for (std::uint64_t i = 0; i < count && r.Ok(); ++i) {
            const std::uint32_t id = static_cast<std::uint32_t>(r.Uint(version < 2 ? 2 : 4));
            Location loc;
            if (version >= 1)
                loc.method = r.U16() & 15;
            r.U16(); // data reference index
            loc.base = r.Uint(baseSize);
            // Only the first extents can hold a grid's or overlay's header;
            // the rest are stepped over whole (fields may be 0 bytes long).
            const unsigned extents = r.U16();
            const unsigned kept = std::min(extents, 64u);
            for (unsigned k = 0; k < kept && r.Ok(); ++k) {
                r.Uint(indexSize);
                Extent x;
                x.offset = r.Uint(offsetSize);
                x.length = r.Uint(lengthSize);
                loc.extents.push_back(x);
            }
            r.Skip(std::uint64_t{extents - kept} * (indexSize + offsetSize + lengthSize));
            if (r.Ok())
                locations_[id] = std::move(loc);
        }
    }

    void References(std::span<const std::uint8_t> body)
    {
        BeReader r(body);
        const unsigned version = r.U8();
        r.Uint(3);
        BoxWalker walker(r.Rest());
        Box ref;
        while (walker.Next(ref)) {
            BeReader e(ref.body);
            const std::uint32_t from = static_cast<std::uint32_t>(e.Uint(version == 0 ? 2 : 4));
            const std::uint64_t count = e.U16();
            if (!e.Ok() || ref.type != FourCc("dimg"))
                continue;
            inputs_[from] += count;
            const std::uint32_t to = static_cast<std::uint32_t>(e.Uint(version == 0 ? 2 : 4));
            if (e.Ok() && count > 0)
                firstInput_.emplace(from, to);
        }
    }

    // Up to `size` leading bytes of an item's data, its extents joined as
    // the library joins them; how many were found.
    std::size_t Data(std::uint32_t id, std::uint8_t* out, std::size_t size) const
    {
        const auto it = locations_.find(id);
        if (it == locations_.end())
            return 0;
        const Location& loc = it->second;
        std::span<const std::uint8_t> source;
        if (loc.method == 0)
            source = file_;
        else if (loc.method == 1)
            source = idat_;
        else
            return 0;
        std::size_t got = 0;
        for (const Extent& x : loc.extents) {
            if (got == size)
                break;
            const std::uint64_t start = loc.base + x.offset;
            if (start < loc.base || start >= source.size())
                break;
            // A length of 0 is the rest of the source.
            const std::uint64_t available = source.size() - start;
            const std::uint64_t length = x.length == 0 ? available : std::min(x.length, available);
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(length, size - got));
            std::memcpy(out + got, source.data() + start, take);
            got += take;
            if (length < x.length)
                break;
        }
        return got;
    }

    std::span<const std::uint8_t> file_;
    std::span<const std::uint8_t> idat_;
    std::map<std::uint32_t, std::uint32_t> types_;
    std::map<std::uint32_t, Location> locations_;
    std::map<std::uint32_t, std::uint64_t> inputs_;
    std::map<std::uint32_t, std::uint32_t> firstInput_;
    std::vector<Box> properties_;
    std::map<std::uint32_t, std::vector<std::uint32_t>> associations_;
};

DecodeError Named(const heif_error& error)
{
    switch (error.code) {
    case heif_error_Ok: return DecodeError::None;
    case heif_error_Input_does_not_exist: return DecodeError::Unrecognised;
    case heif_error_Invalid_input:
        return error.subcode == heif_suberror_End_of_data ? DecodeError::TruncatedInput : DecodeError::BadHeader;
    case heif_error_Unsupported_filetype:
    case heif_error_Unsupported_feature: return DecodeError::Unsupported;
    case heif_error_Memory_allocation_error:
        // The library's limits (ours among them) are named as memory errors too.
        return error.subcode == heif_suberror_Security_limit_exceeded ? DecodeError::TooLarge
                                                                       : DecodeError::OutOfMemory;
    case heif_error_Decoder_plugin_error: return DecodeError::CorruptData;
    default: break;
    }
    return error.subcode == heif_suberror_Security_limit_exceeded ? DecodeError::TooLarge : DecodeError::CorruptData;
}

struct HeifFree {
    void operator()(heif_context* p) const { heif_context_free(p); }
    void operator()(heif_image_handle* p) const { heif_image_handle_release(p); }
    void operator()(heif_image* p) const { heif_image_release(p); }
    void operator()(heif_decoding_options* p) const { heif_decoding_options_free(p); }
};
template <class T>
using HeifPtr = std::unique_ptr<T, HeifFree>;

// The colour description the primary image carries: an ICC profile, or
// primaries and transfer given by number.
PhotoColour Colour(const heif_image_handle* handle)
{
    PhotoColour colour;
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type == heif_color_profile_type_rICC || type == heif_color_profile_type_prof) {
        colour.icc.resize(heif_image_handle_get_raw_color_profile_size(handle));
        if (colour.icc.empty() || heif_image_handle_get_raw_color_profile(handle, colour.icc.data()).code != heif_error_Ok)
            colour.icc.clear();
    }
    heif_color_profile_nclx* nclx = nullptr;
    if (colour.icc.empty() && heif_image_handle_get_nclx_color_profile(handle, &nclx).code == heif_error_Ok && nclx) {
        colour.primaries = nclx->color_primaries;
        colour.transfer = nclx->transfer_characteristics;
    }
    heif_nclx_color_profile_free(nclx);
    return colour;
}

// Opaque pixels from 8-bit red, green and blue planes of the picture's
// size; Unsupported when the library gave anything else.
DecodeError WeavePlanes(const heif_image* image, Image& out)
{
    if (heif_image_get_colorspace(image) != heif_colorspace_RGB ||
        heif_image_get_chroma_format(image) != heif_chroma_444 || heif_image_has_channel(image, heif_channel_Alpha))
        return DecodeError::Unsupported;
    const int width = heif_image_get_width(image, heif_channel_R);
    const int height = heif_image_get_height(image, heif_channel_R);
    std::array<const std::uint8_t*, 3> planes{};
    std::array<int, 3> strides{};
    constexpr std::array<heif_channel, 3> kChannels = {heif_channel_R, heif_channel_G, heif_channel_B};
    for (std::size_t c = 0; c < 3; ++c) {
        if (heif_image_get_bits_per_pixel(image, kChannels[c]) != 8 ||
            heif_image_get_width(image, kChannels[c]) != width || heif_image_get_height(image, kChannels[c]) != height)
            return DecodeError::Unsupported;
        planes[c] = heif_image_get_plane_readonly(image, kChannels[c], &strides[c]);
        if (planes[c] == nullptr || strides[c] < width)
            return DecodeError::Unsupported;
    }
    if (const DecodeError e = AllocateImageUninitialised(out, width, height); e != DecodeError::None)
        return e;
    for (int y = 0; y < height; ++y) {
        const auto row = [&](std::size_t c) {
            return planes[c] + static_cast<std::size_t>(y) * static_cast<std::size_t>(strides[c]);
        };
        const std::uint8_t *r = row(0), *g = row(1), *b = row(2);
        std::uint32_t* to = out.Row(y);
        for (int x = 0; x < width; ++x)
            to[x] = Argb(255, r[x], g[x], b[x]);
    }
    out.opaque = true;
    return DecodeError::None;
}

} // namespace

DecodeError DecodeHeif(std::span<const std::uint8_t> data, Image& out)
{
    out = {};
    if (data.empty())
        return DecodeError::TruncatedInput;
    if (const DecodeError e = DerivedItemCheck(data).Run(); e != DecodeError::None)
        return e;
    HeifPtr<heif_context> context(heif_context_alloc());
    if (!context)
        return DecodeError::OutOfMemory;
    // The library refuses any coded image with a side beyond ours.
    heif_context_set_maximum_image_size_limit(context.get(), static_cast<int>(kMaxPictureSide));
    if (const DecodeError e =
            Named(heif_context_read_from_memory_without_copy(context.get(), data.data(), data.size(), nullptr));
        e != DecodeError::None)
        return e;
    heif_image_handle* rawHandle = nullptr;
    if (const DecodeError e = Named(heif_context_get_primary_image_handle(context.get(), &rawHandle));
        e != DecodeError::None)
        return e;
    HeifPtr<heif_image_handle> handle(rawHandle);
    // Its size after rotation and cropping, as the picture will have it.
    if (const DecodeError e =
            CheckDimensions(heif_image_handle_get_width(handle.get()), heif_image_handle_get_height(handle.get()));
        e != DecodeError::None)
        return e;
    HeifPtr<heif_decoding_options> options(heif_decoding_options_alloc());
    if (!options)
        return DecodeError::OutOfMemory;
    options->convert_hdr_to_8bit = 1;
    // The library turns every picture into planes of red, green and blue
    // before it makes the RGBA it is asked for. A photo (8 bits, no alpha)
    // is taken as those planes and woven into our pixels in one pass; the
    // library's RGBA copy and our copy of that are both saved.
    const bool plain = !heif_image_handle_has_alpha_channel(handle.get()) &&
                       heif_image_handle_get_luma_bits_per_pixel(handle.get()) == 8;
    heif_image* rawImage = nullptr;
    if (const DecodeError e =
            Named(heif_decode_image(handle.get(), &rawImage, plain ? heif_colorspace_undefined : heif_colorspace_RGB,
                                    plain ? heif_chroma_undefined : heif_chroma_interleaved_RGBA, options.get()));
        e != DecodeError::None)
        return e;
    HeifPtr<heif_image> image(rawImage);
    if (plain) {
        if (const DecodeError e = WeavePlanes(image.get(), out); e != DecodeError::Unsupported) {
            if (e == DecodeError::None)
                ConvertToSrgb(out, Colour(handle.get()));
            return e;
        }
        // Planes of another kind (a grey picture): decoded again, into RGBA.
        image.reset();
        rawImage = nullptr;
        if (const DecodeError e = Named(heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                                                          heif_chroma_interleaved_RGBA, options.get()));
            e != DecodeError::None)
            return e;
        image.reset(rawImage);
    }
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* rows = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (rows == nullptr || stride < width * 4)
        return DecodeError::CorruptData;
    if (const DecodeError e = AllocateImageUninitialised(out, width, height); e != DecodeError::None)
        return e;
    for (int y = 0; y < height; ++y)
        RgbaToArgb(rows + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride), out.Row(y),
                   static_cast<std::size_t>(width));
    image.reset();
    ConvertToSrgb(out, Colour(handle.get()));
    return DecodeError::None;
}

} // namespace mugrove
