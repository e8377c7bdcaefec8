#include "controls/decoders/Webp.h"

#include "controls/decoders/Exif.h"
#include "controls/decoders/PhotoFinish.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <bit>
#include <cstring>

namespace mugrove {

namespace {

DecodeError Named(VP8StatusCode status)
{
    switch (status) {
    case VP8_STATUS_OK: return DecodeError::None;
    case VP8_STATUS_OUT_OF_MEMORY: return DecodeError::OutOfMemory;
    case VP8_STATUS_INVALID_PARAM: return DecodeError::BadHeader;
    case VP8_STATUS_UNSUPPORTED_FEATURE: return DecodeError::Unsupported;
    case VP8_STATUS_SUSPENDED:
    case VP8_STATUS_NOT_ENOUGH_DATA: return DecodeError::TruncatedInput;
    case VP8_STATUS_BITSTREAM_ERROR:
    case VP8_STATUS_USER_ABORT: break;
    }
    return DecodeError::CorruptData;
}

// Bytes per canvas pixel an animation holds, all copies counted.
constexpr std::uint64_t kCanvasBytes = 4 * 4;

// Decoded bytes per file byte beyond which the library decodes into memory
// of its own first (real photos and screenshots stay far below).
constexpr std::uint64_t kMaxDirectRatio = 1024;

// Four bytes per pixel in the order that reads as 0xAARRGGBB.
constexpr bool kLittle = std::endian::native == std::endian::little;

DecodeError Features(std::span<const std::uint8_t> data, WebPBitstreamFeatures& features)
{
    if (data.empty())
        return DecodeError::TruncatedInput;
    return Named(WebPGetFeatures(data.data(), data.size(), &features));
}

// The same for shared bytes, where none at all are an empty file.
DecodeError Features(const std::shared_ptr<const PictureBytes>& bytes, WebPBitstreamFeatures& features)
{
    return bytes ? Features(*bytes, features) : DecodeError::TruncatedInput;
}

} // namespace

DecodeError DecodeWebp(std::span<const std::uint8_t> data, Image& out)
{
    out = {};
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return DecodeError::Unsupported;
    if (const DecodeError e = Features(data, config.input); e != DecodeError::None)
        return e;
    if (config.input.has_animation)
        return DecodeError::Unsupported;
    if (const DecodeError e = CheckDimensions(config.input.width, config.input.height); e != DecodeError::None)
        return e;
    config.output.colorspace = kLittle ? MODE_BGRA : MODE_ARGB;
    // A file much smaller than its picture is either a plain picture packed
    // tightly or a header with nothing behind it: the library, not the
    // picture, holds the pixels until they are all decoded, so a claim the
    // data cannot meet costs no picture-sized allocation of ours.
    const std::uint64_t bytes = std::uint64_t{4} * static_cast<std::uint64_t>(config.input.width) *
                                static_cast<std::uint64_t>(config.input.height);
    const bool direct = bytes <= kMaxDirectRatio * data.size();
    if (direct) {
        // The library decodes straight into the picture and writes every pixel.
        if (const DecodeError e = AllocateImageUninitialised(out, config.input.width, config.input.height);
            e != DecodeError::None)
            return e;
        config.output.is_external_memory = 1;
        config.output.u.RGBA.rgba = reinterpret_cast<std::uint8_t*>(out.pixels.data());
        config.output.u.RGBA.stride = out.width * 4;
        config.output.u.RGBA.size = out.pixels.size() * sizeof(std::uint32_t);
    }
    const VP8StatusCode status = WebPDecode(data.data(), data.size(), &config);
    DecodeError result = Named(status);
    if (result == DecodeError::None && !direct) {
        result = AllocateImageUninitialised(out, config.input.width, config.input.height);
        if (result == DecodeError::None)
            std::memcpy(out.pixels.data(), config.output.u.RGBA.rgba, out.pixels.size() * sizeof(std::uint32_t));
    }
    WebPFreeDecBuffer(&config.output);
    if (result != DecodeError::None)
        out = {};
    return result;
}

namespace {

WebPAnimDecoder* NewDecoder(const PictureBytes& bytes)
{
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        return nullptr;
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const WebPData data{bytes.data(), bytes.size()};
    return WebPAnimDecoderNew(&data, &options);
}

// Why a file the animation decoder refused cannot be read.
DecodeError WhyRefused(const PictureBytes& bytes)
{
    const WebPData data{bytes.data(), bytes.size()};
    WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
    WebPDemuxer* demux = WebPDemuxPartial(&data, &state);
    WebPDemuxDelete(demux);
    if (state == WEBP_DEMUX_PARSE_ERROR)
        return DecodeError::BadHeader;
    if (state != WEBP_DEMUX_DONE)
        return DecodeError::TruncatedInput;
    return DecodeError::OutOfMemory; // a whole file within the caps: memory ran out
}

} // namespace

DecodeError WebpAnimation::Open(std::shared_ptr<const PictureBytes> bytes, std::unique_ptr<WebpAnimation>& out)
{
    out.reset();
    WebPBitstreamFeatures features;
    if (const DecodeError e = Features(bytes, features); e != DecodeError::None)
        return e;
    if (!features.has_animation)
        return DecodeError::Unsupported;
    // The library keeps the composed canvas and the one before disposal,
    // the player a copy to show and the picture its first frame: all four
    // are checked against the caps before the library allocates its two.
    if (const DecodeError e = CheckDimensions(features.width, features.height, kCanvasBytes); e != DecodeError::None)
        return e;
    WebPAnimDecoder* decoder = NewDecoder(*bytes);
    if (decoder == nullptr)
        return WhyRefused(*bytes);
    auto index = std::make_shared<Index>();
    WebPAnimInfo info;
    WebPAnimDecoderGetInfo(decoder, &info);
    index->width = static_cast<int>(info.canvas_width);
    index->height = static_cast<int>(info.canvas_height);
    index->loopCount = static_cast<int>(std::min<std::uint32_t>(info.loop_count, 65535));
    index->frames.reserve(info.frame_count);
    WebPIterator frame;
    const WebPDemuxer* demux = WebPAnimDecoderGetDemuxer(decoder);
    if (WebPDemuxGetFrame(demux, 1, &frame)) {
        do
            index->frames.push_back({frame.duration, frame.x_offset, frame.y_offset, frame.width, frame.height,
                                     frame.dispose_method == WEBP_MUX_DISPOSE_BACKGROUND});
        while (WebPDemuxNextFrame(&frame));
        WebPDemuxReleaseIterator(&frame);
    }
    if (index->frames.empty() || CheckDimensions(index->width, index->height, kCanvasBytes) != DecodeError::None) {
        WebPAnimDecoderDelete(decoder);
        return DecodeError::BadHeader;
    }
    out.reset(new WebpAnimation(std::move(bytes), std::move(index), decoder));
    return DecodeError::None;
}

WebpAnimation::WebpAnimation(std::shared_ptr<const PictureBytes> bytes, std::shared_ptr<const Index> index,
                             WebPAnimDecoder* decoder)
    : bytes_(std::move(bytes)), index_(std::move(index)), frames_(&index_->frames), width_(index_->width),
      height_(index_->height), loopCount_(index_->loopCount), decoder_(decoder)
{
}

WebpAnimation::~WebpAnimation()
{
    WebPAnimDecoderDelete(decoder_);
}

int WebpAnimation::DelayMs(std::size_t index) const
{
    if (index >= frames_->size())
        return 50;
    const int stored = (*frames_)[index].delay;
    if (stored <= 0)
        return 50;
    return std::max(stored, 10);
}

DecodeError WebpAnimation::Advance()
{
    // Only a clone lacks its decoder: the bytes opened before, so memory ran out.
    if (decoder_ == nullptr)
        return DecodeError::OutOfMemory;
    if (restart_ || (primed_ == nullptr && !WebPAnimDecoderHasMoreFrames(decoder_)))
        Reset();
    const std::uint8_t* frame = primed_;
    primed_ = nullptr;
    if (frame == nullptr) {
        std::uint8_t* decoded = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(decoder_, &decoded, &timestamp) || decoded == nullptr) {
            restart_ = true;
            return DecodeError::CorruptData;
        }
        frame = decoded;
    }
    shown_ = frame;
    // The library composes onto a canvas of its own; only what the frame
    // changed is copied over: its rectangle, and the last frame's when that
    // was disposed. A new round, or a new canvas, takes everything.
    if (canvas_.Empty() || next_ == 0) {
        const DecodeError e =
            canvas_.Empty() ? AllocateImageUninitialised(canvas_, width_, height_) : DecodeError::None;
        if (e != DecodeError::None) {
            restart_ = true;
            return e;
        }
        CopyArea(frame, Frame{0, 0, 0, width_, height_, false});
    } else {
        CopyArea(frame, (*frames_)[next_]);
        if ((*frames_)[current_].disposed)
            CopyArea(frame, (*frames_)[current_]);
    }
    current_ = next_++;
    return DecodeError::None;
}

