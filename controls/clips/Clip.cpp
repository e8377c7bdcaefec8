#include "controls/clips/Clip.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace mugrove {

namespace {

// The value libav stored in an enum-typed field of a frame, as a plain
// integer: the decoder copies such codes from the file unchecked, so the
// field may hold a value its enum does not have, which must not be loaded
// as that enum.
template <class Enum>
int StoredCode(const Enum& field)
{
    static_assert(std::is_enum_v<Enum> && sizeof(Enum) == sizeof(int));
    int code = 0;
    std::memcpy(&code, &field, sizeof code);
    return code;
}

bool At(std::span<const std::uint8_t> d, std::size_t at, const char* text)
{
    const std::size_t n = std::strlen(text);
    return d.size() >= at + n && std::memcmp(d.data() + at, text, n) == 0;
}

// Brands of the ISO base media family that hold video. HEIF and AVIF
// brands (heic, mif1, avif, ...) are pictures and are not listed.
constexpr const char* kVideoBrands[] = {"isom", "iso2", "iso3", "iso4", "iso5", "iso6", "mp41", "mp42",
                                        "avc1", "qt  ", "M4V ", "M4VH", "M4VP", "3gp4", "3gp5", "3gp6",
                                        "3g2a", "dash", "mmp4", "MSNV", "f4v ", "XAVC", "av01"};

bool VideoBrand(std::span<const std::uint8_t> d, std::size_t at)
{
    for (const char* brand : kVideoBrands)
        if (At(d, at, brand))
            return true;
    return false;
}

// Reads the source for the demuxer: no other file is ever opened.
class Reader {
public:
    virtual ~Reader() = default;
    virtual int Read(std::uint8_t* to, int size) = 0;
    virtual std::int64_t Seek(std::int64_t offset, int whence) = 0;
};

class MemoryReader final : public Reader {
public:
    explicit MemoryReader(std::shared_ptr<const PictureBytes> bytes) : bytes_(std::move(bytes)) {}
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

class FileReader final : public Reader {
public:
    explicit FileReader(std::FILE* file) : file_(file)
    {
        if (fseeko(file_, 0, SEEK_END) == 0)
            size_ = ftello(file_);
        fseeko(file_, 0, SEEK_SET);
    }
    ~FileReader() override { std::fclose(file_); }
    int Read(std::uint8_t* to, int size) override
    {
        const std::size_t n = std::fread(to, 1, static_cast<std::size_t>(std::max(size, 0)), file_);
        return n == 0 ? AVERROR_EOF : static_cast<int>(n);
    }
    std::int64_t Seek(std::int64_t offset, int whence) override
    {
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE: return size_ >= 0 ? size_ : AVERROR(ENOSYS);
        case SEEK_SET:
        case SEEK_CUR:
        case SEEK_END:
            if (fseeko(file_, offset, whence & ~AVSEEK_FORCE) != 0)
                return AVERROR(EINVAL);
            return ftello(file_);
        default: return AVERROR(EINVAL);
        }
    }

private:
    std::FILE* file_;
    std::int64_t size_ = -1;
};

int ReadPacket(void* opaque, std::uint8_t* to, int size)
{
    return static_cast<Reader*>(opaque)->Read(to, size);
}

std::int64_t SeekTo(void* opaque, std::int64_t offset, int whence)
{
    return static_cast<Reader*>(opaque)->Seek(offset, whence);
}

// References to other files (a QuickTime data reference, say) are never
// followed: a clip is what its own bytes hold.
int RefuseOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**)
{
    return AVERROR(EPERM);
}

constexpr int kIoBufferBytes = 64 << 10;
// Frames decoded ahead are kept within this, and between 3 and 8 of them.
constexpr std::uint64_t kAheadBytes = 32ull << 20;
// Packets past the segment's end read while its frame times are gathered:
// frames stored out of order (B-frames) may still belong to it.
constexpr int kReorderSlack = 32;
// Frames of a segment at most: the longest at one frame every kMinClipFrameMs.
constexpr std::size_t kMaxSegmentFrames = static_cast<std::size_t>(kMaxSegmentSeconds * 1000 / kMinClipFrameMs);

} // namespace

