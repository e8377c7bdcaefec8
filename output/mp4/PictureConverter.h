#pragma once

#include "AvHandles.h"
#include "Mp4.h"

#include <string>
#include <vector>

namespace mugrove::mp4 {

// An even number at least `n`: 4:2:0 frames have whole chroma samples only.
constexpr int EvenCeil(int n) { return n + (n & 1); }

// Turns pictures of one size into the encoder's 4:2:0 frames, scaled to a
// size of their own. An odd width or height is made even by repeating the
// last column or row, so nothing of the picture is lost or stretched. The
// colours are coded as BT.709 in the limited range, and the frames say so.
class PictureConverter {
public:
    // Fails, with why in `failure`, when the sizes make no sense or memory
    // runs out.
    static std::unique_ptr<PictureConverter> Make(int fromWidth, int fromHeight, int toWidth, int toHeight,
                                                  std::string& failure);

    // The frame `picture` becomes, with `pts` as its time; null when the
    // picture is not of the size this converter was made for.
    AVFrame* Convert(const Picture& picture, std::int64_t pts);

    int FrameWidth() const { return EvenCeil(toWidth_); }
    int FrameHeight() const { return EvenCeil(toHeight_); }

private:
    PictureConverter(int fromWidth, int fromHeight, int toWidth, int toHeight);
    // The frame from pixels of the target size.
    void ToYuv(const std::uint32_t* pixels, std::ptrdiff_t stride);

    int fromWidth_, fromHeight_, toWidth_, toHeight_;
    ScalerPtr scaler_; // only when the size changes
    std::vector<std::uint32_t> scaled_;
    FramePtr frame_;
};

} // namespace mugrove::mp4
