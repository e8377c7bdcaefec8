#pragma once

#include "controls/clips/ClipReader.h"
#include "controls/decoders/ClipSource.h"
#include "controls/decoders/Image.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace mugrove {

// A clip with more streams than this is not opened: no real file needs
// them, and each costs the demuxer memory.
inline constexpr unsigned kMaxClipStreams = 64;

// The video stream of a clip, read from its source (never read whole) and
// decoded on the caller's thread, one stretch of it at a time: the frames
// of a segment from the one on show at its start to its end (at most
// kMaxSegmentSeconds; by default from the first frame for at most
// kDefaultSegmentSeconds), each converted once to the clip's display size
// with its rotation and pixel shape applied.
class ClipDecoder final : public ClipReader {
public:
    // Opens the source, checks its stream count and sizes against the caps
    // before any frame is decoded, and reads the segment's frame times.
    // Fails with why when there is no video stream that can be decoded.
    static DecodeError Open(const ClipSource& source, ClipSegment segment, std::unique_ptr<ClipDecoder>& out);
    ~ClipDecoder() override;
    ClipDecoder(const ClipDecoder&) = delete;
    ClipDecoder& operator=(const ClipDecoder&) = delete;

    // As a ClipReader.
    const ClipFacts& Facts() const override { return facts_; }
    const ClipFrameTimes& Times() const override { return times_; }
    std::size_t DecodeSegment(ClipFrameSink& sink) override;
    std::optional<ClipSoundFormat> OpenSound(std::string& why) override;
    DecodeError Problem() const override { return problem_; }

private:
    struct Libav; // the demuxer, the stream's decoder and the converter
    ClipDecoder();
    DecodeError ReadFrameTimes(ClipSegment segment);

    std::unique_ptr<Libav> av_;
    ClipFacts facts_;
    ClipFrameTimes times_;
    DecodeError problem_ = DecodeError::CorruptData;
};

} // namespace mugrove