bool LooksLikeClip(std::span<const std::uint8_t> head)
{
    if (head.size() >= 4 && head[0] == 0x1A && head[1] == 0x45 && head[2] == 0xDF && head[3] == 0xA3)
        return true;
    // ISO base media: a box of type ftyp first, then the major brand and,
    // after a minor version, the compatible brands.
    if (!At(head, 4, "ftyp") || head.size() < 12)
        return false;
    const std::size_t boxSize = (std::size_t{head[0]} << 24) | (std::size_t{head[1]} << 16) |
                                (std::size_t{head[2]} << 8) | head[3];
    if (VideoBrand(head, 8))
        return true;
    if (boxSize < 16)
        return false;
    for (std::size_t at = 16; at + 4 <= std::min(boxSize, head.size()); at += 4)
        if (VideoBrand(head, at) && !At(head, 8, "heic") && !At(head, 8, "heix") && !At(head, 8, "mif1") &&
            !At(head, 8, "msf1") && !At(head, 8, "avif") && !At(head, 8, "avis"))
            return true;
    return false;
}

struct ClipPlayer::Impl {
    ClipSource source;
    ClipSegment asked;                // as asked for, kept for clones
    std::unique_ptr<Reader> reader;
    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwsContext* sws = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;
    AVRational timeBase{1, 1};
    std::int64_t origin = 0;      // the timestamp of time 0
    std::int64_t segmentEnd = 0;  // in the stream's time base, past the last frame
    int width = 0, height = 0;    // as shown: rotated, pixels made square
    int rotation = 0;
    double length = 0, segmentStartSeconds = 0, segmentEndSeconds = 0;
    double containerLength = 0; // the length when only the container tells it
    std::vector<std::int64_t> stamps; // the segment's frames, in time order
    std::vector<int> startMs;         // when each frame shows, from the segment's start
    int lastDelayMs = 0;
    int colourSpace = -1, colourRange = -1;
    Image turned; // a frame before its rotation
    bool draining = false;

    // Shared with the worker.
    std::thread worker;
    std::mutex mutex;
    std::condition_variable wake;
    struct Ready {
        std::size_t index;
        Image image;
        std::shared_ptr<const void> workResult;
    };
    Animation::FrameWork work;
    std::deque<Ready> ready;
    std::vector<Image> spare;
    std::size_t ahead = 3;
    bool stop = false, restart = false, failed = false;

    ~Impl()
    {
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        wake.notify_all();
        if (worker.joinable())
            worker.join();
        sws_freeContext(sws);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
        if (io != nullptr) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }

    DecodeError Prepare(ClipSource from, ClipSegment segment);
    DecodeError OpenDemuxer(std::span<const std::uint8_t> head);
    DecodeError ChooseStream();
    bool FindOrigin();
    DecodeError ReadFrameTimes(ClipSegment segment);
    bool SeekToStart();
    int DecodeNext();
    bool Convert(Image& out);
    void Run();
};

DecodeError ClipPlayer::Impl::OpenDemuxer(std::span<const std::uint8_t> head)
{
    if (!LooksLikeClip(head))
        return DecodeError::Unrecognised;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    if (buffer == nullptr)
        return DecodeError::TooLarge;
    io = avio_alloc_context(buffer, kIoBufferBytes, 0, reader.get(), ReadPacket, nullptr, SeekTo);
    if (io == nullptr) {
        av_free(buffer);
        return DecodeError::TooLarge;
    }
    format = avformat_alloc_context();
    if (format == nullptr)
        return DecodeError::TooLarge;
    format->pb = io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    format->io_open = RefuseOpen;
    format->max_streams = static_cast<int>(kMaxClipStreams);
    // Only the two container families recognised are ever parsed.
    const AVInputFormat* kind = av_find_input_format(head[0] == 0x1A ? "matroska" : "mov");
    if (avformat_open_input(&format, nullptr, kind, nullptr) < 0) {
        format = nullptr; // freed by the failed open
        return DecodeError::BadHeader;
    }
    if (format->nb_streams > kMaxClipStreams)
        return DecodeError::Unsupported;
    return DecodeError::None;
}

