#include "controls/decoders/Jxl.h"

#include "controls/decoders/PhotoColour.h"

#include <jxl/decode.h>
#include <jxl/resizable_parallel_runner.h>

#include <algorithm>
#include <vector>

namespace mugrove {

namespace {

// Bytes per canvas pixel an animation holds: the library's own frame, the
// player's two canvases and the still picture.
constexpr std::uint64_t kAnimationBytes = 4 * 4;

// More frames than any animation a person makes; a file that claims more is
// refused rather than indexed.
constexpr std::size_t kMaxFrames = 1 << 16;

const JxlPixelFormat kRgba8{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};

struct DecoderFree {
    void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};
struct RunnerFree {
    void operator()(void* r) const { JxlResizableParallelRunnerDestroy(r); }
};

bool IsSrgb(const JxlColorEncoding& c)
{
    return c.color_space == JXL_COLOR_SPACE_RGB && c.white_point == JXL_WHITE_POINT_D65 &&
           c.primaries == JXL_PRIMARIES_SRGB && c.transfer_function == JXL_TRANSFER_FUNCTION_SRGB;
}

// One pass of the library's decoder over the file, frame after frame.
class JxlStream {
public:
    JxlStream(std::shared_ptr<const PictureBytes> bytes, bool pixels) : bytes_(std::move(bytes)), pixels_(pixels)
    {
        decoder_.reset(JxlDecoderCreate(nullptr));
        if (pixels_)
            runner_.reset(JxlResizableParallelRunnerCreate(nullptr));
        if (!decoder_ || (pixels_ && !runner_) || !Setup())
            decoder_.reset();
    }

    // False when the library could not make its decoder or thread runner:
    // memory ran out.
    bool Usable() const { return decoder_ != nullptr; }
    // Decodes up to the header: its size and whether it is animated.
    DecodeError Header()
    {
        Image none;
        bool ended = false;
        pauseAtInfo_ = true;
        const DecodeError e = Next(none, ended);
        pauseAtInfo_ = false;
        if (e == DecodeError::None && !haveInfo_)
            return ended ? DecodeError::CorruptData : DecodeError::BadHeader;
        return e;
    }
    const JxlBasicInfo& Info() const { return info_; }
    bool HaveInfo() const { return haveInfo_; }
    // The picture's size the way up it is shown.
    int Width() const { return info_.orientation >= JXL_ORIENT_TRANSPOSE ? int(info_.ysize) : int(info_.xsize); }
    int Height() const { return info_.orientation >= JXL_ORIENT_TRANSPOSE ? int(info_.xsize) : int(info_.ysize); }

    // Decodes until the next whole frame is in `into` (reused when of the
    // right size), or the file ends (`ended`). `bytesPerPixel` is what the
    // caller will hold per canvas pixel, checked against the caps.
    DecodeError Next(Image& into, bool& ended, std::uint64_t bytesPerPixel = 4)
    {
        ended = false;
        if (!decoder_)
            return DecodeError::OutOfMemory;
        for (;;) {
            switch (JxlDecoderProcessInput(decoder_.get())) {
            case JXL_DEC_BASIC_INFO:
                if (JxlDecoderGetBasicInfo(decoder_.get(), &info_) != JXL_DEC_SUCCESS)
                    return DecodeError::BadHeader;
                haveInfo_ = true;
                if (const DecodeError e = CheckDimensions(Width(), Height(), bytesPerPixel); e != DecodeError::None)
                    return e;
                // Threads pay for themselves on photos, not on stickers. Set
                // here even when the caller stops at the header: the decode
                // that follows does not see this event again.
                if (runner_)
                    JxlResizableParallelRunnerSetThreads(
                        runner_.get(), JxlResizableParallelRunnerSuggestThreads(info_.xsize, info_.ysize));
                if (!pixels_ || pauseAtInfo_)
                    return DecodeError::None; // the caller reads the header first
                break;
            case JXL_DEC_COLOR_ENCODING: ReadColour(); break;
            case JXL_DEC_FRAME: {
                JxlFrameHeader header;
                if (JxlDecoderGetFrameHeader(decoder_.get(), &header) != JXL_DEC_SUCCESS)
                    return DecodeError::CorruptData;
                delays_.push_back(header.duration);
                if (delays_.size() > kMaxFrames)
                    return DecodeError::TooLarge;
                break;
            }
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
                std::size_t size = 0;
                if (JxlDecoderImageOutBufferSize(decoder_.get(), &kRgba8, &size) != JXL_DEC_SUCCESS)
                    return DecodeError::CorruptData;
                if (into.width != Width() || into.height != Height() || into.Empty())
                    if (const DecodeError e = AllocateImageUninitialised(into, Width(), Height()); e != DecodeError::None)
                        return e;
                if (size != into.pixels.size() * 4)
                    return DecodeError::CorruptData;
                if (JxlDecoderSetImageOutBuffer(decoder_.get(), &kRgba8, into.pixels.data(), size) != JXL_DEC_SUCCESS)
                    return DecodeError::CorruptData;
                break;
            }
            case JXL_DEC_FULL_IMAGE:
                // R, G, B, A in memory into 0xAARRGGBB, in place.
                RgbaToArgbOver(into);
                ConvertToSrgb(into, colour_);
                into.opaque = info_.alpha_bits == 0;
                return DecodeError::None;
            case JXL_DEC_SUCCESS: ended = true; return DecodeError::None;
            case JXL_DEC_NEED_MORE_INPUT: return DecodeError::TruncatedInput;
            case JXL_DEC_ERROR: return haveInfo_ ? DecodeError::CorruptData : DecodeError::BadHeader;
            default: return DecodeError::CorruptData;
            }
        }
    }