void WebpAnimation::CopyArea(const std::uint8_t* from, const Frame& area)
{
    // The demuxer keeps every frame inside the canvas; clip all the same.
    const int x0 = std::clamp(area.x, 0, width_), x1 = std::clamp(area.x + area.width, x0, width_);
    const int y0 = std::clamp(area.y, 0, height_), y1 = std::clamp(area.y + area.height, y0, height_);
    const std::size_t stride = static_cast<std::size_t>(width_) * 4;
    for (int y = y0; y < y1; ++y) {
        std::uint32_t* row = canvas_.Row(y) + x0;
        std::memcpy(row, from + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x0) * 4,
                    static_cast<std::size_t>(x1 - x0) * 4);
        if constexpr (!kLittle)
            for (std::uint32_t* p = row; p != row + (x1 - x0); ++p)
                *p = (*p >> 24) | ((*p >> 8) & 0xFF00u) | ((*p << 8) & 0xFF0000u) | (*p << 24);
    }
}

void WebpAnimation::Reset()
{
    if (primed_ != nullptr)
        return; // still at the start, the first frame at hand
    if (decoder_ != nullptr)
        WebPAnimDecoderReset(decoder_);
    next_ = 0;
    restart_ = false;
}

std::unique_ptr<Animation> WebpAnimation::Clone() const
{
    return std::unique_ptr<Animation>(new WebpAnimation(bytes_, index_, NewDecoder(*bytes_)));
}

