#include "controls/decoders/PhotoColour.h"

#include "controls/decoders/ColourProfile.h"
#include "controls/decoders/Workers.h"

namespace mugrove {

namespace {

// Pictures above this many pixels are swapped in two halves at once; for
// smaller ones a thread costs more than it saves.
constexpr std::size_t kSplitAbove = std::size_t{1} << 20;

} // namespace

void RgbaToArgbOver(Image& image)
{
    std::uint32_t* p = image.pixels.data();
    RunInHalves(image.pixels.size(), kSplitAbove, [p](std::size_t from, std::size_t to) {
        RgbaToArgb(reinterpret_cast<const std::uint8_t*>(p + from), p + from, to - from);
    });
}

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