    // Back to the start of the file, for another round: a decoder as new
    // (the library's own rewind leaves one that asks for more input).
    void Rewind()
    {
        if (!decoder_)
            return;
        JxlDecoderReset(decoder_.get());
        if (!Setup())
            decoder_.reset();
    }

    const std::vector<std::uint32_t>& Delays() const { return delays_; }

private:
    bool Setup()
    {
        JxlDecoder* d = decoder_.get();
        if (pixels_) {
            if (JxlDecoderSetParallelRunner(d, JxlResizableParallelRunner, runner_.get()) != JXL_DEC_SUCCESS)
                return false;
            JxlDecoderSetUnpremultiplyAlpha(d, JXL_TRUE);
        }
        const int events = pixels_ ? JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE
                                   : JXL_DEC_BASIC_INFO | JXL_DEC_FRAME;
        // The input is left open, so a file that ends too soon asks for
        // more instead of failing like damaged data.
        return JxlDecoderSubscribeEvents(d, events) == JXL_DEC_SUCCESS &&
               JxlDecoderSetInput(d, bytes_->data(), bytes_->size()) == JXL_DEC_SUCCESS;
    }

    void ReadColour()
    {
        colour_ = {};
        // A picture coded in the library's own colour space comes out in
        // sRGB when asked, with no conversion of ours.
        JxlColorEncoding srgb{};
        srgb.color_space = JXL_COLOR_SPACE_RGB;
        srgb.white_point = JXL_WHITE_POINT_D65;
        srgb.primaries = JXL_PRIMARIES_SRGB;
        srgb.transfer_function = JXL_TRANSFER_FUNCTION_SRGB;
        srgb.rendering_intent = JXL_RENDERING_INTENT_PERCEPTUAL;
        JxlDecoderSetPreferredColorProfile(decoder_.get(), &srgb);
        JxlColorEncoding encoding;
        if (JxlDecoderGetColorAsEncodedProfile(decoder_.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &encoding) ==
            JXL_DEC_SUCCESS) {
            // Grey pictures come out as equal red, green and blue, shown as they are.
            if (IsSrgb(encoding) || encoding.color_space != JXL_COLOR_SPACE_RGB)
                return;
        }
        std::size_t size = 0;
        if (JxlDecoderGetICCProfileSize(decoder_.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) !=
                JXL_DEC_SUCCESS ||
            size == 0 || size > (std::size_t{4} << 20))
            return;
        colour_.icc.resize(size);
        if (JxlDecoderGetColorAsICCProfile(decoder_.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA, colour_.icc.data(),
                                           size) != JXL_DEC_SUCCESS)
            colour_.icc.clear();
    }

    std::shared_ptr<const PictureBytes> bytes_;
    bool pixels_ = true;
    bool pauseAtInfo_ = false;
    std::unique_ptr<JxlDecoder, DecoderFree> decoder_;
    std::unique_ptr<void, RunnerFree> runner_;
    JxlBasicInfo info_{};
    bool haveInfo_ = false;
    PhotoColour colour_;
    std::vector<std::uint32_t> delays_;
};

class JxlAnimation final : public Animation {
public:
    struct Index {
        int width = 0, height = 0, loopCount = 0;
        std::vector<double> delays; // milliseconds as stored
    };

    JxlAnimation(const std::shared_ptr<const PictureBytes>& bytes, std::shared_ptr<const Index> index)
        : index_(std::move(index)), bytes_(bytes), stream_(bytes, true)
    {
    }

