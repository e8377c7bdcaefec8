#pragma once

// Pictures and clips from outside (dropped, pasted, opened, stored with a
// meme) decoded in a decoder process of their own, so that a hostile file
// can crash only that process: the picture is then refused as an unreadable
// one is, and one line on standard error says why. Animations and clips
// play from their process, frame by frame, through shared memory. Where
// the platform has no system-call filter, the decoders run here instead,
// behind the same functions.

#include "controls/clips/ClipReader.h"
#include "controls/decoders/ClipSource.h"
#include "controls/decoders/DecodedPicture.h"

#include <cstdint>
#include <memory>
#include <span>

namespace mugrove {

// Starts a decoder process ahead of the first picture, so that its start
// (loading the decoding libraries) is not waited for. Each picture then
// takes the one ready and starts the next.
void StartDecoderAhead();

DecodeError DecodePicture(const std::shared_ptr<const PictureBytes>& data, DecodedPicture& out);
DecodeError DecodePicture(std::span<const std::uint8_t> data, DecodedPicture& out);
std::unique_ptr<DecodedPicture> DecodeOrNull(const std::shared_ptr<const PictureBytes>& data);

// A clip as a decoded picture of kind Clip playing `segment` (see
// DecodeClipInProcess).
DecodeError DecodeClip(ClipSource source, DecodedPicture& out, ClipSegment segment = {});
// The frame on show `seconds` after the clip's first, at its display size.
DecodeError DecodeClipFrameAt(const ClipSource& source, double seconds, Image& out);
// A reader of the clip's segment, with its sound, for a save that reads the
// clip again.
DecodeError OpenClipReader(const ClipSource& source, ClipSegment segment, std::unique_ptr<ClipReader>& out);

} // namespace mugrove
