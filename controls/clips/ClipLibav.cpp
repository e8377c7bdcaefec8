#include "ClipLibav.h"

#include "controls/clips/ClipDecoder.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

namespace mugrove::clips {

namespace {

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::shared_ptr<const PictureBytes> bytes) : bytes_(std::move(bytes)) {}
    int Read(std::uint8_t* to, int size) override
    {
        const std::size_t left = bytes_->size() - pos_;
        const std::size_t n = std::min(left, static_cast<std::size_t>(std::max(size, 0)));
        if (n == 0)
            return AVERROR_EOF;
        std::memcpy(to, bytes_->data() + pos_, n);
        pos_ += n;
        return static_cast<int>(n);
    }
    std::int64_t Seek(std::int64_t offset, int whence) override
    {
        const auto size = static_cast<std::int64_t>(bytes_->size());
        std::int64_t to = offset;
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE: return size;
        case SEEK_SET: break;
        case SEEK_CUR: to += static_cast<std::int64_t>(pos_); break;
        case SEEK_END: to += size; break;
        default: return AVERROR(EINVAL);
        }
        if (to < 0 || to > size)
            return AVERROR(EINVAL);
        pos_ = static_cast<std::size_t>(to);
        return to;
    }

private:
    std::shared_ptr<const PictureBytes> bytes_;
    std::size_t pos_ = 0;
};

struct FileClose {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileClose>;

class FileSource final : public ByteSource {
public:
    explicit FileSource(FilePtr file) : file_(std::move(file))
    {
        if (fseeko(file_.get(), 0, SEEK_END) == 0)
            size_ = ftello(file_.get());
        fseeko(file_.get(), 0, SEEK_SET);
    }
    int Read(std::uint8_t* to, int size) override
    {
        const std::size_t n = std::fread(to, 1, static_cast<std::size_t>(std::max(size, 0)), file_.get());
        return n == 0 ? AVERROR_EOF : static_cast<int>(n);
    }
    std::int64_t Seek(std::int64_t offset, int whence) override
    {
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE: return size_ >= 0 ? size_ : AVERROR(ENOSYS);
        case SEEK_SET:
        case SEEK_CUR:
        case SEEK_END:
            if (fseeko(file_.get(), offset, whence & ~AVSEEK_FORCE) != 0)
                return AVERROR(EINVAL);
            return ftello(file_.get());
        default: return AVERROR(EINVAL);
        }
    }

private:
    FilePtr file_;
    std::int64_t size_ = -1;
};

// Reads by position, so several readers of one descriptor never move each
// other's place.
class DescriptorSource final : public ByteSource {
public:
    explicit DescriptorSource(int fd) : fd_(fd)
    {
        struct stat st {};
        if (fstat(fd_, &st) == 0)
            size_ = st.st_size;
    }
    int Read(std::uint8_t* to, int size) override
    {
        ssize_t n;
        do
            n = pread(fd_, to, static_cast<std::size_t>(std::max(size, 0)), pos_);
        while (n < 0 && errno == EINTR);
        if (n <= 0)
            return n == 0 ? AVERROR_EOF : AVERROR(EIO);
        pos_ += n;
        return static_cast<int>(n);
    }
    std::int64_t Seek(std::int64_t offset, int whence) override
    {
        std::int64_t to = offset;
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE: return size_;
        case SEEK_SET: break;
        case SEEK_CUR: to += pos_; break;
        case SEEK_END: to += size_; break;
        default: return AVERROR(EINVAL);
        }
        if (to < 0 || to > size_)
            return AVERROR(EINVAL);
        pos_ = to;
        return to;
    }

private:
    int fd_;
    std::int64_t size_ = 0;
    std::int64_t pos_ = 0;
};

int ReadPacket(void* opaque, std::uint8_t* to, int size)
{
    return static_cast<ByteSource*>(opaque)->Read(to, size);
}

std::int64_t SeekTo(void* opaque, std::int64_t offset, int whence)
{
    return static_cast<ByteSource*>(opaque)->Seek(offset, whence);
}

// References to other files (a QuickTime data reference, say) are never
// followed: a clip is what its own bytes hold.
int RefuseOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**)
{
    return AVERROR(EPERM);
}

constexpr int kIoBufferBytes = 64 << 10;

} // namespace

DecodeError ClipInput::Open(const ClipSource& source)
{
    static std::once_flag quiet;
    std::call_once(quiet, [] {
        av_log_set_level(AV_LOG_QUIET);
        // libav sizes some tables by what a file's header claims (a sample
        // table may claim 184 million entries in a 5 KB file); no block a
        // clip within our caps needs is larger than a picture may be.
        av_max_alloc(kMaxDecodedBytes);
    });
    std::uint8_t head[64] = {};
    std::size_t headSize = 0;
    if (source.bytes) {
        headSize = std::min(source.bytes->size(), sizeof head);
        if (headSize > 0)
            std::memcpy(head, source.bytes->data(), headSize);
        bytes_ = std::make_unique<MemorySource>(source.bytes);
    } else if (source.descriptor >= 0) {
        bytes_ = std::make_unique<DescriptorSource>(source.descriptor);
        const int n = bytes_->Read(head, sizeof head);
        if (n < 0 && n != AVERROR_EOF)
            return DecodeError::CannotOpen;
        headSize = n > 0 ? static_cast<std::size_t>(n) : 0;
        bytes_->Seek(0, SEEK_SET);
    } else {
        FilePtr file(std::fopen(source.path.c_str(), "rb"));
        if (!file)
            return DecodeError::CannotOpen;
        headSize = std::fread(head, 1, sizeof head, file.get());
        if (std::ferror(file.get()))
            return DecodeError::CannotOpen; // a folder, say
        bytes_ = std::make_unique<FileSource>(std::move(file));
    }
    return OpenContainer({head, headSize});
}

DecodeError ClipInput::OpenContainer(std::span<const std::uint8_t> head)
{
    if (!LooksLikeClip(head))
        return DecodeError::Unrecognised;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    if (buffer == nullptr)
        return DecodeError::OutOfMemory;
    io_.reset(avio_alloc_context(buffer, kIoBufferBytes, 0, bytes_.get(), ReadPacket, nullptr, SeekTo));
    if (!io_) {
        av_free(buffer);
        return DecodeError::OutOfMemory;
    }
    AVFormatContext* format = avformat_alloc_context();
    if (format == nullptr)
        return DecodeError::OutOfMemory;
    format->pb = io_.get();
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    format->io_open = RefuseOpen;
    format->max_streams = static_cast<int>(kMaxClipStreams);
    // Only the two container families recognised are ever parsed.
    const AVInputFormat* kind = av_find_input_format(head[0] == 0x1A ? "matroska" : "mov");
    // A failed open frees the context.
    if (const int opened = avformat_open_input(&format, nullptr, kind, nullptr); opened < 0)
        return FromLibav(opened, DecodeError::BadHeader);
    format_.reset(format);
    if (format_->nb_streams > kMaxClipStreams)
        return DecodeError::Unsupported;
    return DecodeError::None;
}

} // namespace mugrove::clips
