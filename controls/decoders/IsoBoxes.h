#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace mugrove {

// Box layouts of the ISO base media file format (HEIF, AVIF), read with
// every length checked against the bytes at hand: big-endian fields, a box
// that does not fit ends the walk.

constexpr std::uint32_t FourCc(const char (&s)[5])
{
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(s[0])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(s[1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(s[2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[3]));
}

// Big-endian reads that never step outside the buffer; a failed read leaves
// the reader failed, and every later read fails too.
class BeReader {
public:
    explicit BeReader(std::span<const std::uint8_t> data) : data_(data) {}

    bool Ok() const { return ok_; }
    std::size_t Left() const { return ok_ ? data_.size() - pos_ : 0; }
    // An unsigned field of `bytes` bytes (0 to 8); 0 reads as 0.
    std::uint64_t Uint(unsigned bytes)
    {
        if (!ok_ || bytes > 8 || data_.size() - pos_ < bytes) {
            ok_ = false;
            return 0;
        }
        std::uint64_t v = 0;
        for (unsigned i = 0; i < bytes; ++i)
            v = (v << 8) | data_[pos_++];
        return v;
    }
    // Steps over n bytes.
    void Skip(std::uint64_t n)
    {
        if (!ok_ || n > data_.size() - pos_)
            ok_ = false;
        else
            pos_ += static_cast<std::size_t>(n);
    }
    std::uint32_t U8() { return static_cast<std::uint32_t>(Uint(1)); }
    std::uint32_t U16() { return static_cast<std::uint32_t>(Uint(2)); }
    std::uint32_t U32() { return static_cast<std::uint32_t>(Uint(4)); }
    std::span<const std::uint8_t> Rest() const { return ok_ ? data_.subspan(pos_) : std::span<const std::uint8_t>{}; }

private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

struct Box {
    std::uint32_t type = 0;
    std::span<const std::uint8_t> body; // after the size and type fields
    std::size_t offset = 0;             // of the box header within the walked span
};

// Walks the boxes laid one after another in `data`.
class BoxWalker {
public:
    explicit BoxWalker(std::span<const std::uint8_t> data) : data_(data) {}
    bool Next(Box& box);
    // Whether the walk stopped at a box that claims more bytes than remain.
    bool Truncated() const { return truncated_; }

private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    bool truncated_ = false;
};

// What an `ftyp` box at the start of `data` says the file holds.
enum class BrandFamily { None, Heif, Avif };
BrandFamily FileBrands(std::span<const std::uint8_t> data);

} // namespace mugrove
