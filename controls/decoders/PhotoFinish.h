#pragma once

#include "controls/decoders/Animation.h"
#include "controls/decoders/ColourProfile.h"
#include "controls/decoders/Image.h"

#include <memory>

namespace mugrove {

// What a photo's metadata asks of its decoded pixels: the EXIF
// orientation and the conversion of its colour to sRGB.
struct PhotoFinish {
    int orientation = 1;
    std::shared_ptr<const SrgbConversion> colour; // null: already sRGB

    bool Nothing() const { return (orientation < 2 || orientation > 8) && !colour; }
    // Converts, then turns the picture. False (picture unchanged) when
    // memory runs out.
    bool Apply(Image& image) const;
};

// Plays `inner` with every frame finished as above; the canvas is turned
// with the frames. Returns `inner` itself when there is nothing to do.
std::unique_ptr<Animation> FinishAnimation(std::unique_ptr<Animation> inner, const PhotoFinish& finish);

} // namespace mugrove
