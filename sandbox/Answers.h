#pragma once

// What a decoder process answers about what it opened, written by the
// process and read back by the program, which trusts none of it: every
// size, count and kind is checked on reading.

#include "controls/clips/ClipReader.h"
#include "controls/decoders/Image.h"
#include "controls/decoders/ImageKind.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace mugrove::sandbox {

// More frames than this are refused: their delays must fit one message.
inline constexpr std::size_t kMaxFrames = 200'000;

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

// The bytes of a frame of `width` × `height`.
inline std::size_t FrameBytes(int width, int height)
{
    return std::size_t{4} * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

} // namespace mugrove::sandbox
