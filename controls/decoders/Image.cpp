#include "controls/decoders/Image.h"

#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace mugrove {

void* AllocatePixelMemory(std::size_t bytes) noexcept
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only pictures of several large pages gain; smaller blocks come from
    // the heap as before.
    constexpr std::size_t kLargePage = std::size_t{2} << 20;
    if (bytes >= 4 * kLargePage && bytes <= static_cast<std::size_t>(-1) - kLargePage) {
        const std::size_t rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
        void* p = std::aligned_alloc(kLargePage, rounded);
        if (p != nullptr)
            madvise(p, rounded, MADV_HUGEPAGE); // a hint: refused, the pages are small
        return p;
    }
#endif
    return std::malloc(bytes);
}

DecodeError CheckDimensions(std::int64_t width, std::int64_t height, std::uint64_t bytesPerPixel)
{
    if (width <= 0 || height <= 0)
        return DecodeError::UnsupportedDimension;
    if (width > kMaxPictureSide || height > kMaxPictureSide)
        return DecodeError::TooLarge;
    // Both sides are at most kMaxPictureSide, so the product cannot overflow 64 bits.
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    if (bytesPerPixel != 0 && pixels > kMaxDecodedBytes / bytesPerPixel)
        return DecodeError::TooLarge;
    return DecodeError::None;
}

namespace {

DecodeError Allocate(Image& image, std::int64_t width, std::int64_t height, const std::uint32_t* fill)
{
    if (const DecodeError e = CheckDimensions(width, height); e != DecodeError::None)
        return e;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    try {
        if (fill != nullptr && *fill != kTransparent) {
            image.pixels.assign(count, *fill);
        } else {
            // A fresh block: zero (transparent) unwritten when asked for a
            // fill, left as the heap gives it when the decoder writes it all.
            image.pixels = PixelBuffer(PixelBuffer::allocator_type(fill != nullptr));
            image.pixels.resize(count);
        }
    } catch (const std::bad_alloc&) {
        image = {};
        return DecodeError::OutOfMemory; // within the caps, but not available now
    }
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    return DecodeError::None;
}

} // namespace

DecodeError AllocateImage(Image& image, std::int64_t width, std::int64_t height, std::uint32_t fill)
{
    return Allocate(image, width, height, &fill);
}

DecodeError AllocateImageUninitialised(Image& image, std::int64_t width, std::int64_t height)
{
    return Allocate(image, width, height, nullptr);
}

} // namespace mugrove
