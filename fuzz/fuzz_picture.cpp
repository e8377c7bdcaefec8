#include "controls/decoders/Decoders.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    mugrove::DecodedPicture picture;
    const mugrove::DecodeError e = mugrove::DecodePictureInProcess({data, size}, picture);
    if ((e == mugrove::DecodeError::None) != (picture.kind != mugrove::ImageKind::Unrecognised))
        __builtin_trap();
    if (e == mugrove::DecodeError::None && picture.image.Empty())
        __builtin_trap();
    return 0;
}
