#pragma once

// A saved GIF read back with giflib and played the way viewers play it, so
// the files are checked by a reader that is not ours. The tests and the
// benchmarks both read their GIFs through it.

#include <QByteArray>
#include <QImage>
#include <QRect>

#include <gif_lib.h>

#include <cstring>
#include <functional>
#include <vector>

namespace mugrove::testing {

struct PlayedGif {
    bool ok = false;
    int width = 0, height = 0;
    int loops = -1;              // the looping block's count; -1 when there is none
    std::vector<int> delaysCs;
    std::vector<QRect> rects;    // each image's own rectangle
    std::vector<bool> hasLocalPalette;
    std::vector<QImage> frames;  // RGB32, as shown after each image; empty when each is handed on
};

// Plays `bytes`; with `each`, every frame is handed to it as it is shown
// instead of being kept (a long film's frames need not all be held).
inline PlayedGif PlayGif(const QByteArray& bytes, const std::function<void(const QImage&)>& each = {})
{
    struct Source {
        const QByteArray* bytes;
        qsizetype at = 0;
    } source{&bytes};
    const InputFunc read = [](GifFileType* gif, GifByteType* out, int n) {
        auto* s = static_cast<Source*>(gif->UserData);
        const int available = int(std::min<qsizetype>(n, s->bytes->size() - s->at));
        std::memcpy(out, s->bytes->constData() + s->at, std::size_t(available));
        s->at += available;
        return available;
    };
    PlayedGif played;
    int error = 0;
    GifFileType* gif = DGifOpen(&source, read, &error);
    if (!gif)
        return played;
    if (DGifSlurp(gif) != GIF_OK) {
        DGifCloseFile(gif, &error);
        return played;
    }
    played.width = gif->SWidth;
    played.height = gif->SHeight;
    QImage canvas(played.width, played.height, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    bool good = true;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        for (int e = 0; e + 1 < image.ExtensionBlockCount; ++e) {
            const ExtensionBlock& block = image.ExtensionBlocks[e];
            const ExtensionBlock& next = image.ExtensionBlocks[e + 1];
            if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11
                && std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0 && next.ByteCount == 3 && next.Bytes[0] == 1)
                played.loops = next.Bytes[1] | (next.Bytes[2] << 8);
        }
        GraphicsControlBlock control{};
        control.TransparentColor = NO_TRANSPARENT_COLOR;
        DGifSavedExtensionToGCB(gif, i, &control);
        // Only "leave in place" is expected; anything else is reported by a wrong picture.
        good = good && control.DisposalMode <= DISPOSE_DO_NOT;
        const GifImageDesc& d = image.ImageDesc;
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
        good = good && map && !d.Interlace;
        for (int y = 0; good && y < d.Height; ++y)
            for (int x = 0; x < d.Width; ++x) {
                const int index = image.RasterBits[y * d.Width + x];
                if (index == control.TransparentColor)
                    continue;
                good = good && index < map->ColorCount;
                if (!good)
                    break;
                const GifColorType& c = map->Colors[index];
                canvas.setPixel(d.Left + x, d.Top + y, qRgb(c.Red, c.Green, c.Blue));
            }
        played.delaysCs.push_back(control.DelayTime);
        played.rects.emplace_back(d.Left, d.Top, d.Width, d.Height);
        played.hasLocalPalette.push_back(d.ColorMap != nullptr);
        if (each)
            each(canvas);
        else
            played.frames.push_back(canvas.copy());
    }
    DGifCloseFile(gif, &error);
    played.ok = good;
    return played;
}

} // namespace mugrove::testing
