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

// Recognises the data by its leading bytes and decodes it by kind. An
// animation keeps the bytes it plays from: the shared form lends them,
// the span form copies them.
DecodeError DecodePictureInProcess(const std::shared_ptr<const PictureBytes>& data, DecodedPicture& out);
DecodeError DecodePictureInProcess(std::span<const std::uint8_t> data, DecodedPicture& out);

// The decoded form of shared bytes; null when they are empty or hold no picture.
std::unique_ptr<DecodedPicture> DecodeOrNullInProcess(const std::shared_ptr<const PictureBytes>& data);

} // namespace mugrove
