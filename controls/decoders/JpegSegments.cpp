#include "controls/decoders/JpegSegments.h"

#include "controls/decoders/Exif.h"

#include <array>
#include <cstring>
#include <new>

namespace mugrove {

namespace {

constexpr int kExifMarker = JPEG_APP0 + 1;
constexpr int kIccMarker = JPEG_APP0 + 2;

bool Starts(const jpeg_marker_struct& m, const char* tag, std::size_t length)
{
    return m.data_length >= length && std::memcmp(m.data, tag, length) == 0;
}

} // namespace

void KeepSegments(jpeg_decompress_struct& info)
{
    jpeg_save_markers(&info, kExifMarker, 0xFFFF);
    jpeg_save_markers(&info, kIccMarker, 0xFFFF);
}

void ReadSegments(const jpeg_decompress_struct& info, int& orientation, std::vector<std::uint8_t>& icc) noexcept
{
    constexpr std::size_t kIccHead = 14; // "ICC_PROFILE\0", part number, part count
    bool exifSeen = false;
    std::array<const jpeg_marker_struct*, 256> parts{};
    int count = 0;
    bool broken = false;
    for (const jpeg_marker_struct* m = info.marker_list; m != nullptr; m = m->next) {
        if (m->marker == kExifMarker && !exifSeen && Starts(*m, "Exif\0\0", 6)) {
            exifSeen = true;
            const int tag = ReadExifOrientation({m->data, m->data_length});
            orientation = tag == 0 ? 1 : tag;
        } else if (m->marker == kIccMarker && Starts(*m, "ICC_PROFILE\0", 12) && m->data_length >= kIccHead) {
            const int part = m->data[12], of = m->data[13];
            if (part == 0 || part > of || (count != 0 && of != count) || parts[static_cast<std::size_t>(part)] != nullptr)
                broken = true;
            else
                parts[static_cast<std::size_t>(part)] = m;
            count = of;
        }
    }
    icc.clear();
    if (broken || count == 0)
        return;
    try {
        for (int part = 1; part <= count; ++part) {
            const jpeg_marker_struct* m = parts[static_cast<std::size_t>(part)];
            if (m == nullptr) {
                icc.clear();
                return;
            }
            icc.insert(icc.end(), m->data + kIccHead, m->data + m->data_length);
        }
    } catch (const std::bad_alloc&) {
        icc.clear(); // shown as sRGB
    }
}

} // namespace mugrove
