#include "controls/decoders/DecodedPicture.h"

#include "controls/decoders/Decoders.h"
#include "controls/decoders/Png.h"
#include "controls/decoders/Webp.h"

#include <new>

namespace mugrove {

namespace {

DecodeError DecodeByKind(std::span<const std::uint8_t> data, DecodedPicture& out)
{
    const ImageKind kind = DetectImageKind(data);
    DecodeError e = DecodeError::Unrecognised;
    switch (kind) {
    case ImageKind::Unrecognised: break;
    case ImageKind::Bmp: e = DecodeBmp(data, out.image); break;
    case ImageKind::Jpeg: e = DecodeJpeg(data, out.image); break;
    case ImageKind::Icon:
    case ImageKind::Cursor: e = DecodeIcon(data, out.image); break;
    case ImageKind::Pcx8:
    case ImageKind::Pcx1: e = DecodePcx(data, out.image); break;
    case ImageKind::Png: e = DecodePng(data, out.image); break;
    case ImageKind::Webp: {
        // An animated WebP shows its first frame until it plays.
        std::unique_ptr<Animation> player;
        e = DecodeWebpPicture(std::make_shared<const PictureBytes>(data.begin(), data.end()), out.image, player);
        break;
    }
    case ImageKind::Gif: {
        auto animation = std::make_unique<GifAnimation>();
        e = DecodeGif(data, *animation);
        if (e == DecodeError::None) {
            out.image = ComposeFirstFrame(*animation);
            if (animation->frames.size() > 1)
                out.animation = std::move(animation);
        }
        break;
    }
    }
    if (e == DecodeError::None)
        out.kind = kind;
    return e;
}

} // namespace

DecodeError DecodePicture(std::span<const std::uint8_t> data, DecodedPicture& out)
{
    out = {};
    DecodeError e = DecodeError::TooLarge;
    try {
        e = DecodeByKind(data, out);
    } catch (const std::bad_alloc&) {
        // Memory within the caps that the system could not give.
    }
    if (e != DecodeError::None)
        out = {};
    return e;
}

} // namespace mugrove
