#pragma once

// What the program knows of clips without reading one: whether bytes look
// like a video container, and the face of a clip's reader, which stands in
// the program for one in a decoder process. Plain C++ with no codec library.

#include "controls/clips/ClipFrameTimes.h"
#include "controls/decoders/Image.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace mugrove {

// The longest stretch of a clip played when it opens, in seconds.
inline constexpr double kDefaultSegmentSeconds = 15.0;
// The longest stretch that can be chosen: a reaction GIF is seconds long,
// and the frame times of a longer one would take long to gather.
inline constexpr double kMaxSegmentSeconds = 60.0;

// True when the leading bytes are those of a video container: an ISO base
// media file whose `ftyp` names a video brand, or an EBML header (WebM,
// Matroska). Picture containers of the same family (HEIF, AVIF) are not.
bool LooksLikeClip(std::span<const std::uint8_t> head);

// What a clip is as opened; fixed from then on.
struct ClipFacts {
    int width = 0, height = 0; // as shown: turned upright, pixels made square
    int rotation = 0;          // clockwise, to show it upright: 0, 90, 180 or 270
    // The whole clip's length in seconds, as its container tells it (or,
    // when that is missing, the segment's end); and the segment's start and
    // end, counted from the first frame.
    double length = 0;
    double segmentStart = 0, segmentEnd = 0;
};

// Where the frames of a segment go as they are decoded, on the thread that
// decodes them.
class ClipFrameSink {
public:
    virtual ~ClipFrameSink() = default;
    // Asked before each packet is read: false ends the round at once. A
    // sink that keeps only so many frames waits here for room.
    virtual bool Proceed() { return true; }
    // Frame `index` of the segment, at the clip's display size. The sink may
    // take the pixels, leaving a spare image (or none) in their place. False
    // ends the round.
    virtual bool Take(std::size_t index, Image& frame) = 0;
    // Once the decoder was asked for sound (OpenSound): `frames` samples of
    // interleaved floats, the first heard `seconds` after the segment's
    // start (before it when negative), in time order, interleaved with the
    // frames as the file holds them. False ends the round.
    virtual bool TakeSound(const float* samples, std::size_t frames, double seconds)
    {
        (void)samples, (void)frames, (void)seconds;
        return true;
    }
};

// A clip's sound as the decoder hands it on: interleaved floats.
struct ClipSoundFormat {
    int sampleRate = 0;
    int channels = 0;
};

// A clip's segment read once, with its sound: the decoder below, or one in
// a decoder process standing in for it.
class ClipReader {
public:
    virtual ~ClipReader() = default;
    virtual const ClipFacts& Facts() const = 0;
    // The segment's frames, from their timestamps, so that a variable
    // frame rate plays as recorded: the first from the segment's start, the
    // last until its end.
    virtual const ClipFrameTimes& Times() const = 0;
    // Decodes the segment once, handing its frames to `sink` in order,
    // until its last frame, the end of the data, or the sink says to stop.
    // Data that cannot be decoded is passed over. Returns how many frames
    // it handed to the sink.
    virtual std::size_t DecodeSegment(ClipFrameSink& sink) = 0;
    // From now on each round also decodes the clip's sound (its default
    // sound stream) over the segment, in the same reading of the file, and
    // hands it to the sink; a round then ends when both the frames and the
    // sound have reached the segment's end. Returns the sound's format; none
    // when the clip has no sound, or when its sound cannot be decoded (then
    // `why` says why).
    virtual std::optional<ClipSoundFormat> OpenSound(std::string& why) = 0;
    // Why the last round gave the sink nothing: OutOfMemory when memory ran
    // out on the way, else CorruptData.
    virtual DecodeError Problem() const = 0;
};

} // namespace mugrove
