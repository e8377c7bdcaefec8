#pragma once

#include "controls/decoders/Gif.h"
#include "controls/decoders/Image.h"
#include "controls/decoders/ImageKind.h"

#include <cstdint>
#include <memory>
#include <span>

namespace mugrove {

// The decoded form of one picture file: its kind, the still picture (for a
// GIF, its first frame composed at the logical screen size) and, for a GIF
// of more than one frame, the frames to play.
struct DecodedPicture {
    ImageKind kind = ImageKind::Unrecognised;
    Image image;
    std::unique_ptr<GifAnimation> animation; // only with two frames or more

    int Width() const { return image.width; }
    int Height() const { return image.height; }
    bool Animated() const { return animation != nullptr; }
};

// Recognises the data by its leading bytes and decodes it by kind.
DecodeError DecodePicture(std::span<const std::uint8_t> data, DecodedPicture& out);

} // namespace mugrove
