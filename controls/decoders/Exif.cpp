#include "controls/decoders/Exif.h"

#include "controls/decoders/ByteReader.h"

#include <cstring>

namespace mugrove {

namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kShort = 3;
constexpr std::uint16_t kLong = 4;

// Reads in the block's own byte order; every offset is checked by the caller.
struct Order {
    bool big;
    std::uint32_t U16(const std::uint8_t* p) const { return big ? LoadBe16(p) : LoadU16(p); }
    std::uint32_t U32(const std::uint8_t* p) const { return big ? LoadBe32(p) : LoadU32(p); }
};

} // namespace

int ReadExifOrientation(std::span<const std::uint8_t> exif)
{
    if (exif.size() >= 6 && std::memcmp(exif.data(), "Exif\0\0", 6) == 0)
        exif = exif.subspan(6);
    if (exif.size() < 8)
        return 0;
    Order order{};
    if (std::memcmp(exif.data(), "II*\0", 4) == 0)
        order.big = false;
    else if (std::memcmp(exif.data(), "MM\0*", 4) == 0)
        order.big = true;
    else
        return 0;
    // The tag lives in the first directory, which describes the main
    // picture; later ones (the thumbnail's) are never followed, so a chain
    // that loops or points outside costs nothing.
    const std::uint64_t ifd = order.U32(exif.data() + 4);
    if (ifd < 8 || ifd + 2 > exif.size())
        return 0;
    const std::uint64_t count = order.U16(exif.data() + ifd);
    const std::uint64_t first = ifd + 2;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t at = first + 12 * i;
        if (at + 12 > exif.size())
            return 0; // the directory runs past the block
        const std::uint8_t* entry = exif.data() + at;
        if (order.U16(entry) != kOrientationTag)
            continue;
        const std::uint32_t type = order.U16(entry + 2);
        if (order.U32(entry + 4) != 1)
            return 0;
        // A single value sits in the entry itself, at its first bytes.
        const std::uint32_t value = type == kShort ? order.U16(entry + 8) : type == kLong ? order.U32(entry + 8) : 0;
        return value >= 1 && value <= 8 ? static_cast<int>(value) : 0;
    }
    return 0;
}

} // namespace mugrove
