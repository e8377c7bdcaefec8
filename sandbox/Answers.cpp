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
        !r.GetArray(t.stamps, kMaxFrames) || !r.GetArray(t.startMs, kMaxFrames) || !r.GetArray(t.startUs, kMaxFrames) ||
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

} // namespace mugrove::sandbox