DecodeError ClipPlayer::Impl::ChooseStream()
{
    const AVCodec* decoder = nullptr;
    stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (stream < 0 || decoder == nullptr)
        return stream == AVERROR_DECODER_NOT_FOUND ? DecodeError::Unsupported : DecodeError::Unrecognised;
    AVStream* st = format->streams[stream];
    // Sound and every other stream are skipped unread.
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if (static_cast<int>(i) != stream)
            format->streams[i]->discard = AVDISCARD_ALL;
    const AVCodecParameters* par = st->codecpar;
    if (par->width <= 0 || par->height <= 0)
        return DecodeError::UnsupportedDimension;
    if (const DecodeError e = CheckDimensions(par->width, par->height); e != DecodeError::None)
        return e;

    // Pixels that are not square are stretched wide; the height stays.
    double w = par->width;
    const AVRational sar = av_guess_sample_aspect_ratio(format, st, nullptr);
    if (sar.num > 0 && sar.den > 0)
        w = std::round(w * sar.num / sar.den);
    if (w < 1 || w > static_cast<double>(kMaxPictureSide))
        return DecodeError::TooLarge;
    width = static_cast<int>(w);
    height = par->height;
    if (const std::uint8_t* matrix = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, nullptr)) {
        // The matrix turns counter-clockwise; shown upright, a clip turns back.
        const double turn = -av_display_rotation_get(reinterpret_cast<const std::int32_t*>(matrix));
        if (std::isfinite(turn)) {
            const long quarter = std::lround(turn / 90.0);
            rotation = static_cast<int>(((quarter % 4) + 4) % 4) * 90;
        }
    }
    if (rotation % 180 != 0)
        std::swap(width, height);
    if (const DecodeError e = CheckDimensions(width, height); e != DecodeError::None)
        return e;

    codec = avcodec_alloc_context3(decoder);
    if (codec == nullptr || avcodec_parameters_to_context(codec, par) < 0)
        return DecodeError::Unsupported;
    // The decoder refuses frames beyond the caps, whatever later headers say.
    codec->max_pixels = static_cast<std::int64_t>(kMaxDecodedBytes / 4);
    codec->thread_count = 1;
    if (avcodec_open2(codec, decoder, nullptr) < 0)
        return DecodeError::Unsupported;
    timeBase = st->time_base;
    if (timeBase.num <= 0 || timeBase.den <= 0)
        return DecodeError::BadHeader;
    // Without a start time the first frame read gives it.
    origin = st->start_time != AV_NOPTS_VALUE ? st->start_time : AV_NOPTS_VALUE;
    // The video's own length; the container's may include longer sound.
    length = 0;
    if (st->duration > 0)
        length = static_cast<double>(st->duration) * av_q2d(timeBase);
    else if (format->duration > 0)
        containerLength = length = static_cast<double>(format->duration) / AV_TIME_BASE;
    if (!std::isfinite(length) || length < 0)
        length = 0;
    return DecodeError::None;
}

// Without a start time in the header, the first of the stream's frames read
// gives time 0; reading goes back to the beginning afterwards.
bool ClipPlayer::Impl::FindOrigin()
{
    if (origin != AV_NOPTS_VALUE)
        return true;
    while (origin == AV_NOPTS_VALUE && av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == stream && (packet->flags & AV_PKT_FLAG_DISCARD) == 0)
            origin = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        av_packet_unref(packet);
    }
    if (origin == AV_NOPTS_VALUE)
        return false;
    if (av_seek_frame(format, stream, origin, AVSEEK_FLAG_BACKWARD) < 0)
        avformat_seek_file(format, -1, INT64_MIN, 0, 0, AVSEEK_FLAG_BYTE);
    return true;
}

