#include "sandbox/Answers.h"

#include "sandbox/DecoderProcess.h"
#include "sandbox/Wire.h"

#include <cmath>

namespace mugrove::sandbox {

namespace {

bool KnownError(std::uint32_t e) { return e <= static_cast<std::uint32_t>(DecodeError::CannotOpen); }
bool KnownKind(std::uint32_t k) { return k <= static_cast<std::uint32_t>(ImageKind::Clip); }

bool Finite(std::initializer_list<double> values)
{
    for (const double v : values)
        if (!std::isfinite(v))
            return false;
    return true;
}

bool SizeWithinCaps(int width, int height)
{
    return width > 0 && height > 0 && CheckDimensions(width, height) == DecodeError::None;
}

} // namespace

std::vector<std::uint8_t> WriteFacts(const PictureFacts& f)
{
    Writer w(Message::Opened);
    w.Put(static_cast<std::uint32_t>(f.error)).Put(static_cast<std::uint32_t>(f.kind));
    w.Put(std::int32_t{f.width}).Put(std::int32_t{f.height}).Put(std::uint8_t{f.opaque});
    w.Put(std::int32_t{f.loopCount}).PutArray<std::int32_t>(f.delays);
    w.Put(f.length).Put(f.segmentStart).Put(f.segmentEnd);
    const auto bytes = w.Bytes();
    return {bytes.begin(), bytes.end()};
}

bool ReadFacts(std::span<const std::uint8_t> message, PictureFacts& out)
{
    Reader r(message);
    Message type{};
    std::uint32_t error = 0, kind = 0;
    std::int32_t width = 0, height = 0, loops = 0;
    std::uint8_t opaque = 0;
    out = {};
    if (!r.Type(type) || type != Message::Opened || !r.Get(error) || !r.Get(kind) || !r.Get(width) ||
        !r.Get(height) || !r.Get(opaque) || !r.Get(loops) || !r.GetArray(out.delays, kMaxFrames) ||
        !r.Get(out.length) || !r.Get(out.segmentStart) || !r.Get(out.segmentEnd) || !r.Done())
        return false;
    if (!KnownError(error) || !KnownKind(kind) || opaque > 1 || loops < 0 ||
        !Finite({out.length, out.segmentStart, out.segmentEnd}))
        return false;
    out.error = static_cast<DecodeError>(error);
    out.kind = static_cast<ImageKind>(kind);
    out.width = width;
    out.height = height;
    out.opaque = opaque != 0;
    out.loopCount = loops;
    if (out.error != DecodeError::None)
        return true;
    if (!SizeWithinCaps(width, height) || out.delays.size() == 1)
        return false;
    for (const std::int32_t d : out.delays)
        if (d < 0)
            return false;
    return true;
}

std::vector<std::uint8_t> WriteReaderFacts(const ReaderFacts& f)
{
    Writer w(Message::ReaderOpened);
    w.Put(static_cast<std::uint32_t>(f.error));
    w.Put(std::int32_t{f.clip.width}).Put(std::int32_t{f.clip.height}).Put(std::int32_t{f.clip.rotation});
    w.Put(f.clip.length).Put(f.clip.segmentStart).Put(f.clip.segmentEnd);
    w.PutArray<std::int64_t>(f.times.stamps).PutArray<int>(f.times.startMs).PutArray<std::int64_t>(f.times.startUs);
    w.Put(std::int32_t{f.times.lastDelayMs}).Put(f.times.spanSeconds);
    w.Put(std::uint8_t{f.hasSound}).Put(std::int32_t{f.sound.sampleRate}).Put(std::int32_t{f.sound.channels});
    w.PutArray<char>(f.soundProblem);
    const auto bytes = w.Bytes();
    return {bytes.begin(), bytes.end()};
}

bool ReadReaderFacts(std::span<const std::uint8_t> message, ReaderFacts& out)
{
    Reader r(message);
    Message type{};
    std::uint32_t error = 0;
    std::int32_t width = 0, height = 0, rotation = 0, lastDelay = 0, rate = 0, channels = 0;
    std::uint8_t sound = 0;
    std::vector<char> problem;
    out = {};
    ClipFrameTimes& t = out.times;
    if (!r.Type(type) || type != Message::ReaderOpened || !r.Get(error) || !r.Get(width) || !r.Get(height) ||
        !r.Get(rotation) || !r.Get(out.clip.length) || !r.Get(out.clip.segmentStart) || !r.Get(out.clip.segmentEnd) ||
        !r.GetArray(t.stamps, kMaxSegmentFrames) || !r.GetArray(t.startMs, kMaxSegmentFrames) ||
        !r.GetArray(t.startUs, kMaxSegmentFrames) ||
        !r.Get(lastDelay) || !r.Get(t.spanSeconds) || !r.Get(sound) || !r.Get(rate) || !r.Get(channels) ||
        !r.GetArray(problem, 4096) || !r.Done())
        return false;
    if (!KnownError(error) || sound > 1 ||
        !Finite({out.clip.length, out.clip.segmentStart, out.clip.segmentEnd, t.spanSeconds}))
        return false;
    out.error = static_cast<DecodeError>(error);
    out.soundProblem.assign(problem.begin(), problem.end());
    if (out.error != DecodeError::None)
        return true;
    const std::size_t n = t.stamps.size();
    if (!SizeWithinCaps(width, height) || n == 0 || t.startMs.size() != n || t.startUs.size() != n ||
        lastDelay < 0 || (rotation != 0 && rotation != 90 && rotation != 180 && rotation != 270))
        return false;
    for (std::size_t i = 1; i < n; ++i)
        if (t.startMs[i] < t.startMs[i - 1] || t.startUs[i] < t.startUs[i - 1])
            return false;
    // Sound the encoder can take: a rate and a channel layout of real files.
    if (sound && (rate < 1000 || rate > 768'000 || channels < 1 || channels > 8))
        return false;
    out.clip.width = width;
    out.clip.height = height;
    out.clip.rotation = rotation;
    t.lastDelayMs = lastDelay;
    out.hasSound = sound != 0;
    out.sound = {rate, channels};
    return true;
}

std::vector<std::uint8_t> WriteFrame(const FrameAnswer& frame)
{
    Writer w(Message::Frame);
    w.Put(static_cast<std::uint32_t>(frame.error)).Put(frame.index).Put(frame.slot);
    const auto bytes = w.Bytes();
    return {bytes.begin(), bytes.end()};
}

bool ReadFrame(std::span<const std::uint8_t> message, std::uint32_t slots, std::size_t frames, FrameAnswer& out)
{
    Reader r(message);
    Message type{};
    std::uint32_t error = 0;
    if (!r.Type(type) || type != Message::Frame || !r.Get(error) || !r.Get(out.index) || !r.Get(out.slot) ||
        !r.Done() || !KnownError(error) || out.slot >= slots || out.index >= frames)
        return false;
    out.error = static_cast<DecodeError>(error);
    return true;
}

bool ReadSound(std::span<const std::uint8_t> message, int channels, SoundAnswer& out)
{
    Reader r(message);
    Message type{};
    return r.Type(type) && type == Message::Sound && r.Get(out.seconds) &&
           r.GetArray(out.samples, kMaxMessageBytes / sizeof(float)) && r.Done() && channels > 0 &&
           out.samples.size() % static_cast<std::size_t>(channels) == 0 && Finite({out.seconds});
}

bool ReadSegmentEnd(std::span<const std::uint8_t> message, std::uint64_t& count, DecodeError& problem)
{
    Reader r(message);
    Message type{};
    std::uint32_t e = 0;
    if (!r.Type(type) || type != Message::SegmentEnd || !r.Get(count) || !r.Get(e) || !r.Done() || !KnownError(e))
        return false;
    problem = static_cast<DecodeError>(e);
    return true;
}

bool ReadRequest(std::span<const std::uint8_t> message, Request& out)
{
    Reader r(message);
    out = {};
    if (!r.Type(out.type))
        return false;
    std::uint8_t flag = 1;
    switch (out.type) {
    case Message::OpenPicture:
    case Message::Pixels:
    case Message::Reset:
    case Message::ReadSegment: break;
    case Message::OpenClip:
        r.Get(out.segment.start);
        r.Get(out.segment.end);
        break;
    case Message::OpenReader:
        r.Get(out.segment.start);
        r.Get(out.segment.end);
        r.Get(flag);
        break;
    case Message::ClipFrameAt: r.Get(out.seconds); break;
    case Message::Ring:
    case Message::Advance: r.Get(out.slot); break;
    case Message::Proceed:
        r.Get(out.slot);
        r.Get(flag);
        break;
    default: return false;
    }
    if (!r.Done() || flag > 1 || !Finite({out.segment.start, out.segment.end, out.seconds}))
        return false;
    out.withSound = out.go = flag == 1;
    return true;
}

} // namespace mugrove::sandbox
