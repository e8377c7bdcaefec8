#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace mugrove {

// Pictures larger than this are refused: no side above what a window
// coordinate can hold, and no decoded form above 256 MiB, whatever the file
// claims.
inline constexpr std::int64_t kMaxPictureSide = 32627;
inline constexpr std::uint64_t kMaxDecodedBytes = 256ull << 20;

// Why a decoder gave no picture. Each decoder reports the first problem it
// meets; callers that only care whether there is a picture test for None.
enum class DecodeError {
    None,
    Unrecognised,         // not a kind of picture we read
    BadHeader,            // the headers contradict themselves or the format
    UnsupportedDimension, // a side of zero or below
    TooLarge,             // beyond a cap (sides, decoded bytes, file size) or a library's limit
    TruncatedInput,       // the data ends before the picture does
    CorruptData,          // the compressed data cannot be decoded
    Unsupported,          // a valid variant this program does not read
    OutOfMemory,          // within the caps, but the memory could not be had
    CannotOpen,           // the file could not be opened or read
};

// Leaves elements that are added without a value unwritten: a decoder that
// writes every pixel should not pay for filling them first (on a
// 4000 × 3000 photo that is a third of the decoding time). By default the
// memory comes zeroed from calloc, which for large blocks hands out fresh
// pages that are zero without being written, so a transparent picture (0)
// costs nothing to clear. A block the heap reuses is cleared by calloc with
// a pass over it, so a buffer whose every pixel is about to be written asks
// for one that is not zeroed.
// A block of `bytes` for pixels that are about to be written, from memory
// the system may back with large pages: a photo's buffer is then mapped in
// a few dozen steps instead of thousands (which cost a third of a JPEG's
// decoding), and turning it touches far fewer pages. Freed with std::free.
void* AllocatePixelMemory(std::size_t bytes) noexcept;

template <class T>
struct UninitialisedAllocator : std::allocator<T> {
    using value_type = T;
    bool zeroed = true;
    UninitialisedAllocator() = default;
    explicit UninitialisedAllocator(bool zero) noexcept : zeroed(zero) {}
    template <class U>
    UninitialisedAllocator(const UninitialisedAllocator<U>& other) noexcept : zeroed(other.zeroed)
    {
    }
    // Every block reaches this far past its last pixel: converters that work
    // in whole vectors (libswscale's YUV to RGB among them) write up to 32
    // bytes beyond the end of a row whose width is not a multiple of 16
    // pixels, which past the last row would be the heap's own.
    static constexpr std::size_t kSlackBytes = 64;
    T* allocate(std::size_t n)
    {
        if (n > (static_cast<std::size_t>(-1) - kSlackBytes) / sizeof(T))
            throw std::bad_alloc();
        const std::size_t bytes = n * sizeof(T) + kSlackBytes;
        void* p = zeroed ? std::calloc(bytes, 1) : AllocatePixelMemory(bytes);
        if (p == nullptr)
            throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    // Every block is freed alike, so blocks may pass between buffers whatever
    // their allocator asked for.
    void deallocate(T* p, std::size_t) noexcept { std::free(p); }
    template <class U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <class U>
    void destroy(U*) noexcept
    {
        static_assert(std::is_trivially_destructible_v<U>);
    }
};

using PixelBuffer = std::vector<std::uint32_t, UninitialisedAllocator<std::uint32_t>>;

// A decoded picture: 32-bit 0xAARRGGBB pixels (not premultiplied), rows top
// down with no padding, so it can be shown without copying.
struct Image {
    int width = 0;
    int height = 0;
    PixelBuffer pixels;
    // Set by a decoder whose file has no alpha at all, so that no one need
    // look at every pixel to know the picture is opaque.
    bool opaque = false;

    bool Empty() const { return pixels.empty(); }
    std::uint32_t* Row(int y)
    {
        return pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    }
};

inline constexpr std::uint32_t Argb(std::uint32_t a, std::uint32_t r, std::uint32_t g,
                                    std::uint32_t b)
{
    return (a << 24) | (r << 16) | (g << 8) | b;
}
inline constexpr std::uint32_t kOpaqueBlack = 0xFF000000u;
inline constexpr std::uint32_t kTransparent = 0x00000000u;

// Checks a picture of width × height with bytesPerPixel against the caps.
DecodeError CheckDimensions(std::int64_t width, std::int64_t height,
                            std::uint64_t bytesPerPixel = 4);

// Checks the caps, then sizes `image` and fills it with `fill`.
DecodeError AllocateImage(Image& image, std::int64_t width, std::int64_t height,
                          std::uint32_t fill);
// The same without filling: for decoders that write every pixel.
DecodeError AllocateImageUninitialised(Image& image, std::int64_t width, std::int64_t height);

} // namespace mugrove
