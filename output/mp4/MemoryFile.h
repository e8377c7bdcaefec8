#pragma once

#include "AvHandles.h"

#include <cstdint>
#include <vector>

namespace mugrove::mp4 {

// A file that lives in memory, for the muxer to write, seek in and read
// back: putting the index in front moves what was written after it, which
// the muxer does by reading its output again. Nothing reaches the disk, so
// a file that turns out too large or fails half way leaves no trace.
class MemoryFile {
public:
    MemoryFile();
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    // The byte context the muxer writes through; null when out of memory.
    AVIOContext* Writer() const { return writer_.get(); }
    // Lets `format` open this file again for reading (it must have been
    // made with this file as its `opaque`).
    static void ServeReadsOf(AVFormatContext& format);

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    std::vector<std::uint8_t> TakeBytes();

private:
    static int Write(void* opaque, std::uint8_t* data, int size);
    static std::int64_t SeekWriter(void* opaque, std::int64_t offset, int whence);
    static int OpenReader(AVFormatContext* format, AVIOContext** pb, const char* url, int flags,
                          AVDictionary** options);
    static int CloseReader(AVFormatContext* format, AVIOContext* pb);

    std::vector<std::uint8_t> bytes_;
    std::int64_t position_ = 0;
    ByteContextPtr writer_;
};

} // namespace mugrove::mp4
