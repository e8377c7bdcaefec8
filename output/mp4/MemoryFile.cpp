#include "MemoryFile.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace mugrove::mp4 {

namespace {

constexpr int kBufferSize = 64 * 1024;

// Where `offset` from `whence` lands in a file of `size` bytes read or
// written at `position`; -1 when that is before the start. AVSEEK_SIZE
// asks for the size.
std::int64_t SeekTarget(std::int64_t position, std::int64_t size, std::int64_t offset, int whence)
{
    std::int64_t to = -1;
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: to = offset; break;
    case SEEK_CUR: to = position + offset; break;
    case SEEK_END: to = size + offset; break;
    case AVSEEK_SIZE: return size;
    default: return AVERROR(EINVAL);
    }
    return to < 0 ? AVERROR(EINVAL) : to;
}

// One reading of the file, at a position of its own.
struct Reading {
    const std::vector<std::uint8_t>* bytes;
    std::int64_t position = 0;

    static int Read(void* opaque, std::uint8_t* data, int size)
    {
        auto& r = *static_cast<Reading*>(opaque);
        const auto total = static_cast<std::int64_t>(r.bytes->size());
        if (r.position >= total)
            return AVERROR_EOF;
        const int n = static_cast<int>(std::min<std::int64_t>(size, total - r.position));
        std::memcpy(data, r.bytes->data() + r.position, static_cast<std::size_t>(n));
        r.position += n;
        return n;
    }

    static std::int64_t Seek(void* opaque, std::int64_t offset, int whence)
    {
        auto& r = *static_cast<Reading*>(opaque);
        const std::int64_t to = SeekTarget(r.position, static_cast<std::int64_t>(r.bytes->size()), offset, whence);
        if (to >= 0 && (whence & ~AVSEEK_FORCE) != AVSEEK_SIZE)
            r.position = to;
        return to;
    }
};

ByteContextPtr NewByteContext(bool write, void* opaque, int (*read)(void*, std::uint8_t*, int),
                              int (*writeData)(void*, std::uint8_t*, int),
                              std::int64_t (*seek)(void*, std::int64_t, int))
{
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (!buffer)
        return nullptr;
    ByteContextPtr context(avio_alloc_context(buffer, kBufferSize, write ? 1 : 0, opaque, read, writeData, seek));
    if (!context)
        av_free(buffer);
    return context;
}

} // namespace

MemoryFile::MemoryFile() : writer_(NewByteContext(true, this, nullptr, &MemoryFile::Write, &MemoryFile::SeekWriter))
{
}

std::vector<std::uint8_t> MemoryFile::TakeBytes()
{
    std::vector<std::uint8_t> out;
    out.swap(bytes_);
    position_ = 0;
    return out;
}

int MemoryFile::Write(void* opaque, std::uint8_t* data, int size)
{
    auto& file = *static_cast<MemoryFile*>(opaque);
    const auto end = static_cast<std::size_t>(file.position_) + static_cast<std::size_t>(size);
    try {
        if (end > file.bytes_.size())
            file.bytes_.resize(end);
    } catch (const std::bad_alloc&) {
        return AVERROR(ENOMEM);
    }
    std::memcpy(file.bytes_.data() + file.position_, data, static_cast<std::size_t>(size));
    file.position_ = static_cast<std::int64_t>(end);
    return size;
}

std::int64_t MemoryFile::SeekWriter(void* opaque, std::int64_t offset, int whence)
{
    auto& file = *static_cast<MemoryFile*>(opaque);
    const std::int64_t to = SeekTarget(file.position_, static_cast<std::int64_t>(file.bytes_.size()), offset, whence);
    if (to >= 0 && (whence & ~AVSEEK_FORCE) != AVSEEK_SIZE)
        file.position_ = to;
    return to;
}

void MemoryFile::ServeReadsOf(AVFormatContext& format)
{
    format.io_open = &MemoryFile::OpenReader;
    format.io_close2 = &MemoryFile::CloseReader;
}

int MemoryFile::OpenReader(AVFormatContext* format, AVIOContext** pb, const char*, int flags, AVDictionary**)
{
    if (flags & AVIO_FLAG_WRITE)
        return AVERROR(EPERM);
    const auto& file = *static_cast<const MemoryFile*>(format->opaque);
    auto* reading = new (std::nothrow) Reading{&file.bytes_};
    if (!reading)
        return AVERROR(ENOMEM);
    ByteContextPtr context = NewByteContext(false, reading, &Reading::Read, nullptr, &Reading::Seek);
    if (!context) {
        delete reading;
        return AVERROR(ENOMEM);
    }
    *pb = context.release();
    return 0;
}

int MemoryFile::CloseReader(AVFormatContext*, AVIOContext* pb)
{
    if (!pb)
        return 0;
    delete static_cast<Reading*>(pb->opaque);
    ByteContextPtr owned(pb);
    return 0;
}

} // namespace mugrove::mp4