    int Width() const override { return index_->width; }
    int Height() const override { return index_->height; }
    std::size_t FrameCount() const override { return index_->delays.size(); }
    int LoopCount() const override { return index_->loopCount; }
    int DelayMs(std::size_t index) const override
    {
        return FrameDelayMs(index < index_->delays.size() ? index_->delays[index] : 0.0);
    }

    DecodeError Advance() override
    {
        if (primed_) {
            primed_ = false;
            std::swap(canvas_, spare_);
            current_ = 0;
            next_ = 1;
            return DecodeError::None;
        }
        if (next_ == 0 || next_ >= FrameCount()) {
            if (started_)
                stream_.Rewind();
            next_ = 0;
        }
        started_ = true;
        bool ended = false;
        // Decoded into a canvas of its own first, so a frame that fails
        // leaves the last good one on show.
        DecodeError e = stream_.Next(spare_, ended, kAnimationBytes);
        if (e == DecodeError::None && ended)
            e = DecodeError::TruncatedInput; // fewer frames than the index found
        if (e == DecodeError::None && (spare_.width != Width() || spare_.height != Height()))
            e = DecodeError::CorruptData;
        if (e != DecodeError::None) {
            next_ = 0;
            return e;
        }
        std::swap(canvas_, spare_);
        current_ = next_++;
        return DecodeError::None;
    }

    void Reset() override
    {
        if (!primed_)
            next_ = 0;
    }
    const Image& Canvas() const override { return canvas_; }
    std::size_t Current() const override { return current_; }
    std::unique_ptr<Animation> Clone() const override;

    // The first frame as the still picture; a copy stays with the player so
    // that its first round does not decode it again.
    DecodeError First(Image& still)
    {
        if (const DecodeError e = Advance(); e != DecodeError::None)
            return e;
        still = canvas_;
        std::swap(canvas_, spare_);
        primed_ = true;
        return DecodeError::None;
    }

private:
    std::shared_ptr<const Index> index_;
    std::shared_ptr<const PictureBytes> bytes_;
    JxlStream stream_;
    Image canvas_, spare_;
    std::size_t current_ = 0, next_ = 0;
    bool started_ = false, primed_ = false;
};

std::unique_ptr<Animation> JxlAnimation::Clone() const
{
    return std::make_unique<JxlAnimation>(bytes_, index_);
}

// Reads on from the header for the frames' delays, without decoding their
// pixels, then plays.
DecodeError MakeAnimation(const std::shared_ptr<const PictureBytes>& bytes, JxlStream& scan, Image& still,
                          std::unique_ptr<Animation>& animation)
{
    Image none;
    for (bool ended = false; !ended;)
        if (const DecodeError e = scan.Next(none, ended, kAnimationBytes); e != DecodeError::None)
            return e;
    const JxlBasicInfo& info = scan.Info();
    auto index = std::make_shared<JxlAnimation::Index>();
    index->width = scan.Width();
    index->height = scan.Height();
    index->loopCount = static_cast<int>(std::min<std::uint32_t>(info.animation.num_loops, 65535));
    // Ticks of tps_denominator / tps_numerator seconds.
    const double tick = info.animation.tps_numerator == 0
                            ? 0.0
                            : 1000.0 * info.animation.tps_denominator / info.animation.tps_numerator;
    for (const std::uint32_t ticks : scan.Delays())
        index->delays.push_back(ticks * tick);
    if (index->delays.empty())
        return DecodeError::CorruptData;
    auto player = std::make_unique<JxlAnimation>(bytes, index);
    if (const DecodeError e = player->First(still); e != DecodeError::None) {
        still = {};
        return e;
    }
    if (index->delays.size() > 1)
        animation = std::move(player);
    return DecodeError::None;
}

} // namespace

DecodeError DecodeJxlPicture(std::shared_ptr<const PictureBytes> bytes, Image& still,
                             std::unique_ptr<Animation>& animation)
{
    still = {};
    animation.reset();
    if (!bytes || bytes->empty())
        return DecodeError::TruncatedInput;
    JxlStream stream(bytes, true);
    if (!stream.Usable())
        return DecodeError::OutOfMemory;
    if (const DecodeError e = stream.Header(); e != DecodeError::None)
        return e;
    DecodeError e = DecodeError::None;
    if (stream.Info().have_animation) {
        // Played from an index of its frames, read by a pass of its own.
        JxlStream scan(bytes, false);
        e = scan.Usable() ? MakeAnimation(bytes, scan, still, animation) : DecodeError::OutOfMemory;
    } else {
        bool ended = false;
        e = stream.Next(still, ended);
        if (e == DecodeError::None && ended)
            e = DecodeError::CorruptData; // no frame at all
    }
    if (e != DecodeError::None)
        still = {};
    return e;
}

} // namespace mugrove
