#include "controls/decoders/DecodedPicture.h"

#include "controls/decoders/Gif.h"
#include "controls/decoders/PlainDecoders.h"

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
    case ImageKind::Bmp: e = DecodeBmp(data, out.image); break;
    case ImageKind::Jpeg: e = DecodeJpegWith(data, out.image, nullptr); break;
    case ImageKind::Icon:
    case ImageKind::Cursor: e = DecodeIcon(data, out.image); break;
    case ImageKind::Pcx8:
    case ImageKind::Pcx1: e = DecodePcx(data, out.image); break;
    case ImageKind::Gif: e = DecodeGif(Shared(data, shared), out.image, out.animation); break;
    default: break; // read only in a decoder process
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

DecodeError DecodeOwnPicture(const std::shared_ptr<const PictureBytes>& data, DecodedPicture& out)
{
    if (!data) {
        out = {};
        return DecodeError::Unrecognised;
    }
    return Decode(*data, &data, out);
}

DecodeError DecodeOwnPicture(std::span<const std::uint8_t> data, DecodedPicture& out)
{
    return Decode(data, nullptr, out);
}

std::unique_ptr<DecodedPicture> DecodeOwnOrNull(const std::shared_ptr<const PictureBytes>& data)
{
    return DecodedOrNull(data, [](const std::shared_ptr<const PictureBytes>& d, DecodedPicture& out) {
        return DecodeOwnPicture(d, out);
    });
}

} // namespace mugrove
