#include "controls/decoders/Gif.h"

#include <algorithm>
#include <array>
#include <cstring>

// The decompression of one GIF frame: its codes read from the sub-blocks,
// the string table they build, and the strings laid over the frame's rows.

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

// Reads the bytes of a sub-block chain one at a time, across the blocks.
class SubBlockBytes {
public:
    SubBlockBytes(std::span<const std::uint8_t> data, std::size_t start)
        : data_(data.data()), size_(data.size()), pos_(std::min(start, data.size())), end_(pos_)
    {
    }
    bool Next(std::uint8_t& b)
    {
        if (pos_ == end_ && !Open())
            return false;
        b = data_[pos_++];
        return true;
    }

private:
    bool Open()
    {
        if (ended_ || pos_ >= size_)
            return false;
        const std::size_t length = data_[pos_++];
        if (length == 0) {
            ended_ = true;
            return false;
        }
        end_ = std::min(size_, pos_ + length);
        return pos_ < end_;
    }
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_;
    std::size_t end_;
    bool ended_ = false;
};

// The string table of a frame's codes: each entry is the string of the
// entry before it (prefix) and one colour index more (suffix), kept with
// its first index and its length. The first entries are the single indices.
class StringTable {
public:
    explicit StringTable(int minCodeSize) : minCodeSize_(minCodeSize), clear_(1 << minCodeSize)
    {
        for (int i = 0; i < clear_; ++i) {
            t_.prefix[static_cast<std::size_t>(i)] = 0;
            t_.suffix[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
            t_.first[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
            t_.length[static_cast<std::size_t>(i)] = 1;
        }
        Clear();
    }
    int ClearCode() const { return clear_; }
    int EndCode() const { return clear_ + 1; }
    int CodeSize() const { return codeSize_; }
    int Length(int entry) const { return t_.length[static_cast<std::size_t>(entry)]; }
    void Clear()
    {
        codeSize_ = minCodeSize_ + 1;
        next_ = clear_ + 2;
        prev_ = -1;
    }

    // The entry whose string `code` stands for, adding the entry the code
    // completes; -1 for a code the table cannot hold yet.
    int Take(int code)
    {
        int out = code;
        if (prev_ < 0) {
            if (code > clear_)
                return -1; // a first code must be a plain colour
        } else {
            std::uint8_t tail = 0;
            if (code < next_) {
                tail = t_.first[static_cast<std::size_t>(code)];
            } else if (code == next_ && next_ < kMaxCodes) {
                tail = t_.first[static_cast<std::size_t>(prev_)];
                out = next_; // the new entry itself
            } else {
                return -1; // a code beyond the table
            }
            // A full table keeps decoding as it is until a clear code.
            if (next_ < kMaxCodes) {
                const auto n = static_cast<std::size_t>(next_);
                t_.prefix[n] = static_cast<std::uint16_t>(prev_);
                t_.suffix[n] = tail;
                t_.first[n] = t_.first[static_cast<std::size_t>(prev_)];
                t_.length[n] = static_cast<std::uint16_t>(t_.length[static_cast<std::size_t>(prev_)] + 1);
                ++next_;
                if (next_ == (1 << codeSize_) && codeSize_ < 12)
                    ++codeSize_;
            }
        }
        prev_ = code;
        return out;
    }

    // Writes the string of `entry` backwards, ending just before `end`,
    // `count` indices from its end.
    void WriteTail(int entry, std::uint8_t* end, int count) const
    {
        for (std::uint8_t* const begin = end - count; end > begin;) {
            *--end = t_.suffix[static_cast<std::size_t>(entry)];
            entry = t_.prefix[static_cast<std::size_t>(entry)];
        }
    }

private:
    struct Entries {
        std::array<std::uint16_t, kMaxCodes> prefix;
        std::array<std::uint8_t, kMaxCodes> suffix;
        std::array<std::uint8_t, kMaxCodes> first;
        std::array<std::uint16_t, kMaxCodes> length;
    };
    static thread_local Entries t_;
    int minCodeSize_, clear_;
    int codeSize_ = 0, next_ = 0, prev_ = -1;
};

thread_local StringTable::Entries StringTable::t_;

// Lays decoded strings over a frame's rows in stream order, keeping only
// the part of each row that lands on the screen (clipWidth of the frame's
// width) and stopping at the last stream row that has any.
class FrameRows {
public:
    FrameRows(const GifFrameInfo& f, std::uint8_t* indices)
        : f_(f), indices_(indices), rows_(f.height, f.interlaced)
    {
        std::uint64_t rowsNeeded = 0;
        for (int y = 0; y < f.clipHeight; ++y)
            rowsNeeded = std::max(rowsNeeded, GifStreamRow(y, f.height, f.interlaced) + 1);
        limit_ = rowsNeeded * static_cast<std::uint64_t>(f.width);
        RowStart();
    }
    bool Done() const { return delivered_ >= limit_; }
    std::uint64_t Delivered() const { return std::min(delivered_, limit_); }

    void Put(const StringTable& table, int entry)
    {
        const int len = table.Length(entry);
        if (rowPtr_ != nullptr && x_ + len <= f_.clipWidth) {
            // The common case: the whole string lands in the shown part of
            // this row; written backwards from its last character.
            table.WriteTail(entry, rowPtr_ + x_ + len, len);
            x_ += len;
            delivered_ += static_cast<std::uint64_t>(len);
            if (x_ == f_.width)
                NextRow();
            return;
        }
        // Otherwise the string is laid over the rows piece by piece, and its
        // characters are expanded only from the first one that is shown.
        int offset = 0;
        int expandedFrom = len;
        while (offset < len && !Done()) {
            const int n = std::min(len - offset, f_.width - x_);
            if (rowPtr_ != nullptr && x_ < f_.clipWidth) {
                if (offset < expandedFrom) {
                    table.WriteTail(entry, text_.data() + len, len - offset);
                    expandedFrom = offset;
                }
                std::memcpy(rowPtr_ + x_, text_.data() + offset,
                            static_cast<std::size_t>(std::min(n, f_.clipWidth - x_)));
            }
            x_ += n;
            offset += n;
            delivered_ += static_cast<std::uint64_t>(n);
            if (x_ == f_.width)
                NextRow();
        }
    }

private:
    void RowStart()
    {
        const int y = rows_.Row();
        rowPtr_ = y < f_.clipHeight
                      ? indices_ + static_cast<std::size_t>(y) * static_cast<std::size_t>(f_.clipWidth)
                      : nullptr;
    }
    void NextRow()
    {
        x_ = 0;
        rows_.Next();
        RowStart();
    }

    static thread_local std::array<std::uint8_t, kMaxCodes> text_;
    const GifFrameInfo& f_;
    std::uint8_t* indices_;
    RowOrder rows_;
    std::uint64_t limit_ = 0, delivered_ = 0;
    int x_ = 0;
    std::uint8_t* rowPtr_ = nullptr;
};

thread_local std::array<std::uint8_t, kMaxCodes> FrameRows::text_;

} // namespace

std::uint64_t GifStreamRow(int y, int height, bool interlaced)
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

DecodeError DecodeGifFrame(std::span<const std::uint8_t> data, const GifFrameInfo& f, std::uint8_t* indices,
                           std::uint64_t& decodedPixels)
{
    decodedPixels = 0;
    if (f.clipWidth <= 0 || f.clipHeight <= 0)
        return DecodeError::None; // nothing of it can be seen
    StringTable table(f.minCodeSize);
    FrameRows rows(f, indices);
    SubBlockBytes in(data, f.data);
    std::uint32_t acc = 0;
    int bits = 0;
    DecodeError result = DecodeError::None;
    while (!rows.Done()) {
        const int codeSize = table.CodeSize();
        std::uint8_t byte = 0;
        while (bits < codeSize && in.Next(byte)) {
            acc |= static_cast<std::uint32_t>(byte) << bits;
            bits += 8;
        }
        if (bits < codeSize)
            break; // the data ran out
        const int code = static_cast<int>(acc & ((1u << codeSize) - 1));
        acc >>= codeSize;
        bits -= codeSize;
        if (code == table.ClearCode()) {
            table.Clear();
            continue;
        }
        if (code == table.EndCode())
            break;
        const int entry = table.Take(code);
        if (entry < 0) {
            result = DecodeError::CorruptData;
            break;
        }
        rows.Put(table, entry);
    }
    decodedPixels = rows.Delivered();
    return result;
}

} // namespace mugrove
