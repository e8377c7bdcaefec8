#pragma once

#include "controls/decoders/Animation.h"
#include "controls/decoders/ClipSource.h"
#include "controls/decoders/Image.h"
#include "controls/decoders/ImageKind.h"
#include "controls/decoders/PictureBytes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace mugrove {

// The decoded form of one picture file: its kind, the still picture (for an
// animation, its first frame composed at the canvas size) and, for a
// picture of more than one frame, the player that shows them in turn.
struct DecodedPicture {
    ImageKind kind = ImageKind::Unrecognised;
    Image image;
    std::unique_ptr<Animation> animation; // only with two frames or more
    std::optional<ShownClip> clip;        // only for a video clip

    int Width() const { return image.width; }
    int Height() const { return image.height; }
    bool Animated() const { return animation != nullptr; }
};

// Our own pictures, decoded in the program without a decoder process: the
// built-in templates, the work area's snapshots, the files the program
// wrote. Only the kinds PlainDecoders.h reads (BMP, icons and cursors, PCX,
// GIF, JPEG); a JPEG's embedded colour profile is not applied (ours carry
// none). Recognised by the leading bytes; an animation keeps the bytes it
// plays from: the shared form lends them, the span form copies them.
DecodeError DecodeOwnPicture(const std::shared_ptr<const PictureBytes>& data, DecodedPicture& out);
DecodeError DecodeOwnPicture(std::span<const std::uint8_t> data, DecodedPicture& out);

// The decoded form of our own shared bytes; null when they are empty or
// hold no picture read here.
std::unique_ptr<DecodedPicture> DecodeOwnOrNull(const std::shared_ptr<const PictureBytes>& data);

// The decoded form of `data` by `decode` (any of the DecodePicture kinds);
// null when the bytes are empty or hold no picture.
template <class Decode>
std::unique_ptr<DecodedPicture> DecodedOrNull(const std::shared_ptr<const PictureBytes>& data, Decode decode)
{
    if (!data || data->empty())
        return nullptr;
    auto decoded = std::make_unique<DecodedPicture>();
    if (decode(data, *decoded) != DecodeError::None)
        return nullptr;
    return decoded;
}

} // namespace mugrove
