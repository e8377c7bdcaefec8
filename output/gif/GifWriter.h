#pragma once

// The GIF file itself, written through giflib: the header and looping block,
// each image's control block, descriptor and colour table, and its pixels as
// giflib's LZW codes or as codes made elsewhere.

#include <QRect>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

struct GifFileType;

namespace mugrove::gif {

// Takes the file piece by piece, in order; false stops the writing.
using Sink = std::function<bool(std::span<const std::uint8_t>)>;

// The colour table that holds `used` entries: a power of two, at least 2.
int ColourTableSize(int used);

class GifWriter {
public:
    GifWriter() = default;
    ~GifWriter(); // an unfinished file is abandoned: nothing more goes out
    GifWriter(const GifWriter&) = delete;
    GifWriter& operator=(const GifWriter&) = delete;

    // The header of a width × height animation shown `plays` times (0 for
    // ever); `global` (0xRRGGBB, may be empty) becomes the file's colour
    // table, with room after it for a transparent index.
    bool Open(int width, int height, int plays, Sink sink, std::span<const std::uint32_t> global);
    bool IsOpen() const { return gif_ != nullptr; }
    // Whether any part of the file could not be handed on.
    bool Failed() const { return failed_; }

    // Starts an image over `rect`, shown for `delayCs` and left in place, with
    // `palette` as its own colour table (`local`) or the file's. The LZW code
    // size its pixels must be coded with, or 0 when it could not be written.
    int StartImage(const QRect& rect, std::span<const std::uint32_t> palette, int transparent, int delayCs,
                   bool local);
    // The image's pixels, rect.width() a row, coded by giflib.
    bool PutIndices(std::uint8_t* indices, const QRect& rect); // not changed: giflib's signature
    // The image's pixels as finished LZW sub-blocks (each with its length
    // byte first, the empty block last).
    bool PutCodeBlocks(const std::vector<std::uint8_t>& blocks);

    // The bytes of the file so far, handed to the sink or not yet.
    std::size_t Size() const { return handed_ + pending_.size(); }
    // Ends the file. False when any part of it could not be written.
    bool Close();

private:
    static int Write(GifFileType* gif, const std::uint8_t* bytes, int count);
    bool Flush();

    GifFileType* gif_ = nullptr;
    Sink sink_;
    std::vector<std::uint8_t> pending_; // bytes not yet handed to the sink
    std::size_t handed_ = 0;
    bool failed_ = false;
    int globalBits_ = 0; // bits a pixel of the file's colour table
};

} // namespace mugrove::gif
