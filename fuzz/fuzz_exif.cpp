// The EXIF reader on any bytes, and the picture turned by what it found.

#include "controls/decoders/Exif.h"
#include "controls/decoders/Orientation.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const int tag = mugrove::ReadExifOrientation({data, size});
    if (tag < 0 || tag > 8)
        __builtin_trap();
    // A small picture of a size the input chooses, each pixel its index.
    const int width = 1 + (size > 0 ? data[0] % 40 : 0), height = 1 + (size > 1 ? data[1] % 40 : 0);
    mugrove::Image image;
    if (mugrove::AllocateImage(image, width, height, 0) != mugrove::DecodeError::None)
        return 0;
    for (std::size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = static_cast<std::uint32_t>(i);
    if (!mugrove::ApplyOrientation(image, tag == 0 ? 1 + (size % 8) : tag))
        return 0;
    // Every pixel is still there once: the index sum is unchanged.
    std::uint64_t sum = 0;
    for (const std::uint32_t p : image.pixels)
        sum += p;
    const std::uint64_t n = image.pixels.size();
    if (sum != n * (n - 1) / 2 || image.width * image.height != static_cast<int>(n))
        __builtin_trap();
    return 0;
}
