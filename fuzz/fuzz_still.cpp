// One target for every decoder of still pictures; the build makes one
// program per decoder, naming it in MUGROVE_FUZZ_DECODER.

#include "controls/decoders/Decoders.h"
#include "controls/decoders/Png.h"

#include <cstddef>
#include <cstdint>

namespace {

template <mugrove::DecodeError (*Decode)(std::span<const std::uint8_t>, mugrove::Image&)>
int FuzzStill(const std::uint8_t* data, std::size_t size)
{
    mugrove::Image image;
    const mugrove::DecodeError e = Decode({data, size}, image);
    // A success must come with a whole picture inside the caps.
    if (e == mugrove::DecodeError::None &&
        (image.width <= 0 || image.height <= 0 ||
         image.pixels.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height)))
        __builtin_trap();
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return FuzzStill<mugrove::MUGROVE_FUZZ_DECODER>(data, size);
}
