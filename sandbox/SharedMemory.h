#pragma once

// Memory shared with a decoder process: a file's bytes handed over sealed,
// and the buffers its pixels come back in. Linux memfds.

#include "sandbox/DecoderProcess.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace mugrove::sandbox {

// A memfd of `bytes` bytes, zero-filled; empty when none can be had.
UniqueFd NewSharedMemory(const char* name, std::size_t bytes);

// A memfd holding `bytes`, sealed so that neither side can change or resize it.
UniqueFd SealedCopy(std::span<const std::uint8_t> bytes);

// A memfd holding a copy of the file at `path`, sealed; empty when the
// file cannot be read whole.
UniqueFd SealedCopyOfFile(const std::string& path);

// The size of what a descriptor holds; -1 when it cannot be told.
std::int64_t SizeOf(int fd);

// A mapping of the first `bytes` bytes of a descriptor, unmapped when it goes.
class Mapping {
public:
    Mapping() = default;
    // Empty when the descriptor holds fewer bytes or cannot be mapped.
    static Mapping Of(int fd, std::size_t bytes, bool writable);
    Mapping(Mapping&& other) noexcept;
    Mapping& operator=(Mapping&& other) noexcept;
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;
    ~Mapping();

    std::uint8_t* Data() const { return data_; }
    std::size_t Size() const { return size_; }
    bool Empty() const { return data_ == nullptr; }

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace mugrove::sandbox
