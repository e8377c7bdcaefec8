#pragma once

#include "controls/decoders/Animation.h"
#include "controls/decoders/Image.h"
#include "controls/decoders/PictureBytes.h"

#include <memory>

namespace mugrove {

// An AVIF file: its still picture, turned and mirrored as its rotation and
// mirror properties say and in sRGB colours; and, for an image sequence of
// two frames or more, the player (whose first frame the still picture is).
DecodeError DecodeAvifPicture(std::shared_ptr<const PictureBytes> bytes, Image& still,
                              std::unique_ptr<Animation>& animation);

// The EXIF orientation (1 to 8) that does what a rotation by quarter turns
// anticlockwise (0 to 3) and then a mirror do; mirror 0 swaps top and
// bottom, 1 left and right, anything else is no mirror.
int OrientationOfTransforms(int quarterTurns, int mirror);

} // namespace mugrove
