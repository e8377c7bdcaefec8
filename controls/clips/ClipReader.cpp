#include "controls/clips/ClipReader.h"

#include "controls/decoders/ByteReader.h"
#include "controls/decoders/IsoBoxes.h"

#include <algorithm>
#include <iterator>

namespace mugrove {

namespace {

// Brands of the ISO base media family that hold video. HEIF and AVIF
// brands (heic, mif1, avif, ...) are pictures and are not listed.
constexpr std::uint32_t kVideoBrands[] = {
    FourCc("isom"), FourCc("iso2"), FourCc("iso3"), FourCc("iso4"), FourCc("iso5"), FourCc("iso6"),
    FourCc("mp41"), FourCc("mp42"), FourCc("avc1"), FourCc("qt  "), FourCc("M4V "), FourCc("M4VH"),
    FourCc("M4VP"), FourCc("3gp4"), FourCc("3gp5"), FourCc("3gp6"), FourCc("3g2a"), FourCc("dash"),
    FourCc("mmp4"), FourCc("MSNV"), FourCc("f4v "), FourCc("XAVC"), FourCc("av01")};

bool VideoBrand(std::uint32_t brand)
{
    return std::find(std::begin(kVideoBrands), std::end(kVideoBrands), brand) != std::end(kVideoBrands);
}

} // namespace

bool LooksLikeClip(std::span<const std::uint8_t> head)
{
    if (head.size() >= 4 && LoadBe32(head.data()) == 0x1A45DFA3)
        return true;
    // ISO base media: a box of type ftyp first, then the major brand and,
    // after a minor version, the compatible brands.
    if (head.size() < 12 || LoadBe32(head.data() + 4) != FourCc("ftyp"))
        return false;
    const std::uint32_t major = LoadBe32(head.data() + 8);
    if (VideoBrand(major))
        return true;
    // A picture's major brand makes a picture, whatever else it lists.
    if (FamilyOfBrand(major) != BrandFamily::None)
        return false;
    const std::size_t end = std::min<std::size_t>(LoadBe32(head.data()), head.size());
    for (std::size_t at = 16; at + 4 <= end; at += 4)
        if (VideoBrand(LoadBe32(head.data() + at)))
            return true;
    return false;
}

} // namespace mugrove
