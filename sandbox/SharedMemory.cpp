#include "sandbox/SharedMemory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace mugrove::sandbox {

UniqueFd NewSharedMemory(const char* name, std::size_t bytes)
{
    UniqueFd fd(memfd_create(name, MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!fd || ftruncate(fd.Get(), static_cast<off_t>(bytes)) != 0)
        return {};
    // Its pages had in one call rather than fault by fault as they are first
    // written; where the system cannot, they come as they are touched.
    if (bytes > 0)
        (void)fallocate(fd.Get(), 0, 0, static_cast<off_t>(bytes));
    return fd;
}

namespace {

bool Seal(int fd)
{
    return fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) == 0;
}

} // namespace

UniqueFd SealedCopyOfFile(const std::string& path)
{
    const UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    const std::int64_t size = file ? SizeOf(file.Get()) : -1;
    if (size < 0)
        return {};
    UniqueFd fd = NewSharedMemory("mugrove-file", static_cast<std::size_t>(size));
    if (!fd)
        return {};
    // The kernel copies from the page cache: no pass through this process's memory.
    off_t at = 0;
    while (at < size) {
        const ssize_t n = sendfile(fd.Get(), file.Get(), &at, static_cast<std::size_t>(size - at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {}; // a folder, or a file that shrank on the way
    }
    return Seal(fd.Get()) ? std::move(fd) : UniqueFd{};
}

UniqueFd SealedCopy(std::span<const std::uint8_t> bytes)
{
    UniqueFd fd = NewSharedMemory("mugrove-file", bytes.size());
    if (!fd)
        return {};
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n = pwrite(fd.Get(), bytes.data() + at, bytes.size() - at, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {};
        at += static_cast<std::size_t>(n);
    }
    return Seal(fd.Get()) ? std::move(fd) : UniqueFd{};
}

std::int64_t SizeOf(int fd)
{
    struct stat st {};
    return fstat(fd, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

Mapping Mapping::Of(int fd, std::size_t bytes, bool writable)
{
    Mapping m;
    const std::int64_t size = SizeOf(fd);
    if (size < 0 || static_cast<std::uint64_t>(size) < bytes)
        return m;
    if (bytes == 0)
        return m;
    // Every page is about to be written or read whole: mapped in one pass,
    // not page by page as each is first touched (which took longer than
    // the copy itself).
    void* p = mmap(nullptr, bytes, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED | MAP_POPULATE, fd, 0);
    if (p == MAP_FAILED)
        return m;
    m.data_ = static_cast<std::uint8_t*>(p);
    m.size_ = bytes;
    return m;
}

Mapping::Mapping(Mapping&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0))
{
}

Mapping& Mapping::operator=(Mapping&& other) noexcept
{
    if (this != &other) {
        if (data_ != nullptr)
            munmap(data_, size_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

Mapping::~Mapping()
{
    if (data_ != nullptr)
        munmap(data_, size_);
}

} // namespace mugrove::sandbox
