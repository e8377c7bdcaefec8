#include "controls/decoders/IsoBoxes.h"

namespace mugrove {

bool BoxWalker::Next(Box& box)
{
    BeReader r(data_.subspan(pos_));
    std::uint64_t size = r.U32();
    const std::uint32_t type = r.U32();
    std::size_t header = 8;
    if (size == 1) {
        size = r.Uint(8);
        header = 16;
    } else if (size == 0) {
        size = data_.size() - pos_; // to the end of the enclosing span
    }
    if (!r.Ok() || size < header || size > data_.size() - pos_) {
        truncated_ = pos_ < data_.size() && (!r.Ok() || size > data_.size() - pos_);
        return false;
    }
    box.type = type;
    box.offset = pos_;
    box.body = data_.subspan(pos_ + header, static_cast<std::size_t>(size) - header);
    pos_ += static_cast<std::size_t>(size);
    return true;
}

BrandFamily FamilyOfBrand(std::uint32_t brand)
{
    if (brand == FourCc("avif") || brand == FourCc("avis"))
        return BrandFamily::Avif;
    if (brand == FourCc("heic") || brand == FourCc("heix") || brand == FourCc("hevc") || brand == FourCc("mif1") ||
        brand == FourCc("msf1"))
        return BrandFamily::Heif;
    return BrandFamily::None;
}

BrandFamily FileBrands(std::span<const std::uint8_t> data)
{
    BoxWalker walker(data);
    Box ftyp;
    if (!walker.Next(ftyp) || ftyp.type != FourCc("ftyp") || ftyp.body.size() < 8)
        return BrandFamily::None;
    BeReader r(ftyp.body);
    const std::uint32_t major = r.U32();
    r.U32(); // minor version
    if (const BrandFamily f = FamilyOfBrand(major); f != BrandFamily::None)
        return f;
    // An AV1 brand among the compatible ones decides for AVIF even when a
    // structural HEIF brand comes first.
    BrandFamily found = BrandFamily::None;
    while (r.Left() >= 4) {
        const BrandFamily f = FamilyOfBrand(r.U32());
        if (f == BrandFamily::Avif)
            return f;
        if (f == BrandFamily::Heif)
            found = f;
    }
    return found;
}

} // namespace mugrove
