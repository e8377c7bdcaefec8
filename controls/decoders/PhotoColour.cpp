#include "controls/decoders/PhotoColour.h"

#include "controls/decoders/ColourProfile.h"

#include <exception>
#include <thread>

namespace mugrove {

void RgbaToArgbOver(Image& image)
{
    constexpr std::size_t kSplitAbove = std::size_t{1} << 20;
    std::uint32_t* p = image.pixels.data();
    const std::size_t count = image.pixels.size();
    const auto swap = [p](std::size_t from, std::size_t to) {
        RgbaToArgb(reinterpret_cast<const std::uint8_t*>(p + from), p + from, to - from);
    };
    if (count > kSplitAbove) {
        const std::size_t half = count / 2;
        try {
            std::thread second([&] { swap(half, count); });
            swap(0, half);
            second.join();
            return;
        } catch (const std::exception&) {
            // No thread to be had (or no memory for one): all of it here.
        }
    }
    swap(0, count);
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
