#pragma once

// What a decoder process answers about what it opened, written by the
// process and read back by the program, which trusts none of it: every
// size, count and kind is checked on reading.

#include "controls/clips/ClipReader.h"
#include "controls/decoders/ClipSource.h"
#include "controls/decoders/Image.h"
#include "controls/decoders/ImageKind.h"
#include "sandbox/Wire.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace mugrove::sandbox {

// More frames than this are refused: their delays must fit one message.
inline constexpr std::size_t kMaxFrames = 32'000;
// A clip's segment has at most a frame every 10 ms for 60 s; its times must
// fit one message.
inline constexpr std::size_t kMaxSegmentFrames = 6'100;

// A picture or clip as opened.
struct PictureFacts {
    DecodeError error = DecodeError::None;
    ImageKind kind = ImageKind::Unrecognised;
    int width = 0, height = 0; // the still picture's, and every frame's
    bool opaque = false;
    int loopCount = 0;
    std::vector<std::int32_t> delays; // one per frame; none for a still picture
    double length = 0, segmentStart = 0, segmentEnd = 0; // a clip's
};

std::vector<std::uint8_t> WriteFacts(const PictureFacts& facts);
// False when the message is not such an answer or breaks a cap.
bool ReadFacts(std::span<const std::uint8_t> message, PictureFacts& out);

// A clip reader as opened.
struct ReaderFacts {
    DecodeError error = DecodeError::None;
    ClipFacts clip;
    ClipFrameTimes times;
    bool hasSound = false;
    ClipSoundFormat sound;
    std::string soundProblem; // why the sound cannot be decoded, when it cannot
};

std::vector<std::uint8_t> WriteReaderFacts(const ReaderFacts& facts);
bool ReadReaderFacts(std::span<const std::uint8_t> message, ReaderFacts& out);

// A frame made into a slot of the ring.
struct FrameAnswer {
    DecodeError error = DecodeError::None;
    std::uint64_t index = 0; // the frame's place in the animation or segment
    std::uint32_t slot = 0;
};
std::vector<std::uint8_t> WriteFrame(const FrameAnswer& frame);
// False unless the slot is below `slots` and the index below `frames`.
bool ReadFrame(std::span<const std::uint8_t> message, std::uint32_t slots, std::size_t frames, FrameAnswer& out);

// Samples of a clip's sound, interleaved, the first heard `seconds` after the segment's start.
struct SoundAnswer {
    double seconds = 0;
    std::vector<float> samples;
};
// False unless the samples are whole frames of `channels`.
bool ReadSound(std::span<const std::uint8_t> message, int channels, SoundAnswer& out);

// The end of a segment's reading: how many frames the process made, and its problem.
bool ReadSegmentEnd(std::span<const std::uint8_t> message, std::uint64_t& count, DecodeError& problem);

// What the program asks, read by the process, which trusts it no more than
// it must: a request that breaks the protocol ends the process.
struct Request {
    Message type{};
    ClipSegment segment;       // OpenClip, OpenReader
    double seconds = 0;        // ClipFrameAt
    bool withSound = false;    // OpenReader
    std::uint32_t slot = 0;    // Advance, Proceed; the slot count for Ring
    bool go = true;            // Proceed: false stops the reading
};
bool ReadRequest(std::span<const std::uint8_t> message, Request& out);

// The bytes of a frame of `width` × `height`.
inline std::size_t FrameBytes(int width, int height)
{
    return std::size_t{4} * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

} // namespace mugrove::sandbox
