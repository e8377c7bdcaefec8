#pragma once

#include "controls/decoders/ByteReader.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace mugrove {

// Box layouts of the ISO base media file format (HEIF, AVIF, and the clips
// of the same family), read with every length checked against the bytes at
// hand: big-endian fields through BeReader, a box that does not fit ends
// the walk.

struct Box {
    std::uint32_t type = 0;
    std::span<const std::uint8_t> body; // after the size and type fields
    std::size_t offset = 0;             // of the box header within the walked span
};

// Walks the boxes laid one after another in `data`.
class BoxWalker {
public:
    explicit BoxWalker(std::span<const std::uint8_t> data) : data_(data) {}
    bool Next(Box& box);
    // Whether the walk stopped at a box that claims more bytes than remain.
    bool Truncated() const { return truncated_; }

private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    bool truncated_ = false;
};

// The pictures a brand of an `ftyp` box names: HEIF (heic, heix, hevc,
// mif1, msf1), AVIF (avif, avis) or neither (the video brands, isom, mp42,
// qt and the rest). A file whose major brand names pictures is a picture,
// whatever video brands it lists besides.
enum class BrandFamily { None, Heif, Avif };
BrandFamily FamilyOfBrand(std::uint32_t brand);

// What an `ftyp` box at the start of `data` says the file holds: the family
// of its major brand, else AVIF if any compatible brand names it, else HEIF
// if any names that. None when the box is not there whole.
BrandFamily FileBrands(std::span<const std::uint8_t> data);

} // namespace mugrove
