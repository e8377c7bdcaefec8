#pragma once

#include "output/SizeLimit.h"

#include <QImage>

#include <functional>
#include <optional>
#include <vector>

namespace mugrove {

// What a limited animated save may give up: the size (scaled as the window
// scales a picture, captions included), the colours of each frame's
// palette, exactness (LZW strings running on through near-equal colours),
// and frames (each kept frame showing for those dropped after it, so the
// running time stays).
struct Reduction {
    double scale = 1;
    int colours = 256;
    int lossiness = 0;
    int step = 1;
    bool operator==(const Reduction&) const = default;
};

// A reduction tried on a sample of the film: the predicted size of the whole
// file, and how like the film the sample looked (1 when the same).
struct Trial {
    double bytes = 0;
    double quality = 0;
};

// Below half the box's width and height a caption no longer reads.
constexpr double kSmallestFilmScale = 0.5;

// Chooses the reduction that keeps the most quality within a size limit,
// from trials on a sample; the caller encodes each choice in full and says
// when it did not fit after all, and the search tries again with what that
// taught it about its predictions.
class ReductionSearch {
public:
    using Measure = std::function<Trial(const Reduction&)>;
    ReductionSearch(ByteLimit limit, Measure measure);

    // The next reduction to encode in full; none when nothing is left to try.
    std::optional<Reduction> Next();
    // The full encoding of the last reduction given came to `bytes`, more
    // than the limit.
    void TooBig(std::size_t bytes);
    // It came to `bytes`, within the limit. True when so much room is left
    // that one more try, aimed with what this one taught, is worth it (Next
    // then gives a reduction expected to look better, or none).
    bool Fits(std::size_t bytes);

private:
    struct Fit {
        Reduction reduction;
        Trial trial;
    };
    const Trial& Tried(const Reduction& reduction);
    std::optional<Fit> LargestScale(Reduction reduction, double target, double start);

    ByteLimit limit_;
    Measure measure_;
    std::vector<Fit> tried_;
    double correction_ = 1; // how much the full files outgrew their predictions
    double power_ = 2; // how a file's size grows with its scale (as its area, until tried)
    std::optional<Fit> last_;
    std::optional<Fit> fitted_; // what fits, once another try is under way
    bool retried_ = false;
    bool triedLast_ = false;
};

} // namespace mugrove
