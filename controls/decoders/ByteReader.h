#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace mugrove {

// The one set of byte-order helpers for every file layout we read or write
// (pictures, clips, colour profiles, font and settings records, the
// snapshot). The Load and Store functions work at a place the caller has
// checked lies inside its buffer; the readers check every read themselves.

// Little-endian values.
inline std::uint16_t LoadU16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t LoadU32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void StoreU16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void StoreU32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Big-endian values (ISO boxes, colour profiles, TIFF blocks written "MM").
inline std::uint16_t LoadBe16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
inline std::uint32_t LoadBe32(const std::uint8_t* p)
{
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}
inline std::uint64_t LoadBe64(const std::uint8_t* p)
{
    return (std::uint64_t{LoadBe32(p)} << 32) | LoadBe32(p + 4);
}

// A four-character code ("ftyp", "RGB ") as LoadBe32 reads it from a file.
constexpr std::uint32_t FourCc(const char (&s)[5])
{
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(s[0])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(s[1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(s[2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[3]));
}

// Little-endian reads that never step outside the buffer: a read past the
// end returns false and leaves the position where it was.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> data, std::size_t pos = 0)
        : data_(data), pos_(pos <= data.size() ? pos : data.size())
    {
    }

    std::size_t Pos() const { return pos_; }
    std::size_t Left() const { return data_.size() - pos_; }
    bool Has(std::size_t n) const { return n <= Left(); }

    bool Skip(std::size_t n)
    {
        if (!Has(n))
            return false;
        pos_ += n;
        return true;
    }
    bool U8(std::uint8_t& v)
    {
        if (!Has(1))
            return false;
        v = data_[pos_++];
        return true;
    }
    bool U16(std::uint16_t& v)
    {
        if (!Has(2))
            return false;
        v = LoadU16(data_.data() + pos_);
        pos_ += 2;
        return true;
    }
    bool U32(std::uint32_t& v)
    {
        if (!Has(4))
            return false;
        v = LoadU32(data_.data() + pos_);
        pos_ += 4;
        return true;
    }
    bool I32(std::int32_t& v)
    {
        std::uint32_t u = 0;
        if (!U32(u))
            return false;
        v = static_cast<std::int32_t>(u);
        return true;
    }
    // The next n bytes, consumed.
    bool Bytes(std::size_t n, std::span<const std::uint8_t>& out)
    {
        if (!Has(n))
            return false;
        out = data_.subspan(pos_, n);
        pos_ += n;
        return true;
    }

private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_;
};

// Big-endian reads that never step outside the buffer; a failed read leaves
// the reader failed, and every later read fails too, so a run of fields is
// checked once at its end.
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

} // namespace mugrove
