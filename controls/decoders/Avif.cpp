#include "controls/decoders/Avif.h"

#include "controls/decoders/Orientation.h"
#include "controls/decoders/PhotoColour.h"

#include <avif/avif.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <thread>
#include <vector>

namespace mugrove {

namespace {

// Bytes per canvas pixel a sequence holds: the library's planes, the
// player's canvas and the still picture.
constexpr std::uint64_t kSequenceBytes = 4 * 4;

DecodeError Named(avifResult result)
{
    switch (result) {
    case AVIF_RESULT_OK: return DecodeError::None;
    case AVIF_RESULT_INVALID_FTYP:
    case AVIF_RESULT_NO_CONTENT:
    case AVIF_RESULT_NOT_IMPLEMENTED: return DecodeError::Unsupported;
    case AVIF_RESULT_OUT_OF_MEMORY: return DecodeError::OutOfMemory;
    case AVIF_RESULT_TRUNCATED_DATA:
    case AVIF_RESULT_WAITING_ON_IO: return DecodeError::TruncatedInput;
    case AVIF_RESULT_BMFF_PARSE_FAILED:
    case AVIF_RESULT_NO_AV1_ITEMS_FOUND:
    case AVIF_RESULT_NO_IMAGES_REMAINING:
    case AVIF_RESULT_INVALID_EXIF_PAYLOAD:
    case AVIF_RESULT_INVALID_IMAGE_GRID: return DecodeError::BadHeader;
    default: break;
    }
    return DecodeError::CorruptData;
}

struct DecoderFree {
    void operator()(avifDecoder* d) const { avifDecoderDestroy(d); }
};
using DecoderPtr = std::unique_ptr<avifDecoder, DecoderFree>;

// A decoder over the bytes, parsed, with the caps as the library's own
// limits so that it refuses what we would before decoding anything.
DecodeError Open(const PictureBytes& bytes, DecoderPtr& out)
{
    out.reset(avifDecoderCreate());
    if (!out)
        return DecodeError::OutOfMemory;
    avifDecoder* d = out.get();
    d->imageSizeLimit = static_cast<std::uint32_t>(kMaxDecodedBytes / 4);
    d->imageDimensionLimit = static_cast<std::uint32_t>(kMaxPictureSide);
    // Files from cameras and phones that bend the rules are read as viewers read them.
    d->strictFlags = AVIF_STRICT_DISABLED;
    d->ignoreXMP = AVIF_TRUE;
    d->ignoreExif = AVIF_TRUE;
    if (const DecodeError e = Named(avifDecoderSetIOMemory(d, bytes.data(), bytes.size())); e != DecodeError::None)
        return e;
    if (const DecodeError e = Named(avifDecoderParse(d)); e != DecodeError::None) {
        // The library refuses sizes beyond its limits (ours) as a parse
        // failure; only its message tells the two apart.
        if (e == DecodeError::BadHeader && std::strstr(d->diag.error, "too large") != nullptr)
            return DecodeError::TooLarge;
        return e;
    }
    if (const DecodeError e = CheckDimensions(d->image->width, d->image->height); e != DecodeError::None)
        return e;
    // Threads pay for themselves on photos, not on stickers; the codec is
    // made with the first frame, so this still counts.
    if (std::uint64_t{d->image->width} * d->image->height >= (1u << 20))
        d->maxThreads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    return DecodeError::None;
}

int Orientation(const avifImage& image)
{
    const int turns = (image.transformFlags & AVIF_TRANSFORM_IROT) ? image.irot.angle & 3 : 0;
    const int mirror = (image.transformFlags & AVIF_TRANSFORM_IMIR) ? image.imir.mode : -1;
    return OrientationOfTransforms(turns, mirror);
}

PhotoColour Colour(const avifImage& image)
{
    PhotoColour colour;
    if (image.icc.size > 0)
        colour.icc.assign(image.icc.data, image.icc.data + image.icc.size);
    colour.primaries = image.colorPrimaries;
    colour.transfer = image.transferCharacteristics;
    return colour;
}

// The frame the decoder holds, as a picture of its own orientation and
// colours; `into` is reused when its size fits.
DecodeError Convert(const avifDecoder& decoder, int width, int height, Image& into)
{
    const avifImage& frame = *decoder.image;
    // A coded frame of another size than the file declared is damage.
    if (static_cast<int>(frame.width) != width || static_cast<int>(frame.height) != height)
        return DecodeError::CorruptData;
    if (into.width != width || into.height != height || into.Empty())
        if (const DecodeError e = AllocateImageUninitialised(into, width, height); e != DecodeError::None)
            return e;
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, decoder.image);
    rgb.depth = 8;
    rgb.format = std::endian::native == std::endian::little ? AVIF_RGB_FORMAT_BGRA : AVIF_RGB_FORMAT_ARGB;
    rgb.alphaPremultiplied = AVIF_FALSE;
    rgb.pixels = reinterpret_cast<std::uint8_t*>(into.pixels.data());
    rgb.rowBytes = static_cast<std::uint32_t>(width) * 4;
    if (const DecodeError e = Named(avifImageYUVToRGB(decoder.image, &rgb)); e != DecodeError::None)
        return e;
    ConvertToSrgb(into, Colour(frame));
    if (!ApplyOrientation(into, Orientation(frame))) {
        into = {};
        return DecodeError::OutOfMemory;
    }
    into.opaque = !decoder.alphaPresent;
    return DecodeError::None;
}

class AvifAnimation final : public Animation {
public:
    struct Index {
        int width = 0, height = 0; // as coded, before orientation
        int shownWidth = 0, shownHeight = 0;
        std::vector<double> delays; // milliseconds as stored
    };

