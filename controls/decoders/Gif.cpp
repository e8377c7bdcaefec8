#include "controls/decoders/Gif.h"

#include "controls/decoders/ByteReader.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace mugrove {

namespace {

constexpr int kMaxCodes = 4096;

// Frame rows in the order the stream delivers them: straight down, or the
// four interlace passes (every 8th row from 0, every 8th from 4, every 4th
// from 2, every 2nd from 1).
class RowOrder {
public:
    RowOrder(int height, bool interlaced) : height_(height), interlaced_(interlaced) { Settle(); }
    int Row() const { return row_; }
    bool Done() const { return row_ >= height_; }
    void Next()
    {
        row_ += interlaced_ ? kStep[pass_] : 1;
        Settle();
    }

private:
    void Settle()
    {
        while (interlaced_ && row_ >= height_ && pass_ < 3) {
            ++pass_;
            row_ = kStart[pass_];
        }
    }
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    int height_;
    bool interlaced_;
    int pass_ = 0;
    int row_ = 0;
};

// Where stream row `s` of an interlaced frame lands is RowOrder; this is the
// inverse: the stream position of image row y.
std::uint64_t StreamRow(int y, int height, bool interlaced)
{
    if (!interlaced)
        return static_cast<std::uint64_t>(y);
    const int n1 = (height + 7) / 8, n2 = (height + 3) / 8, n3 = (height + 1) / 4;
    if (y % 8 == 0)
        return static_cast<std::uint64_t>(y / 8);
    if (y % 8 == 4)
        return static_cast<std::uint64_t>(n1 + y / 8);
    if (y % 4 == 2)
        return static_cast<std::uint64_t>(n1 + n2 + y / 4);
    return static_cast<std::uint64_t>(n1 + n2 + n3 + y / 2);
}

// Collects a chain of data sub-blocks. False when the file ends inside it.
bool ReadSubBlocks(ByteReader& r, std::vector<std::uint8_t>* into)
{
    for (;;) {
        std::uint8_t size = 0;
        if (!r.U8(size))
            return false;
        if (size == 0)
            return true;
        std::span<const std::uint8_t> bytes;
        if (!r.Bytes(size, bytes))
            return false;
        if (into != nullptr)
            into->insert(into->end(), bytes.begin(), bytes.end());
    }
}

// Decompresses one frame's LZW data into its (clipped) index rows. Stops
// at the end code, at the end of the data, at a code that cannot occur, or
// when the frame is full; returns the number of pixels delivered. A full
// code table keeps decoding with the table as it is until a clear code.
std::uint64_t DecompressFrame(const std::vector<std::uint8_t>& lzw, int minCodeSize, GifFrame& f)
{
    struct Table {
        std::array<std::uint16_t, kMaxCodes> prefix;
        std::array<std::uint8_t, kMaxCodes> suffix;
        std::array<std::uint8_t, kMaxCodes> first;
        std::array<std::uint16_t, kMaxCodes> length;
    };
    static thread_local Table t;
    static thread_local std::array<std::uint8_t, kMaxCodes> text;

    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    for (int i = 0; i < clear; ++i) {
        t.prefix[static_cast<std::size_t>(i)] = 0;
        t.suffix[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
        t.first[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
        t.length[static_cast<std::size_t>(i)] = 1;
    }
    int codeSize = minCodeSize + 1;
    int next = clear + 2;
    int prev = -1;

    const std::uint64_t total = static_cast<std::uint64_t>(f.width) * static_cast<std::uint64_t>(f.height);
    std::uint64_t delivered = 0;
    RowOrder rows(f.height, f.interlaced);
    int x = 0;
    std::uint8_t* rowPtr = nullptr;
    const auto rowStart = [&] {
        const int y = rows.Row();
        rowPtr = y < f.clipHeight && f.clipWidth > 0
                     ? f.indices.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(f.clipWidth)
                     : nullptr;
    };
    rowStart();
    const auto deliver = [&](const std::uint8_t* s, int n) {
        while (n > 0 && delivered < total) {
            const int chunk = std::min(n, f.width - x);
            if (rowPtr != nullptr && x < f.clipWidth)
                std::memcpy(rowPtr + x, s, static_cast<std::size_t>(std::min(chunk, f.clipWidth - x)));
            x += chunk;
            s += chunk;
            n -= chunk;
            delivered += static_cast<std::uint64_t>(chunk);
            if (x == f.width) {
                x = 0;
                rows.Next();
                if (!rows.Done())
                    rowStart();
            }
        }
    };

    std::size_t pos = 0;
    std::uint32_t acc = 0;
    int bits = 0;
    const std::size_t size = lzw.size();
    while (delivered < total) {
        while (bits < codeSize && pos < size) {
            acc |= static_cast<std::uint32_t>(lzw[pos++]) << bits;
            bits += 8;
        }
        if (bits < codeSize)
            break; // data ran out
        const int code = static_cast<int>(acc & ((1u << codeSize) - 1));
        acc >>= codeSize;
        bits -= codeSize;

        if (code == clear) {
            codeSize = minCodeSize + 1;
            next = clear + 2;
            prev = -1;
            continue;
        }
        if (code == end)
            break;
        if (prev < 0) {
            if (code > clear)
                break; // a first code must be a plain colour
            const std::uint8_t c = static_cast<std::uint8_t>(code);
            deliver(&c, 1);
            prev = code;
            continue;
        }
        int out = code;
        std::uint8_t tail = 0;
        if (code < next) {
            tail = t.first[static_cast<std::size_t>(code)];
        } else if (code == next && next < kMaxCodes) {
            tail = t.first[static_cast<std::size_t>(prev)];
            out = -1; // the new entry itself
        } else {
            break; // a code beyond the table
        }
        if (next < kMaxCodes) {
            const auto n = static_cast<std::size_t>(next);
            t.prefix[n] = static_cast<std::uint16_t>(prev);
            t.suffix[n] = tail;
            t.first[n] = t.first[static_cast<std::size_t>(prev)];
            t.length[n] = static_cast<std::uint16_t>(t.length[static_cast<std::size_t>(prev)] + 1);
            ++next;
            if (next == (1 << codeSize) && codeSize < 12)
                ++codeSize;
        }
        if (out < 0)
            out = next - 1;
        // Strings are written backwards from their last character: straight
        // into the row when they fit in its stored part, else through a
        // buffer that spreads them over rows.
        const int len = t.length[static_cast<std::size_t>(out)];
        const bool direct = rowPtr != nullptr && x + len <= f.clipWidth &&
                            delivered + static_cast<std::uint64_t>(len) <= total;
        std::uint8_t* const base = direct ? rowPtr + x : text.data();
        std::uint8_t* p = base + len;
        int c = out;
        while (p > base) {
            *--p = t.suffix[static_cast<std::size_t>(c)];
            c = t.prefix[static_cast<std::size_t>(c)];
        }
        if (direct) {
            x += len;
            delivered += static_cast<std::uint64_t>(len);
            if (x == f.width) {
                x = 0;
                rows.Next();
                if (!rows.Done())
                    rowStart();
            }
        } else {
            deliver(text.data(), len);
        }
        prev = code;
    }
    return delivered;
}

std::vector<std::uint32_t> ReadColourTable(std::span<const std::uint8_t> bytes)
{
    std::vector<std::uint32_t> palette(256, kOpaqueBlack);
    for (std::size_t i = 0; i * 3 + 2 < bytes.size() && i < 256; ++i)
        palette[i] = Argb(255, bytes[i * 3], bytes[i * 3 + 1], bytes[i * 3 + 2]);
    return palette;
}

} // namespace

// A truncated file keeps the frames completed before the data ran out; the
// frame that was cut is dropped, and with no complete frame there is no
// picture. Within a complete frame, compressed data that ends before the
// last pixel leaves the remaining pixels transparent. An unknown block ends
// the picture in the same way.
DecodeError DecodeGif(std::span<const std::uint8_t> data, GifAnimation& out)
{
    out = {};
    ByteReader r(data);
    std::span<const std::uint8_t> signature;
    if (!r.Bytes(6, signature))
        return DecodeError::TruncatedInput;
    if (std::memcmp(signature.data(), "GIF87a", 6) != 0 && std::memcmp(signature.data(), "GIF89a", 6) != 0)
        return DecodeError::BadHeader;
    std::uint16_t width = 0, height = 0;
    std::uint8_t flags = 0, background = 0, aspect = 0;
    if (!r.U16(width) || !r.U16(height) || !r.U8(flags) || !r.U8(background) || !r.U8(aspect))
        return DecodeError::TruncatedInput;
    // Showing it takes up to three screens of 32-bit pixels (the still
    // first frame, the player's canvas and the area saved for disposal),
    // counted with the frames against the memory cap.
    if (const DecodeError e = CheckDimensions(width, height, 12); e != DecodeError::None)
        return e;
    std::uint64_t budget = static_cast<std::uint64_t>(width) * height * 12;

    GifAnimation anim;
    anim.width = width;
    anim.height = height;
    std::size_t globalPalette = 0;
    if (flags & 0x80) {
        std::span<const std::uint8_t> table;
        if (!r.Bytes(std::size_t{3} << ((flags & 7) + 1), table))
            return DecodeError::TruncatedInput;
        anim.palettes.push_back(ReadColourTable(table));
    } else {
        anim.palettes.push_back(std::vector<std::uint32_t>(256, kOpaqueBlack));
    }
    budget += 1024;

    int disposal = 0, delay = 0, transparent = -1;
    std::vector<std::uint8_t> lzw;
    DecodeError stop = DecodeError::None;
    for (bool more = true; more;) {
        std::uint8_t block = 0;
        if (!r.U8(block)) {
            stop = DecodeError::TruncatedInput;
            break;
        }
        switch (block) {
        case 0x3B: // trailer
            more = false;
            break;
        case 0x21: { // extension
            std::uint8_t label = 0;
            if (!r.U8(label)) {
                stop = DecodeError::TruncatedInput;
                more = false;
                break;
            }
            lzw.clear();
            if (!ReadSubBlocks(r, label == 0xF9 ? &lzw : nullptr)) {
                stop = DecodeError::TruncatedInput;
                more = false;
                break;
            }
            if (label == 0xF9 && lzw.size() >= 4) {
                disposal = (lzw[0] >> 2) & 7;
                delay = lzw[1] | (lzw[2] << 8);
                transparent = (lzw[0] & 1) ? lzw[3] : -1;
            }
            break;
        }
        case 0x2C: { // image
            GifFrame f;
            std::uint16_t left = 0, top = 0, fw = 0, fh = 0;
            std::uint8_t fflags = 0, minCodeSize = 0;
            if (!r.U16(left) || !r.U16(top) || !r.U16(fw) || !r.U16(fh) || !r.U8(fflags)) {
                stop = DecodeError::TruncatedInput;
                more = false;
                break;
            }
            f.left = left;
            f.top = top;
            f.width = fw;
            f.height = fh;
            f.interlaced = (fflags & 0x40) != 0;
            f.palette = globalPalette;
            if (fflags & 0x80) {
                std::span<const std::uint8_t> table;
                if (!r.Bytes(std::size_t{3} << ((fflags & 7) + 1), table)) {
                    stop = DecodeError::TruncatedInput;
                    more = false;
                    break;
                }
                budget += 1024;
                if (budget > kMaxDecodedBytes)
                    return DecodeError::TooLarge;
                anim.palettes.push_back(ReadColourTable(table));
                f.palette = anim.palettes.size() - 1;
            }
            lzw.clear();
            if (!r.U8(minCodeSize) || !ReadSubBlocks(r, &lzw)) {
                stop = DecodeError::TruncatedInput;
                more = false;
                break;
            }
            // Indices are bytes, so codes start at 2..9 bits; anything
            // larger (up to the 12-bit maximum and beyond) is not a GIF.
            if (minCodeSize < 1 || minCodeSize > 8) {
                stop = DecodeError::CorruptData;
                more = false;
                break;
            }
            // Only the part on the logical screen is kept.
            f.clipWidth = std::max(0, std::min<int>(fw, width - std::min<int>(left, width)));
            f.clipHeight = std::max(0, std::min<int>(fh, height - std::min<int>(top, height)));
            budget += static_cast<std::uint64_t>(f.clipWidth) * static_cast<std::uint64_t>(f.clipHeight) +
                      sizeof(GifFrame);
            if (budget > kMaxDecodedBytes)
                return DecodeError::TooLarge;
            f.indices.assign(static_cast<std::size_t>(f.clipWidth) * static_cast<std::size_t>(f.clipHeight), 0);
            f.transparentIndex = transparent;
            f.disposal = disposal;
            f.delayMs = delay == 0 ? 50 : delay * 10;
            if (fw > 0 && fh > 0)
                f.decodedPixels = DecompressFrame(lzw, minCodeSize, f);
            anim.frames.push_back(std::move(f));
            disposal = 0;
            delay = 0;
            transparent = -1;
            break;
        }
        default:
            stop = DecodeError::CorruptData;
            more = false;
            break;
        }
    }
    if (anim.frames.empty())
        return stop == DecodeError::None ? DecodeError::BadHeader : stop;
    out = std::move(anim);
    return DecodeError::None;
}

GifComposer::GifComposer(const GifAnimation& animation) : animation_(animation)
{
    Reset();
}

void GifComposer::Reset()
{
    if (AllocateImage(canvas_, animation_.width, animation_.height, kTransparent) != DecodeError::None)
        canvas_ = {};
    restorePending_ = false;
    started_ = false;
    current_ = 0;
}

std::size_t GifComposer::Advance()
{
    if (animation_.frames.empty() || canvas_.Empty())
        return 0;
    if (!started_) {
        started_ = true;
        current_ = 0;
    } else {
        if (restorePending_)
            RestoreArea();
        if (++current_ == animation_.frames.size()) {
            Reset();
            started_ = true;
        }
    }
    const GifFrame& frame = animation_.frames[current_];
    restorePending_ = frame.disposal == 2 || frame.disposal == 3;
    if (restorePending_)
        SaveArea(frame);
    Draw(frame);
    return current_;
}

void GifComposer::SaveArea(const GifFrame& f)
{
    savedLeft_ = f.left;
    savedTop_ = f.top;
    // A frame that shows nothing saves nothing.
    const bool empty = f.clipWidth == 0 || f.clipHeight == 0;
    savedWidth_ = empty ? 0 : f.clipWidth;
    savedHeight_ = empty ? 0 : f.clipHeight;
    saved_.resize(static_cast<std::size_t>(savedWidth_) * static_cast<std::size_t>(savedHeight_));
    for (int y = 0; y < savedHeight_; ++y)
        std::memcpy(saved_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(savedWidth_),
                    canvas_.Row(savedTop_ + y) + savedLeft_,
                    static_cast<std::size_t>(savedWidth_) * sizeof(std::uint32_t));
}

void GifComposer::RestoreArea()
{
    for (int y = 0; y < savedHeight_; ++y)
        std::memcpy(canvas_.Row(savedTop_ + y) + savedLeft_,
                    saved_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(savedWidth_),
                    static_cast<std::size_t>(savedWidth_) * sizeof(std::uint32_t));
    restorePending_ = false;
}

void GifComposer::Draw(const GifFrame& f)
{
    const std::vector<std::uint32_t>& palette = animation_.palettes[f.palette];
    const std::uint64_t fw = static_cast<std::uint64_t>(f.width);
    for (int y = 0; y < f.clipHeight; ++y) {
        // Pixels the stream never delivered leave the canvas as it is.
        const std::uint64_t start = StreamRow(y, f.height, f.interlaced) * fw;
        if (start >= f.decodedPixels)
            continue;
        const int count = static_cast<int>(std::min<std::uint64_t>(
            static_cast<std::uint64_t>(f.clipWidth), f.decodedPixels - start));
        const std::uint8_t* src = f.indices.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(f.clipWidth);
        std::uint32_t* dst = canvas_.Row(f.top + y) + f.left;
        for (int x = 0; x < count; ++x)
            if (src[x] != f.transparentIndex)
                dst[x] = palette[src[x]];
    }
}

Image ComposeFirstFrame(const GifAnimation& animation)
{
    GifComposer composer(animation);
    composer.Advance();
    return composer.Canvas();
}

} // namespace mugrove
