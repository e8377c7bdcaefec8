#pragma once

#include "controls/decoders/PictureBytes.h"

#include <cstddef>
#include <cstdint>

namespace mugrove {

enum class PixelOrder { Rgb, Bgr }; // 3 bytes per pixel

// Rows of 3-byte pixels to encode. `stride` may be negative: a bottom-up
// picture starts at its last stored row and steps back.
struct PixelRows {
    const std::uint8_t* topRow = nullptr; // not owned
    std::ptrdiff_t stride = 0;
    int width = 0;
    int height = 0;
    PixelOrder order = PixelOrder::Rgb;
};

// Baseline JPEG with every channel at full resolution, so thin caption
// strokes keep their colour. Empty on any encoder error.
PictureBytes EncodeJpeg(const PixelRows& rows, int quality);

// The picture of a snapshot (our 24-bit BMP) as such a JPEG, read straight
// from the BMP rows. Empty when the bytes are not a snapshot.
PictureBytes EncodeSnapshotAsJpeg(const PictureBytes& snapshot, int quality = 95);

} // namespace mugrove
