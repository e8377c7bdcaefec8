#include "output/gif/GifWriter.h"

#include "output/gif/Rgb.h"

#include <gif_lib.h>

#include <algorithm>

namespace mugrove::gif {

namespace {

// giflib hands over a few bytes at a time; the sink gets them in pieces of this size.
constexpr std::size_t kSinkChunk = 64 * 1024;

// A giflib colour map for `used` entries, `colours` first and black after them.
ColorMapObject* MakeColourMap(std::span<const std::uint32_t> colours, int used)
{
    GifColorType table[256] = {};
    for (std::size_t i = 0; i < colours.size() && i < 256; ++i)
        table[i] = {GifByteType(Red(colours[i])), GifByteType(Green(colours[i])), GifByteType(Blue(colours[i]))};
    return GifMakeMapObject(ColourTableSize(used), table);
}

} // namespace

int ColourTableSize(int used)
{
    int size = 2;
    while (size < used)
        size *= 2;
    return size;
}

GifWriter::~GifWriter()
{
    if (gif_) {
        failed_ = true;
        int error = 0;
        EGifCloseFile(gif_, &error);
    }
}

bool GifWriter::Open(int width, int height, int plays, Sink sink, std::span<const std::uint32_t> global)
{
    sink_ = std::move(sink);
    int error = 0;
    gif_ = EGifOpen(this, &GifWriter::Write, &error);
    if (!gif_)
        return false;
    EGifSetGifVersion(gif_, true);
    ColorMapObject* map = nullptr;
    if (!global.empty()) {
        // The transparent index comes after the colours.
        map = MakeColourMap(global, int(global.size()) + 1);
        if (!map)
            return false;
        globalBits_ = map->BitsPerPixel;
    }
    const bool screen = EGifPutScreenDesc(gif_, width, height, 8, 0, map) != GIF_ERROR;
    if (map)
        GifFreeMapObject(map);
    if (!screen)
        return false;
    if (plays == 1)
        return !failed_; // shown once: no looping block
    // The looping block every viewer reads: "NETSCAPE2.0", then sub-block 1
    // with the repeats after the first showing (0 for ever).
    const GifByteType application[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    const int repeats = plays <= 0 ? 0 : std::min(plays - 1, 65535);
    const GifByteType count[] = {1, GifByteType(repeats & 0xFF), GifByteType(repeats >> 8)};
    return EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) != GIF_ERROR
        && EGifPutExtensionBlock(gif_, sizeof application, application) != GIF_ERROR
        && EGifPutExtensionBlock(gif_, sizeof count, count) != GIF_ERROR
        && EGifPutExtensionTrailer(gif_) != GIF_ERROR && !failed_;
}

int GifWriter::StartImage(const QRect& rect, std::span<const std::uint32_t> palette, int transparent, int delayCs,
                          bool local)
{
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSE_DO_NOT; // each frame builds on the last
    control.UserInputFlag = false;
    control.DelayTime = delayCs;
    control.TransparentColor = transparent < 0 ? NO_TRANSPARENT_COLOR : transparent;
    GifByteType extension[4];
    const std::size_t length = EGifGCBToExtension(&control, extension);
    if (EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, int(length), extension) == GIF_ERROR)
        return 0;

    ColorMapObject* map = nullptr;
    if (local) {
        map = MakeColourMap(palette, std::max(int(palette.size()), transparent + 1));
        if (!map)
            return 0;
    }
    // Without a table of its own the image uses the file's.
    const int codeSize = std::max(2, map ? map->BitsPerPixel : globalBits_);
    const bool described =
        EGifPutImageDesc(gif_, rect.x(), rect.y(), rect.width(), rect.height(), false, map) != GIF_ERROR;
    if (map)
        GifFreeMapObject(map); // giflib keeps its own copy
    return described ? codeSize : 0;
}

bool GifWriter::PutIndices(std::uint8_t* indices, const QRect& rect)
{
    const int w = rect.width();
    for (int y = 0; y < rect.height(); ++y)
        if (EGifPutLine(gif_, indices + std::size_t(y) * std::size_t(w), w) == GIF_ERROR)
            return false;
    return true;
}

bool GifWriter::PutCodeBlocks(const std::vector<std::uint8_t>& blocks)
{
    // giflib has written the code size; the codes are given.
    for (std::size_t at = 0; at < blocks.size(); at += std::size_t(blocks[at]) + 1)
        if (EGifPutCodeNext(gif_, blocks[at] ? &blocks[at] : nullptr) == GIF_ERROR)
            return false;
    return true;
}

bool GifWriter::Close()
{
    if (!gif_)
        return false;
    int error = 0;
    const bool closed = EGifCloseFile(gif_, &error) != GIF_ERROR;
    gif_ = nullptr;
    return closed && Flush();
}

int GifWriter::Write(GifFileType* gif, const std::uint8_t* bytes, int count)
{
    auto* self = static_cast<GifWriter*>(gif->UserData);
    if (self->failed_ || count < 0)
        return 0;
    self->pending_.insert(self->pending_.end(), bytes, bytes + count);
    if (self->pending_.size() >= kSinkChunk && !self->Flush())
        return 0;
    return count;
}

bool GifWriter::Flush()
{
    if (failed_)
        return false;
    if (!pending_.empty() && !sink_(pending_))
        failed_ = true;
    handed_ += pending_.size();
    pending_.clear();
    return !failed_;
}

} // namespace mugrove::gif