DecodeError ClipPlayer::Impl::ReadFrameTimes(ClipSegment segment)
{
    const double tb = av_q2d(timeBase);
    if (!FindOrigin())
        return DecodeError::CorruptData;
    // Times are counted from the origin: one near the ends of the range
    // leaves no room to count in.
    if (origin > (INT64_MAX >> 2) || origin < -(INT64_MAX >> 2))
        return DecodeError::BadHeader;
    // A container's length counts from its time 0, not the first frame's.
    if (containerLength > 0)
        length = std::max(0.0, containerLength - static_cast<double>(origin) * tb);
    const double start = std::isfinite(segment.start) ? std::max(0.0, segment.start) : 0.0;
    double limit = segment.end > start ? std::min(segment.end, start + kMaxSegmentSeconds)
                                       : start + kDefaultSegmentSeconds;
    if (length > 0)
        limit = std::min(limit, std::max(length, start));
    const auto startStamp = origin + static_cast<std::int64_t>(std::llround(start / tb));
    const auto limitStamp = origin + static_cast<std::int64_t>(std::ceil(limit / tb));
    if (start > 0 && av_seek_frame(format, stream, startStamp, AVSEEK_FLAG_BACKWARD) < 0)
        avformat_seek_file(format, -1, INT64_MIN, 0, 0, AVSEEK_FLAG_BYTE);

    // The frame on show at the start is the last one stamped at or before
    // it (frames come in decoding order, so any of those read may be it);
    // the segment's others come after it and before its end.
    std::pair<std::int64_t, std::int64_t> before{AV_NOPTS_VALUE, 0}; // stamp, duration
    std::vector<std::pair<std::int64_t, std::int64_t>> found;
    int past = 0;
    // A damaged or cut file ends the reading: its frames so far are played.
    while (av_read_frame(format, packet) >= 0) {
        const bool ours = packet->stream_index == stream && (packet->flags & AV_PKT_FLAG_DISCARD) == 0;
        const std::int64_t stamp = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        const std::int64_t duration = packet->duration;
        av_packet_unref(packet);
        if (!ours || stamp == AV_NOPTS_VALUE || stamp < origin)
            continue;
        if (stamp >= limitStamp) {
            if (++past > kReorderSlack)
                break;
            continue;
        }
        if (stamp <= startStamp) {
            if (before.first == AV_NOPTS_VALUE || stamp > before.first)
                before = {stamp, duration};
            continue;
        }
        found.emplace_back(stamp, duration);
        if (found.size() >= 4 * kMaxSegmentFrames)
            break;
    }
    std::sort(found.begin(), found.end());
    if (before.first != AV_NOPTS_VALUE)
        found.insert(found.begin(), before);
    int lastDuration = 0;
    for (const auto& [stamp, duration] : found) {
        const double from = static_cast<double>(std::max<std::int64_t>(stamp - startStamp, 0)) * tb * 1000.0;
        const auto ms = static_cast<int>(std::llround(from));
        if (!startMs.empty() && ms - startMs.back() < kMinClipFrameMs) {
            // A frame just after the start shows rather than the one before it.
            if (stamps.size() == 1 && stamps[0] < startStamp)
                stamps[0] = stamp;
            continue;
        }
        if (stamps.size() == kMaxSegmentFrames)
            break;
        stamps.push_back(stamp);
        startMs.push_back(ms);
        lastDuration = static_cast<int>(std::clamp<double>(std::round(static_cast<double>(duration) * tb * 1000.0), 0, 60000));
    }
    if (stamps.empty())
        return DecodeError::CorruptData;
    // The last frame shows for as long as it says, else as long as the one before.
    if (lastDuration <= 0)
        lastDuration = stamps.size() > 1 ? startMs.back() - startMs[startMs.size() - 2] : 100;
    lastDelayMs = std::max(lastDuration, kMinClipFrameMs);
    segmentStartSeconds = start;
    double span = (startMs.back() + lastDelayMs) / 1000.0;
    // Up to the end asked for, or up to where the clip's own length ends it.
    if (length > 0 || segment.end > start)
        span = std::min(span, limit - start);
    lastDelayMs = std::max(kMinClipFrameMs, static_cast<int>(std::lround(span * 1000.0)) - startMs.back());
    segmentEndSeconds = start + span;
    if (length <= 0)
        length = segmentEndSeconds;
    segmentEnd = stamps.back() + 1;
    return DecodeError::None;
}

bool ClipPlayer::Impl::SeekToStart()
{
    draining = false;
    avcodec_flush_buffers(codec);
    if (av_seek_frame(format, stream, stamps.front(), AVSEEK_FLAG_BACKWARD) >= 0)
        return true;
    return avformat_seek_file(format, -1, INT64_MIN, 0, 0, AVSEEK_FLAG_BYTE) >= 0;
}

