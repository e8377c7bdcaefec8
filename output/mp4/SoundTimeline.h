#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mugrove::mp4 {

// Lays runs of sound, each with the time of its first sample, end to end on
// the pictures' timeline from 0 to its end: what comes before 0 or after
// the end is cut, a gap is filled with silence, and a run that overlaps
// sound already laid loses its overlap. Runs that join within a couple of
// milliseconds are taken as joined, so decoders' rounding never clicks.
class SoundTimeline {
public:
    SoundTimeline(int sampleRate, int channels, std::int64_t endUs);

    // Appends to `out` (interleaved) the samples that bring the timeline to
    // the end of the `frames` samples at `samples`, which begin at `timeUs`.
    void Lay(const float* samples, std::size_t frames, std::int64_t timeUs, std::vector<float>& out);
    // Appends the silence that brings the timeline to its end.
    void Close(std::vector<float>& out);

    // Samples (each `channels` floats) laid so far, and in all.
    std::int64_t Laid() const { return laid_; }
    std::int64_t End() const { return end_; }

private:
    std::int64_t SampleAt(std::int64_t timeUs) const;

    int rate_;
    int channels_;
    std::int64_t end_;
    std::int64_t laid_ = 0;
    std::int64_t slack_; // in samples
};

} // namespace mugrove::mp4
