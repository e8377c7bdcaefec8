#include "controls/decoders/ImageKind.h"

#include "controls/decoders/ByteReader.h"
#include "controls/decoders/IsoBoxes.h"

#include <string_view>

namespace mugrove {

namespace {

unsigned Word(std::span<const std::uint8_t> d, std::size_t i)
{
    return LoadU16(d.data() + 2 * i);
}

bool Starts(std::span<const std::uint8_t> d, std::string_view text, std::size_t at = 0)
{
    for (std::size_t i = 0; i < text.size(); ++i)
        if (at + i >= d.size() || d[at + i] != static_cast<std::uint8_t>(text[i]))
            return false;
    return true;
}

} // namespace

ImageKind DetectImageKind(std::span<const std::uint8_t> d)
{
    if (d.size() < 6)
        return ImageKind::Unrecognised;
    // The order matters: the first test that holds wins.
    if (d[0] == 'B' && d[1] == 'M')
        return ImageKind::Bmp;
    if (d[0] == 0xFF && d[1] == 0xD8)
        return ImageKind::Jpeg;
    if (Word(d, 0) == 0 && Word(d, 1) == 1 && Word(d, 2) > 0)
        return ImageKind::Icon;
    if (Word(d, 0) == 0 && Word(d, 1) == 2 && Word(d, 2) > 0)
        return ImageKind::Cursor;
    if (Starts(d, "GIF87a") || Starts(d, "GIF89a"))
        return ImageKind::Gif;
    if (d[0] == 0x0A && d[1] <= 5 && d[2] == 1 && d[3] == 8)
        return ImageKind::Pcx8;
    if (d[0] == 0x0A && d[1] == 3 && d[2] == 1 && d[3] == 1)
        return ImageKind::Pcx1;
    if (Starts(d, "\x89PNG\r\n\x1A\n"))
        return ImageKind::Png;
    // A RIFF container whose form type, after the 4-byte size, is WEBP.
    if (Starts(d, "RIFF") && Starts(d, "WEBP", 8))
        return ImageKind::Webp;
    // An ISO base media file whose brands name a still-image format; video
    // brands alone are no picture of ours.
    switch (FileBrands(d)) {
    case BrandFamily::Heif: return ImageKind::Heif;
    case BrandFamily::Avif: return ImageKind::Avif;
    case BrandFamily::None: break;
    }
    // A bare codestream, or the container that wraps one.
    if (d[0] == 0xFF && d[1] == 0x0A)
        return ImageKind::Jxl;
    if (Starts(d, std::string_view("\0\0\0\x0CJXL \r\n\x87\n", 12)))
        return ImageKind::Jxl;
    return ImageKind::Unrecognised;
}

} // namespace mugrove