// The next decoded frame: 0, AVERROR_EOF at the segment's or the data's end,
// or another error.
int ClipPlayer::Impl::DecodeNext()
{
    int past = 0;
    for (;;) {
        const int got = avcodec_receive_frame(codec, frame);
        if (got != AVERROR(EAGAIN))
            return got;
        if (draining)
            return AVERROR_EOF;
        // Past the segment, nothing more is read: a packet read would be left unreleased.
        if (past > kReorderSlack || av_read_frame(format, packet) < 0) {
            draining = true;
            avcodec_send_packet(codec, nullptr);
            continue;
        }
        if (packet->stream_index == stream) {
            const std::int64_t stamp = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            if (stamp != AV_NOPTS_VALUE && stamp >= segmentEnd)
                ++past;
            // Data that cannot be decoded is passed over: what can be is shown.
            avcodec_send_packet(codec, packet);
        }
        av_packet_unref(packet);
    }
}

bool ClipPlayer::Impl::Convert(Image& out)
{
    if (frame->width <= 0 || frame->height <= 0 ||
        CheckDimensions(frame->width, frame->height) != DecodeError::None)
        return false;
    const bool sideways = rotation % 180 != 0;
    const int w = sideways ? height : width;
    const int h = sideways ? width : height;
    sws = sws_getCachedContext(sws, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), w, h,
                               AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (sws == nullptr)
        return false;
    const int frameSpace = StoredCode(frame->colorspace);
    const int frameRange = StoredCode(frame->color_range);
    if (frameSpace != colourSpace || frameRange != colourRange) {
        colourSpace = frameSpace;
        colourRange = frameRange;
        // Clips that do not say are BT.709 from HD up, BT.601 below; a code
        // we do not know is taken as not said.
        int space = colourSpace;
        if (space < 0 || space == AVCOL_SPC_UNSPECIFIED || space == AVCOL_SPC_RESERVED || space >= AVCOL_SPC_NB)
            space = frame->height >= 720 ? SWS_CS_ITU709 : SWS_CS_DEFAULT;
        sws_setColorspaceDetails(sws, sws_getCoefficients(space), colourRange == AVCOL_RANGE_JPEG,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    }
    Image& target = sideways ? turned : out;
    if (AllocateImageUninitialised(target, w, h) != DecodeError::None)
        return false;
    std::uint8_t* planes[4] = {reinterpret_cast<std::uint8_t*>(target.pixels.data()), nullptr, nullptr, nullptr};
    const int strides[4] = {w * 4, 0, 0, 0};
    if (sws_scale(sws, frame->data, frame->linesize, 0, frame->height, planes, strides) != h)
        return false;
    if (rotation == 180)
        std::reverse(out.pixels.begin(), out.pixels.end());
    if (!sideways)
        return true;
    if (AllocateImageUninitialised(out, width, height) != DecodeError::None)
        return false;
    // turned is w × h; out is h × w.
    for (int y = 0; y < height; ++y) {
        std::uint32_t* row = out.Row(y);
        for (int x = 0; x < width; ++x)
            row[x] = rotation == 90 ? turned.pixels[static_cast<std::size_t>(h - 1 - x) * w + y]
                                    : turned.pixels[static_cast<std::size_t>(x) * w + (w - 1 - y)];
    }
    return true;
}

void ClipPlayer::Impl::Run()
{
    bool seek = true;
    std::size_t shown = 0; // frames handed over in this round
    std::size_t next = 0;  // the index the next frame must have at least
    for (;;) {
        Image image;
        Animation::FrameWork frameWork;
        {
            std::unique_lock lock(mutex);
            wake.wait(lock, [&] { return stop || restart || (!failed && ready.size() < ahead); });
            if (stop)
                return;
            if (restart) {
                restart = false;
                failed = false;
                seek = true;
            }
            if (!spare.empty()) {
                image = std::move(spare.back());
                spare.pop_back();
            }
            frameWork = work;
        }
        bool fail = false;
        if (seek) {
            seek = false;
            shown = 0;
            next = 0;
            fail = !SeekToStart();
        }
        bool ended = fail;
        if (!fail) {
            const int got = DecodeNext();
            if (got == 0) {
                const std::int64_t stamp = frame->best_effort_timestamp;
                const auto it = std::lower_bound(stamps.begin(), stamps.end(), stamp);
                const bool wanted = it != stamps.end() && *it == stamp && static_cast<std::size_t>(it - stamps.begin()) >= next;
                const auto index = static_cast<std::size_t>(it - stamps.begin());
                bool converted = false;
                std::shared_ptr<const void> workResult;
                if (wanted) {
                    // Memory the system cannot give skips the frame, or
                    // leaves the shower's work to the shower.
                    try {
                        converted = Convert(image);
                        if (converted && frameWork)
                            workResult = frameWork(image);
                    } catch (const std::bad_alloc&) {
                    }
                }
                if (converted) {
                    std::lock_guard lock(mutex);
                    if (!restart) {
                        ready.push_back({index, std::move(image), std::move(workResult)});
                        ++shown;
                        next = index + 1;
                        if (next == stamps.size())
                            seek = true;
                    }
                    wake.notify_all();
                }
                av_frame_unref(frame);
            } else {
                ended = true;
            }
        }
        if (ended) {
            // The round ends where the data does; it fails when it gave nothing.
            seek = true;
            if (shown == 0) {
                std::lock_guard lock(mutex);
                failed = true;
                wake.notify_all();
            }
        }
        if (!image.Empty()) {
            std::lock_guard lock(mutex);
            spare.push_back(std::move(image));
        }
    }
}

ClipPlayer::ClipPlayer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ClipPlayer::~ClipPlayer() = default;

DecodeError ClipPlayer::Impl::Prepare(ClipSource from, ClipSegment segment)
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
    if (from.bytes) {
        headSize = std::min(from.bytes->size(), sizeof head);
        if (headSize > 0)
            std::memcpy(head, from.bytes->data(), headSize);
        reader = std::make_unique<MemoryReader>(from.bytes);
    } else {
        std::FILE* file = std::fopen(from.path.c_str(), "rb");
        if (file == nullptr)
            return DecodeError::Unrecognised;
        headSize = std::fread(head, 1, sizeof head, file);
        reader = std::make_unique<FileReader>(file);
    }
    source = std::move(from);
    asked = segment;
    packet = av_packet_alloc();
    frame = av_frame_alloc();
    if (packet == nullptr || frame == nullptr)
        return DecodeError::TooLarge;
    DecodeError e = OpenDemuxer({head, headSize});
    if (e == DecodeError::None)
        e = ChooseStream();
    if (e == DecodeError::None)
        e = ReadFrameTimes(segment);
    return e;
}

