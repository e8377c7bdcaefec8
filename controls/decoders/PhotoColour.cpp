#include "controls/decoders/PhotoColour.h"

#include "controls/decoders/ColourProfile.h"

namespace mugrove {

void ConvertToSrgb(Image& image, const PhotoColour& colour)
{
    if (image.Empty())
        return;
    // A profile that cannot be used leaves the numbers as sRGB, as no
    // profile would.
    if (!colour.icc.empty())
        ConvertProfileToSrgb(image, colour.icc);
    else
        ConvertCicpToSrgb(image, colour.primaries, colour.transfer);
}

} // namespace mugrove
