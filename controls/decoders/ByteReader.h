#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace mugrove {

// Little-endian values at a place the caller has checked lies inside its
// buffer: the one set of byte-order helpers for every file layout we read
// or write (pictures, font and settings records, the snapshot).
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

} // namespace mugrove