DecodeError ClipPlayer::Open(ClipSource source, std::unique_ptr<ClipPlayer>& out, ClipSegment segment)
{
    out.reset();
    auto impl = std::make_unique<Impl>();
    if (const DecodeError e = impl->Prepare(std::move(source), segment); e != DecodeError::None)
        return e;
    const std::uint64_t frameBytes = std::uint64_t{4} * static_cast<std::uint64_t>(impl->width) *
                                     static_cast<std::uint64_t>(impl->height);
    impl->ahead = static_cast<std::size_t>(std::clamp<std::uint64_t>(kAheadBytes / frameBytes, 3, 8));
    Impl& running = *impl;
    impl->worker = std::thread([&running] { running.Run(); });
    out.reset(new ClipPlayer(std::move(impl)));
    return DecodeError::None;
}

int ClipPlayer::Width() const { return impl_->width; }
int ClipPlayer::Height() const { return impl_->height; }
std::size_t ClipPlayer::FrameCount() const { return impl_->stamps.size(); }
double ClipPlayer::LengthSeconds() const { return impl_->length; }
double ClipPlayer::SegmentStart() const { return impl_->segmentStartSeconds; }
double ClipPlayer::SegmentEnd() const { return impl_->segmentEndSeconds; }
int ClipPlayer::Rotation() const { return impl_->rotation; }

int ClipPlayer::DelayMs(std::size_t index) const
{
    const std::vector<int>& starts = impl_->startMs;
    if (index + 1 < starts.size())
        return starts[index + 1] - starts[index];
    return impl_->lastDelayMs;
}

void ClipPlayer::SetFrameWork(FrameWork work)
{
    std::lock_guard lock(impl_->mutex);
    impl_->work = std::move(work);
}

