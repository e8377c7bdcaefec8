#pragma once

// Writing a moving picture as an MP4 (H.264 and AAC, the index in front).
// Plain C++ with no Qt and no libav types, so the encoder can be loaded on
// first use or moved into a process of its own without its callers noticing.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mugrove::mp4 {

// One picture: `height` rows of `width` 32-bit pixels 0xAARRGGBB in the
// machine's byte order (alpha is ignored), `stride` bytes apart, shown from
// `timeUs` microseconds after the start until the next picture.
struct Picture {
    const std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    std::int64_t timeUs = 0;
};

// How sound comes: samples of `channels` interleaved floats in [-1, 1].
struct SoundFormat {
    int sampleRate = 0;
    int channels = 0;
};

// A run of `frames` samples (each `channels` floats), the first of them
// heard `timeUs` microseconds after the start (negative when it starts
// before). Sound before the start or past the end is cut; where no sound
// comes, silence is heard.
struct Sound {
    const float* samples = nullptr;
    std::size_t frames = 0;
    std::int64_t timeUs = 0;
};

// Takes what a source plays; each returns false to stop the playing.
class Receiver {
public:
    virtual ~Receiver() = default;
    virtual bool TakePicture(const Picture& picture) = 0;
    virtual bool TakeSound(const Sound& sound) = 0;
};

// The moving picture to be written. It is played once for each pass the
// encoder makes, each time the same from the start: every picture in time
// order, and its sound, in time order too, interleaved with them as it
// comes. Playing returns false, with why in `failure`, when reading failed.
class Source {
public:
    virtual ~Source() = default;
    virtual bool Play(Receiver& to, std::string& failure) = 0;
};

// What the encoder knows before the first pass: the pictures' size, how
// long the whole lasts (the last picture shows until then), how many
// pictures there are, and the sound's format when there is sound.
struct Description {
    int width = 0;
    int height = 0;
    std::int64_t durationUs = 0;
    std::size_t pictureCount = 0;
    std::optional<SoundFormat> sound;
};

struct Options {
    // The most bytes the file may hold; 0 for any size.
    std::uint64_t limit = 0;
    // Told 0 to 100 as the work goes on; returning false stops it.
    std::function<bool(int percent)> progress;
};

// The written file, whole, or why there is none.
struct Written {
    std::vector<std::uint8_t> bytes; // empty when it failed
    std::string failure;
    // What the encoder settled on.
    int width = 0;
    int height = 0;
    int videoKbps = 0; // 0 when the quality, not a bit rate, was chosen
    int soundKbps = 0; // 0 without sound
    int passes = 0;
};

// Encodes `source` as an MP4 in memory. The pictures keep their times (a
// variable frame rate stays variable); an odd width or height is made even
// by repeating the last column or row. With a limit the file holds at most
// that many bytes, checked before it is handed back, or the encoding fails.
Written Encode(Source& source, const Description& description, const Options& options);

} // namespace mugrove::mp4