    AvifAnimation(std::shared_ptr<const PictureBytes> bytes, std::shared_ptr<const Index> index, DecoderPtr decoder,
                  DecodeError openError = DecodeError::None)
        : bytes_(std::move(bytes)), index_(std::move(index)), decoder_(std::move(decoder)), openError_(openError)
    {
    }

    int Width() const override { return index_->shownWidth; }
    int Height() const override { return index_->shownHeight; }
    std::size_t FrameCount() const override { return index_->delays.size(); }
    int LoopCount() const override { return 0; }
    int DelayMs(std::size_t index) const override
    {
        return FrameDelayMs(index < index_->delays.size() ? index_->delays[index] : 0.0);
    }

    DecodeError Advance() override
    {
        if (!decoder_)
            return openError_;
        if (!primed_) {
            if (next_ == 0 || next_ >= FrameCount())
                Restart();
            if (const DecodeError e = Named(avifDecoderNextImage(decoder_.get())); e != DecodeError::None) {
                next_ = 0; // a broken frame ends the round
                return e;
            }
        }
        primed_ = false;
        // Converted into a canvas of its own first, so a frame that fails
        // leaves the last good one on show.
        if (const DecodeError e = Convert(*decoder_, index_->width, index_->height, spare_); e != DecodeError::None) {
            next_ = 0;
            return e;
        }
        std::swap(canvas_, spare_);
        current_ = next_++;
        if (next_ >= FrameCount())
            next_ = 0;
        return DecodeError::None;
    }

    void Reset() override
    {
        if (primed_)
            return;
        next_ = 0;
    }
    const Image& Canvas() const override { return canvas_; }
    std::size_t Current() const override { return current_; }

    std::unique_ptr<Animation> Clone() const override
    {
        DecoderPtr decoder;
        const DecodeError e = Open(*bytes_, decoder);
        if (e != DecodeError::None)
            decoder.reset();
        return std::make_unique<AvifAnimation>(bytes_, index_, std::move(decoder), e);
    }

    // The first frame as the still picture; the player keeps the decoded
    // frame, so its first Advance converts it again without decoding.
    DecodeError First(Image& still)
    {
        if (const DecodeError e = Advance(); e != DecodeError::None)
            return e;
        still = std::move(canvas_);
        canvas_ = {};
        primed_ = true;
        next_ = 0;
        return DecodeError::None;
    }

private:
    void Restart()
    {
        next_ = 0;
        if (decoder_->imageIndex >= 0)
            avifDecoderReset(decoder_.get());
    }

    std::shared_ptr<const PictureBytes> bytes_;
    std::shared_ptr<const Index> index_;
    DecoderPtr decoder_;    // null when a clone could not open the bytes
    DecodeError openError_; // why not
    Image canvas_, spare_;
    std::size_t current_ = 0, next_ = 0;
    bool primed_ = false;
};

} // namespace

int OrientationOfTransforms(int quarterTurns, int mirror)
{
    // Rows: quarter turns 0 to 3; columns: no mirror, top-bottom, left-right.
    static constexpr int kTable[4][3] = {{1, 4, 2}, {8, 5, 7}, {3, 2, 4}, {6, 7, 5}};
    const int column = mirror == 0 ? 1 : mirror == 1 ? 2 : 0;
    return kTable[quarterTurns & 3][column];
}

DecodeError DecodeAvifPicture(std::shared_ptr<const PictureBytes> bytes, Image& still,
                              std::unique_ptr<Animation>& animation)
{
    still = {};
    animation.reset();
    if (!bytes || bytes->empty())
        return DecodeError::TruncatedInput;
    DecoderPtr decoder;
    if (const DecodeError e = Open(*bytes, decoder); e != DecodeError::None)
        return e;
    const int width = static_cast<int>(decoder->image->width), height = static_cast<int>(decoder->image->height);
    if (decoder->imageCount <= 1) {
        if (const DecodeError e = Named(avifDecoderNextImage(decoder.get())); e != DecodeError::None)
            return e;
        const DecodeError e = Convert(*decoder, width, height, still);
        if (e != DecodeError::None)
            still = {};
        return e;
    }
    if (const DecodeError e = CheckDimensions(width, height, kSequenceBytes); e != DecodeError::None)
        return e;
    auto index = std::make_shared<AvifAnimation::Index>();
    index->width = width;
    index->height = height;
    const bool turned = Orientation(*decoder->image) >= 5;
    index->shownWidth = turned ? height : width;
    index->shownHeight = turned ? width : height;
    index->delays.reserve(static_cast<std::size_t>(decoder->imageCount));
    for (int i = 0; i < decoder->imageCount; ++i) {
        avifImageTiming timing{};
        avifDecoderNthImageTiming(decoder.get(), static_cast<std::uint32_t>(i), &timing);
        index->delays.push_back(timing.duration * 1000.0);
    }
    auto player = std::make_unique<AvifAnimation>(std::move(bytes), std::move(index), std::move(decoder));
    if (const DecodeError e = player->First(still); e != DecodeError::None) {
        still = {};
        return e;
    }
    animation = std::move(player);
    return DecodeError::None;
}

} // namespace mugrove
