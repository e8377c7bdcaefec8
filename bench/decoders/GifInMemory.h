#pragma once

// giflib reading from and writing to byte vectors, for the benchmarks.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gif_lib.h>

namespace mugrove::bench {

// EGifOpen's output function; UserData is the std::vector<std::uint8_t>.
inline int WriteToVector(GifFileType* gif, const GifByteType* data, int n)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + n);
    return n;
}

// A GIF89a writer into `file` with a w × h screen and a global table of
// 256 colours (3-3-2 bits of red, green, blue).
inline GifFileType* OpenGifWriter(std::vector<std::uint8_t>& file, int w, int h)
{
    int error = 0;
    GifFileType* gif = EGifOpen(&file, WriteToVector, &error);
    ColorMapObject* map = GifMakeMapObject(256, nullptr);
    for (int i = 0; i < 256; ++i)
        map->Colors[i] = {static_cast<GifByteType>((i & 7) * 36), static_cast<GifByteType>(((i >> 3) & 7) * 36),
                          static_cast<GifByteType>((i >> 6) * 85)};
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, w, h, 8, 0, map); // keeps its own copy
    GifFreeMapObject(map);
    return gif;
}

// DGifOpen's input; UserData is a MemoryInput.
struct MemoryInput {
    const std::vector<std::uint8_t>* file;
    std::size_t pos;
};

inline int ReadFromMemory(GifFileType* gif, GifByteType* out, int n)
{
    auto* in = static_cast<MemoryInput*>(gif->UserData);
    const std::size_t k = std::min(static_cast<std::size_t>(n), in->file->size() - in->pos);
    std::memcpy(out, in->file->data() + in->pos, k);
    in->pos += k;
    return static_cast<int>(k);
}

} // namespace mugrove::bench
