// Colour profiles from any bytes: converting a picture of every corner
// and edge of the colour cube, and four-ink rows through a CMYK profile.

#include "controls/decoders/ColourProfile.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> icc(data, size);
    mugrove::Image image;
    if (mugrove::AllocateImage(image, 16, 16, 0) != mugrove::DecodeError::None)
        return 0;
    for (std::size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = (static_cast<std::uint32_t>(i * 0x9E3779B1u) & 0xFFFFFFu) | 0x7F000000u;
    mugrove::ConvertProfileToSrgb(image, icc);
    for (const std::uint32_t p : image.pixels)
        if ((p >> 24) != 0x7F) // alpha is kept
            __builtin_trap();

    std::unique_ptr<mugrove::SrgbConversion> inks;
    if (mugrove::IccConversion(icc, mugrove::SrgbConversion::Input::InvertedInks, inks) && inks) {
        std::uint8_t row[4 * 64];
        for (std::size_t i = 0; i < sizeof row; ++i)
            row[i] = static_cast<std::uint8_t>(i * 37);
        std::uint32_t out[64];
        inks->RunInks(row, out, 64);
        for (const std::uint32_t p : out)
            if ((p >> 24) != 0xFF)
                __builtin_trap();
    }
    return 0;
}
