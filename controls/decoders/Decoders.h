#pragma once

// Every decoder, those over codec libraries too: for the decoder process,
// the tests and the benchmarks. The program itself decodes only its own
// pictures (DecodeOwnPicture in DecodedPicture.h).

#include "controls/decoders/DecodedPicture.h"
#include "controls/decoders/PlainDecoders.h"

#include <cstdint>
#include <memory>
#include <span>

namespace mugrove {

// A JPEG the right way up and in sRGB by its embedded profile.
DecodeError DecodeJpeg(std::span<const std::uint8_t> data, Image& out);
// The primary image of a HEIF file (HEVC, or any coding the library reads),
// cropped, turned and mirrored as its properties say, in sRGB colours.
DecodeError DecodeHeif(std::span<const std::uint8_t> data, Image& out);

// Recognises the data by its leading bytes and decodes it by kind, with
// every decoder, in this process. An animation keeps the bytes it plays
// from: the shared form lends them, the span form copies them.
DecodeError DecodePictureInProcess(const std::shared_ptr<const PictureBytes>& data, DecodedPicture& out);
DecodeError DecodePictureInProcess(std::span<const std::uint8_t> data, DecodedPicture& out);

// The decoded form of shared bytes; null when they are empty or hold no picture.
std::unique_ptr<DecodedPicture> DecodeOrNullInProcess(const std::shared_ptr<const PictureBytes>& data);

} // namespace mugrove
