#include "controls/decoders/DecodedPicture.h"

#include "controls/decoders/Decoders.h"

namespace mugrove {

DecodeError DecodePicture(std::span<const std::uint8_t> data, DecodedPicture& out)
{
    out = {};
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
    if (e != DecodeError::None) {
        out = {};
        return e;
    }
    out.kind = kind;
    return DecodeError::None;
}

} // namespace mugrove
