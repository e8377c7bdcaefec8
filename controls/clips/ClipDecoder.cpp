#include "controls/clips/ClipDecoder.h"

#include "ClipLibav.h" // the reader's own, beside this file
#include "ClipSound.h"
#include "controls/decoders/Orientation.h"

extern "C" {
#include <libavutil/display.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace mugrove {

using namespace clips;

namespace {

// Packets past the segment's end read before its frames are all known or
// decoded: frames stored out of order (B-frames) may still belong to it.
constexpr int kReorderSlack = 32;
// How far past the segment's end video may be read while waiting for its
// sound: files interleave their streams well within this, and a sound that
// ends early is filled with silence by whoever takes it.
constexpr double kSoundWaitSeconds = 2.0;
// Frames of a segment at most: the longest at one frame every kMinClipFrameMs.
constexpr std::size_t kMaxSegmentFrames = static_cast<std::size_t>(kMaxSegmentSeconds * 1000 / kMinClipFrameMs);

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

// Sizes `image` for w × h pixels about to be written, keeping its block
// when it has that size already.
DecodeError Fit(Image& image, int w, int h)
{
    if (image.width == w && image.height == h && image.pixels.size() == static_cast<std::size_t>(w) * h)
        return DecodeError::None;
    return AllocateImageUninitialised(image, w, h);
}

// Converts decoded frames to 0xAARRGGBB at the clip's display size, turned
// upright.
class FrameConverter {
public:
    void Shape(const ClipFacts& facts)
    {
        width_ = facts.width;
        height_ = facts.height;
        rotation_ = facts.rotation;
    }
    DecodeError Convert(const AVFrame& frame, Image& out);

private:
    void MatchColours(const AVFrame& frame);

    int width_ = 0, height_ = 0, rotation_ = 0;
    ScalerPtr sws_;
    int colourSpace_ = -1, colourRange_ = -1; // as the scaler was last told
    Image turned_;                            // a frame before its quarter turn
};

void FrameConverter::MatchColours(const AVFrame& frame)
{
    const int frameSpace = StoredCode(frame.colorspace);
    const int frameRange = StoredCode(frame.color_range);
    if (frameSpace == colourSpace_ && frameRange == colourRange_)
        return;
    colourSpace_ = frameSpace;
    colourRange_ = frameRange;
    // Clips that do not say are BT.709 from HD up, BT.601 below; a code we
    // do not know is taken as not said.
    int space = colourSpace_;
    if (space < 0 || space == AVCOL_SPC_UNSPECIFIED || space == AVCOL_SPC_RESERVED || space >= AVCOL_SPC_NB)
        space = frame.height >= 720 ? SWS_CS_ITU709 : SWS_CS_DEFAULT;
    sws_setColorspaceDetails(sws_.get(), sws_getCoefficients(space), colourRange_ == AVCOL_RANGE_JPEG,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
}

DecodeError FrameConverter::Convert(const AVFrame& frame, Image& out)
{
    if (frame.width <= 0 || frame.height <= 0)
        return DecodeError::CorruptData;
    if (const DecodeError e = CheckDimensions(frame.width, frame.height); e != DecodeError::None)
        return e;
    // A quarter turn scales to the turned size first, then turns.
    const bool sideways = rotation_ % 180 != 0;
    const int w = sideways ? height_ : width_;
    const int h = sideways ? width_ : height_;
    // The cached scaler is freed when a new one is made in its place.
    sws_.reset(sws_getCachedContext(sws_.release(), frame.width, frame.height,
                                    static_cast<AVPixelFormat>(frame.format), w, h, AV_PIX_FMT_RGB32,
                                    SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!sws_)
        return DecodeError::CorruptData;
    MatchColours(frame);
    // Both targets are pixel blocks, with the slack past their last row
    // that the scaler's whole-vector writes need.
    Image& target = sideways ? turned_ : out;
    if (const DecodeError e = Fit(target, w, h); e != DecodeError::None)
        return e;
    std::uint8_t* planes[4] = {reinterpret_cast<std::uint8_t*>(target.pixels.data()), nullptr, nullptr, nullptr};
    const int strides[4] = {w * 4, 0, 0, 0};
    if (sws_scale(sws_.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) != h)
        return DecodeError::CorruptData;
    if (rotation_ == 180)
        std::reverse(out.pixels.begin(), out.pixels.end());
    if (!sideways)
        return DecodeError::None;
    if (const DecodeError e = Fit(out, width_, height_); e != DecodeError::None)
        return e;
    // A quarter turn clockwise is EXIF orientation 6, three quarters 8.
    TurnRowsInto(out, turned_.pixels.data(), 0, h, w, h, rotation_ == 90 ? 6 : 8);
    return DecodeError::None;
}

} // namespace

// The decoder's libav side: the container, the video stream's decoder, and
// what a round of decoding needs.
struct ClipDecoder::Libav {
    ClipInput input;
    int stream = -1;
    CodecPtr codec;
    PacketPtr packet{av_packet_alloc()};
    FramePtr frame{av_frame_alloc()};
    FrameConverter converter;
    Image image; // the frame being converted, until the sink takes it
    AVRational timeBase{1, 1};
    std::int64_t origin = AV_NOPTS_VALUE; // the stamp of time 0
    std::int64_t segmentEnd = 0;          // a stamp past the segment's last frame
    double containerLength = 0;           // the length when only the container tells it
    std::unique_ptr<ClipSound> sound;     // when sound was asked for and can be decoded
    double segmentFrom = 0, segmentTo = 0; // the segment on the clip's own clock, in seconds

    // One pass over the segment.
    struct Round {
        ClipFrameSink& sink;
        const std::vector<std::int64_t>& stamps;
        std::size_t next = 0; // the index the next frame must have at least
        std::size_t given = 0;
        DecodeError problem = DecodeError::CorruptData;
        bool stopped = false;   // the sink said so
        bool videoOver = false; // the segment's last frame is handed on, or the decoder gave up
        bool soundOver = true;  // no sound is decoded, or it has reached the segment's end
    };

    DecodeError ChooseStream(ClipFacts& facts);
    DecodeError OpenCodec(const AVCodec& decoder, const AVCodecParameters& parameters);
    bool Ours(const AVPacket& p) const { return p.stream_index == stream && (p.flags & AV_PKT_FLAG_DISCARD) == 0; }
    bool Seek(std::int64_t stamp);
    bool FindOrigin();
    std::vector<StampedFrame> ReadStamps(std::int64_t start, std::int64_t limit);
    void Decode(Round& round);
    void ReadVideo(Round& round, int& past);
    void ReadSound(Round& round);
    void SoundRuns(Round& round, const AVPacket* p);
    bool Receive(Round& round);
    bool Deliver(Round& round);
};

namespace {

// The clip's display size and turn from its stream's header.
DecodeError ShownSize(AVFormatContext& format, AVStream& st, ClipFacts& facts)
{
    const AVCodecParameters& par = *st.codecpar;
    if (par.width <= 0 || par.height <= 0)
        return DecodeError::UnsupportedDimension;
    if (const DecodeError e = CheckDimensions(par.width, par.height); e != DecodeError::None)
        return e;
    // Pixels that are not square are stretched wide; the height stays. No
    // camera or broadcast format has pixels more than twice as wide as high
    // (or half): an aspect beyond 8:1 either way is a damaged header, whose
    // stretch would only make every frame scale up to a huge picture, so
    // its pixels are shown square.
    double w = par.width;
    const AVRational sar = av_guess_sample_aspect_ratio(&format, &st, nullptr);
    if (sar.num > 0 && sar.den > 0 && sar.num <= 8.0 * sar.den && sar.den <= 8.0 * sar.num)
        w = std::round(w * sar.num / sar.den);
    if (w < 1 || w > static_cast<double>(kMaxPictureSide))
        return DecodeError::TooLarge;
    facts.width = static_cast<int>(w);
    facts.height = par.height;
    if (const std::uint8_t* matrix = av_stream_get_side_data(&st, AV_PKT_DATA_DISPLAYMATRIX, nullptr)) {
        // The matrix turns counter-clockwise; shown upright, a clip turns back.
        const double turn = -av_display_rotation_get(reinterpret_cast<const std::int32_t*>(matrix));
        if (std::isfinite(turn)) {
            const long quarter = std::lround(turn / 90.0);
            facts.rotation = static_cast<int>(((quarter % 4) + 4) % 4) * 90;
        }
    }
    if (facts.rotation % 180 != 0)
        std::swap(facts.width, facts.height);
    return CheckDimensions(facts.width, facts.height);
}

} // namespace

DecodeError ClipDecoder::Libav::ChooseStream(ClipFacts& facts)
{
    AVFormatContext& format = input.Format();
    const AVCodec* decoder = nullptr;
    stream = av_find_best_stream(&format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (stream < 0 || decoder == nullptr)
        return stream == AVERROR_DECODER_NOT_FOUND ? DecodeError::Unsupported : DecodeError::Unrecognised;
    AVStream& st = *format.streams[stream];
    // Sound and every other stream are skipped unread.
    for (unsigned i = 0; i < format.nb_streams; ++i)
        if (static_cast<int>(i) != stream)
            format.streams[i]->discard = AVDISCARD_ALL;
    if (const DecodeError e = ShownSize(format, st, facts); e != DecodeError::None)
        return e;
    if (const DecodeError e = OpenCodec(*decoder, *st.codecpar); e != DecodeError::None)
        return e;
    converter.Shape(facts);
    timeBase = st.time_base;
    if (timeBase.num <= 0 || timeBase.den <= 0)
        return DecodeError::BadHeader;
    // Without a start time the first frame read gives it.
    origin = st.start_time;
    // The video's own length; the container's may include longer sound.
    facts.length = 0;
    if (st.duration > 0)
        facts.length = static_cast<double>(st.duration) * av_q2d(timeBase);
    else if (format.duration > 0)
        containerLength = facts.length = static_cast<double>(format.duration) / AV_TIME_BASE;
    if (!std::isfinite(facts.length) || facts.length < 0)
        facts.length = 0;
    return DecodeError::None;
}

DecodeError ClipDecoder::Libav::OpenCodec(const AVCodec& decoder, const AVCodecParameters& parameters)
{
    codec.reset(avcodec_alloc_context3(&decoder));
    if (!codec)
        return DecodeError::OutOfMemory;
    if (const int e = avcodec_parameters_to_context(codec.get(), &parameters); e < 0)
        return FromLibav(e, DecodeError::Unsupported);
    // The decoder refuses frames beyond the caps, whatever later headers say.
    codec->max_pixels = static_cast<std::int64_t>(kMaxDecodedBytes / 4);
    codec->thread_count = 1;
    if (const int e = avcodec_open2(codec.get(), &decoder, nullptr); e < 0)
        return FromLibav(e, DecodeError::Unsupported);
    return DecodeError::None;
}

// Moves reading to the key frame at or before `stamp`; when the container
// cannot seek by time, back to its first byte.
bool ClipDecoder::Libav::Seek(std::int64_t stamp)
{
    if (av_seek_frame(&input.Format(), stream, stamp, AVSEEK_FLAG_BACKWARD) >= 0)
        return true;
    return avformat_seek_file(&input.Format(), -1, INT64_MIN, 0, 0, AVSEEK_FLAG_BYTE) >= 0;
}

// Without a start time in the header, the first of the stream's frames read
// gives time 0; reading goes back to the beginning afterwards.
bool ClipDecoder::Libav::FindOrigin()
{
    if (origin != AV_NOPTS_VALUE)
        return true;
    while (origin == AV_NOPTS_VALUE && av_read_frame(&input.Format(), packet.get()) >= 0) {
        if (Ours(*packet))
            origin = PacketStamp(*packet);
        av_packet_unref(packet.get());
    }
    if (origin == AV_NOPTS_VALUE)
        return false;
    Seek(origin);
    return true;
}

// The stamped frames of the segment from `start` to before `limit`, in time
// order: the frame on show at the start is the last one stamped at or
// before it (frames come in decoding order, so any of those read may be it);
// the others come after it.
std::vector<StampedFrame> ClipDecoder::Libav::ReadStamps(std::int64_t start, std::int64_t limit)
{
    std::optional<StampedFrame> before;
    std::vector<StampedFrame> found;
    int past = 0;
    // A damaged or cut file ends the reading: its frames so far are played.
    while (av_read_frame(&input.Format(), packet.get()) >= 0) {
        const bool ours = Ours(*packet);
        const StampedFrame read{PacketStamp(*packet), packet->duration};
        av_packet_unref(packet.get());
        if (!ours || read.stamp == AV_NOPTS_VALUE || read.stamp < origin)
            continue;
        if (read.stamp >= limit) {
            if (++past > kReorderSlack)
                break;
            continue;
        }
        if (read.stamp <= start) {
            if (!before || read.stamp > before->stamp)
                before = read;
            continue;
        }
        found.push_back(read);
        if (found.size() >= 4 * kMaxSegmentFrames)
            break;
    }
    std::sort(found.begin(), found.end());
    if (before)
        found.insert(found.begin(), *before);
    return found;
}

ClipDecoder::ClipDecoder() : av_(std::make_unique<Libav>()) {}

ClipDecoder::~ClipDecoder() = default;

DecodeError ClipDecoder::Open(const ClipSource& source, ClipSegment segment, std::unique_ptr<ClipDecoder>& out)
{
    out.reset();
    try {
        std::unique_ptr<ClipDecoder> decoder(new ClipDecoder);
        Libav& av = *decoder->av_;
        if (!av.packet || !av.frame)
            return DecodeError::OutOfMemory;
        DecodeError e = av.input.Open(source);
        if (e == DecodeError::None)
            e = av.ChooseStream(decoder->facts_);
        if (e == DecodeError::None)
            e = decoder->ReadFrameTimes(segment);
        if (e == DecodeError::None)
            out = std::move(decoder);
        return e;
    } catch (const std::bad_alloc&) {
        return DecodeError::OutOfMemory;
    }
}

DecodeError ClipDecoder::ReadFrameTimes(ClipSegment segment)
{
    Libav& av = *av_;
    const double tb = av_q2d(av.timeBase);
    if (!av.FindOrigin())
        return DecodeError::CorruptData;
    // Times are counted from the origin: one near the ends of the range
    // leaves no room to count in.
    if (av.origin > (INT64_MAX >> 2) || av.origin < -(INT64_MAX >> 2))
        return DecodeError::BadHeader;
    // A container's length counts from its time 0, not the first frame's.
    if (av.containerLength > 0)
        facts_.length = std::max(0.0, av.containerLength - static_cast<double>(av.origin) * tb);
    const double start = std::isfinite(segment.start) ? std::max(0.0, segment.start) : 0.0;
    double limit = segment.end > start ? std::min(segment.end, start + kMaxSegmentSeconds)
                                       : start + kDefaultSegmentSeconds;
    if (facts_.length > 0)
        limit = std::min(limit, std::max(facts_.length, start));
    const auto startStamp = av.origin + static_cast<std::int64_t>(std::llround(start / tb));
    const auto limitStamp = av.origin + static_cast<std::int64_t>(std::ceil(limit / tb));
    if (start > 0)
        av.Seek(startStamp);
    const std::vector<StampedFrame> frames = av.ReadStamps(startStamp, limitStamp);
    // Up to the end asked for, or up to where the clip's own length ends it.
    std::optional<double> cut;
    if (facts_.length > 0 || segment.end > start)
        cut = limit - start;
    times_ = TimeFrames(frames, startStamp, tb, cut, kMaxSegmentFrames);
    if (times_.stamps.empty())
        return DecodeError::CorruptData;
    facts_.segmentStart = start;
    facts_.segmentEnd = start + times_.spanSeconds;
    if (facts_.length <= 0)
        facts_.length = facts_.segmentEnd;
    av.segmentEnd = times_.stamps.back() + 1;
    av.segmentFrom = static_cast<double>(av.origin) * tb + start;
    av.segmentTo = av.segmentFrom + times_.spanSeconds;
    return DecodeError::None;
}

std::size_t ClipDecoder::DecodeSegment(ClipFrameSink& sink)
{
    Libav::Round round{sink, times_.stamps};
    av_->Decode(round);
    problem_ = round.problem;
    return round.given;
}

std::optional<ClipSoundFormat> ClipDecoder::OpenSound(std::string& why)
{
    why.clear();
    Libav& av = *av_;
    if (!av.sound) {
        auto sound = std::make_unique<ClipSound>();
        if (!sound->Open(av.input.Format(), av.stream, why))
            return std::nullopt;
        av.sound = std::move(sound);
    }
    return ClipSoundFormat{av.sound->SampleRate(), av.sound->Channels()};
}

// Reads the segment's packets in order and sends each to its stream's
// decoder: the video's frames are taken as they come out and, when sound
// was asked for, the sound's runs too; the decoders are drained at the end.
void ClipDecoder::Libav::Decode(Round& round)
{
    avcodec_flush_buffers(codec.get());
    round.soundOver = !sound;
    if (sound)
        sound->Flush();
    if (!Seek(round.stamps.front()))
        return;
    int past = 0; // video packets read past the segment's end
    for (;;) {
        if (!round.sink.Proceed())
            return;
        // The segment's end, the data's end or damage ends the reading.
        if ((round.videoOver && round.soundOver) || av_read_frame(&input.Format(), packet.get()) < 0)
            break;
        if (packet->stream_index == stream)
            ReadVideo(round, past);
        else if (sound && packet->stream_index == sound->Stream() && !round.soundOver)
            ReadSound(round);
        av_packet_unref(packet.get());
        if (round.stopped)
            return;
    }
    if (!round.videoOver && round.sink.Proceed()) {
        avcodec_send_packet(codec.get(), nullptr);
        Receive(round);
    }
    if (!round.soundOver && !round.stopped && round.sink.Proceed())
        SoundRuns(round, nullptr);
}

// The video packet just read.
void ClipDecoder::Libav::ReadVideo(Round& round, int& past)
{
    const std::int64_t stamp = PacketStamp(*packet);
    const bool beyond = stamp != AV_NOPTS_VALUE && stamp >= segmentEnd;
    if (round.videoOver) {
        // Waiting for the sound: not for ever.
        if (beyond && static_cast<double>(stamp - segmentEnd) * av_q2d(timeBase) > kSoundWaitSeconds)
            round.soundOver = true;
        return;
    }
    if (beyond)
        ++past;
    // Data that cannot be decoded is passed over: what can be is shown.
    const int sent = avcodec_send_packet(codec.get(), packet.get());
    if (sent == AVERROR(ENOMEM))
        round.problem = DecodeError::OutOfMemory;
    if (!Receive(round)) {
        round.videoOver = true;
        return;
    }
    // Far enough past the end: the frames still held are the last.
    if (past > kReorderSlack) {
        round.videoOver = true;
        if (!round.sink.Proceed()) {
            round.stopped = true;
            return;
        }
        avcodec_send_packet(codec.get(), nullptr);
        Receive(round);
    }
}

// The sound packet just read.
void ClipDecoder::Libav::ReadSound(Round& round)
{
    const std::int64_t stamp = PacketStamp(*packet);
    if (stamp != AV_NOPTS_VALUE && stamp >= sound->StampAt(segmentTo)) {
        round.soundOver = true;
        SoundRuns(round, nullptr); // what the decoder still holds
        return;
    }
    SoundRuns(round, packet.get());
}

// Sends `p` (null: the end) to the sound's decoder and hands on the runs it
// gives that reach into the segment.
void ClipDecoder::Libav::SoundRuns(Round& round, const AVPacket* p)
{
    const int rate = sound->SampleRate();
    const bool goOn = sound->Send(p, [&](const float* samples, std::size_t frames, double seconds) {
        const double from = seconds - segmentFrom;
        if (from + static_cast<double>(frames) / rate <= 0)
            return true;
        return round.sink.TakeSound(samples, frames, from);
    });
    if (!goOn)
        round.stopped = true;
}

// Takes every frame the decoder has ready; false when the round ends.
bool ClipDecoder::Libav::Receive(Round& round)
{
    for (;;) {
        const int got = avcodec_receive_frame(codec.get(), frame.get());
        if (got == AVERROR(EAGAIN))
            return true; // it wants the next packet
        if (got < 0) {
            // Drained, or the decoder gave up.
            if (got == AVERROR(ENOMEM))
                round.problem = DecodeError::OutOfMemory;
            return false;
        }
        const bool goOn = Deliver(round);
        av_frame_unref(frame.get());
        if (!goOn)
            return false;
    }
}

// Converts the frame just decoded and hands it on when it is the segment's
// next; false when the round ends.
bool ClipDecoder::Libav::Deliver(Round& round)
{
    const std::int64_t stamp = frame->best_effort_timestamp;
    const auto it = std::lower_bound(round.stamps.begin(), round.stamps.end(), stamp);
    const auto index = static_cast<std::size_t>(it - round.stamps.begin());
    // Frames before the segment, between its frames' times or already
    // handed on are passed over.
    if (it == round.stamps.end() || *it != stamp || index < round.next)
        return true;
    // A frame that cannot be converted is skipped.
    if (const DecodeError e = converter.Convert(*frame, image); e != DecodeError::None) {
        if (e == DecodeError::OutOfMemory)
            round.problem = e;
        return true;
    }
    const bool goOn = round.sink.Take(index, image);
    ++round.given;
    round.next = index + 1;
    round.stopped = !goOn;
    return goOn && round.next < round.stamps.size();
}

} // namespace mugrove
