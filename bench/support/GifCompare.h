#pragma once

// Reading a saved GIF back as viewers play it, against the frames it was
// made from (a stream of binary PPMs), for the benchmarks that weigh our GIFs
// against another encoder's.

#include <QFile>
#include <QString>

#include <gif_lib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace mugrove::bench {

struct Compared {
    double error = -1;
    int frames = 0;
    int runningCs = 0;
};

// Plays the GIF as viewers do, comparing each frame with the next of the
// PPM stream: the mean absolute difference per colour channel.
inline Compared CompareGifWithFrames(const QString& gifPath, const QString& ppmPath)
{
    Compared result;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(QFile::encodeName(gifPath).constData(), &error);
    if (!gif || DGifSlurp(gif) != GIF_OK)
        return result;
    std::FILE* in = std::fopen(QFile::encodeName(ppmPath).constData(), "rb");
    std::vector<std::uint8_t> canvas(std::size_t(gif->SWidth) * std::size_t(gif->SHeight) * 3, 0), want(canvas.size());
    double total = 0;
    std::size_t samples = 0;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        GraphicsControlBlock control{};
        control.TransparentColor = NO_TRANSPARENT_COLOR;
        DGifSavedExtensionToGCB(gif, i, &control);
        result.runningCs += control.DelayTime;
        const GifImageDesc& d = image.ImageDesc;
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
        for (int y = 0; y < d.Height; ++y)
            for (int x = 0; x < d.Width; ++x) {
                const int index = image.RasterBits[y * d.Width + x];
                if (index == control.TransparentColor || index >= map->ColorCount)
                    continue;
                std::uint8_t* p = &canvas[(std::size_t(d.Top + y) * std::size_t(gif->SWidth) + std::size_t(d.Left + x)) * 3];
                p[0] = map->Colors[index].Red;
                p[1] = map->Colors[index].Green;
                p[2] = map->Colors[index].Blue;
            }
        int w = 0, h = 0, maxval = 0;
        if (std::fscanf(in, "P6 %d %d %d", &w, &h, &maxval) != 3 || std::fgetc(in) == EOF
            || std::fread(want.data(), 1, want.size(), in) != want.size())
            break;
        for (std::size_t k = 0; k < want.size(); ++k)
            total += std::abs(int(canvas[k]) - int(want[k]));
        samples += want.size();
    }
    result.frames = gif->ImageCount;
    std::fclose(in);
    DGifCloseFile(gif, &error);
    result.error = samples ? total / double(samples) : -1;
    return result;
}

} // namespace mugrove::bench