DecodeError ClipPlayer::Advance()
{
    if (primed_) {
        primed_ = false;
        return DecodeError::None;
    }
    Impl& impl = *impl_;
    std::unique_lock lock(impl.mutex);
    impl.wake.wait(lock, [&] { return !impl.ready.empty() || impl.failed; });
    if (impl.ready.empty())
        return DecodeError::CorruptData;
    Impl::Ready next = std::move(impl.ready.front());
    impl.ready.pop_front();
    std::swap(canvas_, next.image);
    workResult_ = std::move(next.workResult);
    current_ = next.index;
    if (!next.image.Empty())
        impl.spare.push_back(std::move(next.image));
    lock.unlock();
    impl.wake.notify_all();
    return DecodeError::None;
}

void ClipPlayer::Reset()
{
    // Straight after the first frame the worker is already on the second.
    if (current_ == 0 && !canvas_.Empty()) {
        primed_ = true;
        return;
    }
    Impl& impl = *impl_;
    {
        std::lock_guard lock(impl.mutex);
        impl.restart = true;
        for (Impl::Ready& r : impl.ready)
            impl.spare.push_back(std::move(r.image));
        impl.ready.clear();
    }
    impl.wake.notify_all();
    primed_ = false;
    current_ = 0;
}

std::unique_ptr<Animation> ClipPlayer::Clone() const
{
    std::unique_ptr<ClipPlayer> copy;
    if (Open(impl_->source, copy, impl_->asked) != DecodeError::None)
        return nullptr;
    return copy;
}

DecodeError DecodeClip(ClipSource source, Image& still, std::unique_ptr<Animation>& player)
{
    std::unique_ptr<ClipPlayer> clip;
    DecodeError e = DecodeError::TooLarge;
    try {
        e = ClipPlayer::Open(std::move(source), clip);
        if (e == DecodeError::None)
            e = clip->Advance();
        if (e == DecodeError::None)
            still = clip->Canvas();
    } catch (const std::bad_alloc&) {
        e = DecodeError::TooLarge;
    }
    if (e != DecodeError::None) {
        still = {};
        return e;
    }
    // One frame is a still picture.
    if (clip->FrameCount() >= 2) {
        clip->Reset();
        player = std::move(clip);
    }
    return DecodeError::None;
}

DecodeError DecodeClip(ClipSource source, DecodedPicture& out, ClipSegment segment)
{
    out = {};
    std::unique_ptr<ClipPlayer> clip;
    DecodeError e = DecodeError::TooLarge;
    try {
        e = ClipPlayer::Open(source, clip, segment);
        if (e == DecodeError::None)
            e = clip->Advance();
        if (e == DecodeError::None)
            out.image = clip->Canvas();
    } catch (const std::bad_alloc&) {
        e = DecodeError::TooLarge;
    }
    if (e != DecodeError::None) {
        out = {};
        return e;
    }
    out.kind = ImageKind::Clip;
    out.clip = ShownClip{std::move(source), clip->LengthSeconds(), {clip->SegmentStart(), clip->SegmentEnd()}};
    if (clip->FrameCount() >= 2) {
        clip->Reset();
        out.animation = std::move(clip);
    }
    return DecodeError::None;
}

DecodeError DecodeClipFrameAt(const ClipSource& source, double seconds, Image& out)
{
    out = {};
    try {
        ClipPlayer::Impl impl;
        // The stretch holds the frame on show at `seconds` and little more.
        if (const DecodeError e = impl.Prepare(source, {seconds, seconds + 0.001}); e != DecodeError::None)
            return e;
        if (!impl.SeekToStart())
            return DecodeError::CorruptData;
        const std::int64_t wanted = impl.stamps.front();
        while (impl.DecodeNext() == 0) {
            const std::int64_t stamp = impl.frame->best_effort_timestamp;
            const bool found = stamp == wanted && impl.Convert(out);
            av_frame_unref(impl.frame);
            if (found)
                return DecodeError::None;
        }
    } catch (const std::bad_alloc&) {
        return DecodeError::TooLarge;
    }
    out = {};
    return DecodeError::CorruptData;
}

} // namespace mugrove
