#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace mugrove {

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
        v = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return true;
    }
    bool U32(std::uint32_t& v)
    {
        if (!Has(4))
            return false;
        v = static_cast<std::uint32_t>(data_[pos_]) | (static_cast<std::uint32_t>(data_[pos_ + 1]) << 8) |
            (static_cast<std::uint32_t>(data_[pos_ + 2]) << 16) |
            (static_cast<std::uint32_t>(data_[pos_ + 3]) << 24);
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
