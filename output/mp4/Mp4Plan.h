#pragma once

// How a size-limited MP4 spends its bytes: plain arithmetic, decided before
// the first pass and corrected after a pass that came out too large.

#include <cstddef>
#include <cstdint>
#include <string>

namespace mugrove::mp4 {

// The AAC bit rate a save without a limit gives sound of `channels` (1 or 2).
int FullSoundKbps(int channels);
// The bit rates a limited save steps down through, highest first, ending at 0.
const int* SoundKbpsSteps(int channels);

struct PlanInput {
    std::uint64_t limit = 0; // bytes
    double seconds = 0;
    int width = 0;
    int height = 0;
    std::size_t pictures = 0;
    int soundChannels = 0; // as coded: 0 without sound, 1 or 2
};

struct Plan {
    std::string failure; // set when nothing can fit
    int width = 0;       // the size the pictures are encoded at
    int height = 0;
    int soundKbps = 0;
    int videoKbps = 0;
    // There is room for the quality a save without a limit has: a first pass
    // at that quality is tried, and kept when it fits.
    bool qualityFirst = false;
};

// What a file of the container's own boxes costs beyond the coded streams,
// a little more than it will be.
std::uint64_t ContainerBytes(std::size_t pictures, double seconds, bool sound);

// The bytes shared out: sound first lowered while the picture has fewer
// bits per pixel than it needs to look good, then the picture shrunk (to
// half its width and height at most) when its bits per pixel are still too
// few for the size; the video's bit rate what remains.
Plan PlanForLimit(const PlanInput& in);

// After a pass whose file came to `fileBytes`, of which `videoBytes` were
// the video coded at `videoKbps`: the video bit rate that should bring the
// file within `limit`, or 0 when lowering it further is not worth a pass.
int RetryVideoKbps(int videoKbps, std::uint64_t videoBytes, std::uint64_t fileBytes, std::uint64_t limit);

} // namespace mugrove::mp4