namespace {

// The EXIF orientation and colour profile of an extended-layout file;
// nothing asked of a plain one, or of chunks that cannot be read.
PhotoFinish ReadFinish(const PictureBytes& bytes)
{
    PhotoFinish finish;
    const WebPData data{bytes.data(), bytes.size()};
    WebPDemuxer* demux = WebPDemux(&data);
    if (demux == nullptr)
        return finish;
    WebPChunkIterator chunk;
    if (WebPDemuxGetChunk(demux, "EXIF", 1, &chunk)) {
        finish.orientation = ReadExifOrientation({chunk.chunk.bytes, chunk.chunk.size});
        WebPDemuxReleaseChunkIterator(&chunk);
    }
    if (WebPDemuxGetChunk(demux, "ICCP", 1, &chunk)) {
        std::unique_ptr<SrgbConversion> colour;
        IccConversion({chunk.chunk.bytes, chunk.chunk.size}, SrgbConversion::Input::Argb, colour);
        finish.colour = std::move(colour);
        WebPDemuxReleaseChunkIterator(&chunk);
    }
    WebPDemuxDelete(demux);
    return finish;
}

} // namespace

// The picture the right way up and in sRGB; an animation's frames alike.
DecodeError DecodeWebpPicture(std::shared_ptr<const PictureBytes> bytes, Image& still,
                              std::unique_ptr<Animation>& animation)
{
    const std::shared_ptr<const PictureBytes> kept = bytes;
    if (const DecodeError e = DecodeWebpAsStored(std::move(bytes), still, animation); e != DecodeError::None)
        return e;
    const PhotoFinish finish = ReadFinish(*kept);
    if (finish.Nothing())
        return DecodeError::None;
    if (!finish.Apply(still)) {
        still = {};
        animation.reset();
        return DecodeError::OutOfMemory;
    }
    animation = FinishAnimation(std::move(animation), finish);
    return DecodeError::None;
}

DecodeError DecodeWebpAsStored(std::shared_ptr<const PictureBytes> bytes, Image& still,
                               std::unique_ptr<Animation>& animation)
{
    still = {};
    animation.reset();
    WebPBitstreamFeatures features;
    if (const DecodeError e = Features(bytes, features); e != DecodeError::None)
        return e;
    if (!features.has_animation)
        return DecodeWebp(*bytes, still);
    std::unique_ptr<WebpAnimation> player;
    if (const DecodeError e = WebpAnimation::Open(std::move(bytes), player); e != DecodeError::None)
        return e;
    // The still picture is the first frame; a player that cannot show it
    // has nothing to show.
    if (const DecodeError e = player->Advance(); e != DecodeError::None)
        return e;
    // The first frame moves over to be the still picture; the player makes
    // a canvas again when it plays.
    still = std::move(player->canvas_);
    player->canvas_ = {};
    if (player->FrameCount() > 1) {
        // Back at the start, with the first frame still kept by the library.
        player->primed_ = player->shown_;
        player->next_ = 0;
        animation = std::move(player);
    }
    return DecodeError::None;
}

} // namespace mugrove
