#include "controls/decoders/Decoders.h"

#include "controls/decoders/Avif.h"
#include "controls/decoders/ColourProfile.h"
#include "controls/decoders/Gif.h"
#include "controls/decoders/Jxl.h"
#include "controls/decoders/Png.h"
#include "controls/decoders/Webp.h"

#include <new>

namespace mugrove {

namespace {

// `shared` holds the same bytes as `data` when the caller has them shared;
// otherwise an animation gets its own copy.
std::shared_ptr<const PictureBytes> Shared(std::span<const std::uint8_t> data,
                                           const std::shared_ptr<const PictureBytes>* shared)
{
    return shared != nullptr ? *shared : std::make_shared<const PictureBytes>(data.begin(), data.end());
}

DecodeError DecodeByKind(std::span<const std::uint8_t> data, const std::shared_ptr<const PictureBytes>* shared,
                         DecodedPicture& out)
{
    const ImageKind kind = DetectImageKind(data);
    DecodeError e = DecodeError::Unrecognised;
    switch (kind) {
    case ImageKind::Unrecognised:
    case ImageKind::Clip: break; // read from its file by the clip reader
    case ImageKind::Bmp: e = DecodeBmp(data, out.image); break;
    case ImageKind::Jpeg: e = DecodeJpeg(data, out.image); break;
    case ImageKind::Icon:
    case ImageKind::Cursor: e = DecodeIcon(data, out.image); break;
    case ImageKind::Pcx8:
    case ImageKind::Pcx1: e = DecodePcx(data, out.image); break;
    case ImageKind::Png: e = DecodePng(data, out.image); break;
    case ImageKind::Webp: e = DecodeWebpPicture(Shared(data, shared), out.image, out.animation); break;
    case ImageKind::Gif: e = DecodeGif(Shared(data, shared), out.image, out.animation); break;
    case ImageKind::Heif: e = DecodeHeif(data, out.image); break;
    case ImageKind::Avif: e = DecodeAvifPicture(Shared(data, shared), out.image, out.animation); break;
    case ImageKind::Jxl: e = DecodeJxlPicture(Shared(data, shared), out.image, out.animation); break;
    }
    if (e == DecodeError::None)
        out.kind = kind;
    return e;
}

DecodeError Decode(std::span<const std::uint8_t> data, const std::shared_ptr<const PictureBytes>* shared,
                   DecodedPicture& out)
{
    out = {};
    DecodeError e = DecodeError::OutOfMemory;
    try {
        e = DecodeByKind(data, shared, out);
    } catch (const std::bad_alloc&) {
        // Memory within the caps that the system could not give.
    }
    if (e != DecodeError::None)
        out = {};
    return e;
}

} // namespace

DecodeError DecodeJpeg(std::span<const std::uint8_t> data, Image& out)
{
    return DecodeJpegWith(data, out, IccConversion);
}

DecodeError DecodePictureInProcess(const std::shared_ptr<const PictureBytes>& data, DecodedPicture& out)
{
    if (!data) {
        out = {};
        return DecodeError::Unrecognised;
    }
    return Decode(*data, &data, out);
}

DecodeError DecodePictureInProcess(std::span<const std::uint8_t> data, DecodedPicture& out)
{
    return Decode(data, nullptr, out);
}

std::unique_ptr<DecodedPicture> DecodeOrNullInProcess(const std::shared_ptr<const PictureBytes>& data)
{
    return DecodedOrNull(data, [](const std::shared_ptr<const PictureBytes>& d, DecodedPicture& out) {
        return DecodePictureInProcess(d, out);
    });
}

} // namespace mugrove
