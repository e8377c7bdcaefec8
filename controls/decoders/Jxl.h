#pragma once

#include "controls/decoders/Animation.h"
#include "controls/decoders/Image.h"
#include "controls/decoders/PictureBytes.h"

#include <memory>

namespace mugrove {

// A JPEG XL file, bare codestream or container: its still picture the way
// up its own orientation says and in sRGB colours; and, for an animation of
// two frames or more, the player (whose first frame the still picture is).
DecodeError DecodeJxlPicture(std::shared_ptr<const PictureBytes> bytes, Image& still,
                             std::unique_ptr<Animation>& animation);

} // namespace mugrove
