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
// dithering (which smooths gradients but breaks LZW strings), and frames
// (each kept frame showing for those dropped after it, so the running time
// stays).
struct Reduction {
    double scale = 1;
    int colours = 256;
    int lossiness = 0;
    float dithering = 1;
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
// whether it fitted, and the search aims its next choice with what that
// taught it about its predictions.
class ReductionSearch {
public:
    using Measure = std::function<Trial(const Reduction&)>;
    ReductionSearch(ByteLimit limit, Measure measure);

    // The next reduction to encode in full; none when nothing is left to try.
    std::optional<Reduction> Next();
    // The full encoding of the reduction given last came to `bytes`, more
    // than the limit.
    void TooBig(std::size_t bytes);
    // It came to `bytes`, within the limit. When so much room is left that
    // one more try, aimed with what this one taught, is worth it, Next gives
    // a reduction expected to look better (or none); otherwise none.
    void Fitted(std::size_t bytes);

private:
    struct Fit {
        Reduction reduction;
        Trial trial;
    };
    // Where the search stands between two full encodings.
    struct Stage {
        enum class Step {
            Aiming,     // nothing has fitted yet
            OneMoreTry, // `fitted` fits with room left: Next aims once more
            Done,       // nothing more is worth trying
        };
        Step step = Step::Aiming;
        std::optional<Fit> given;       // what Next gave last, its full size awaited
        std::optional<Fit> fitted;      // in OneMoreTry: what fits already
        bool smallestGiven = false;     // the smallest reduction was given, for real, once
    };
    const Trial& Tried(const Reduction& reduction);
    std::optional<Fit> LargestScale(Reduction reduction, double target, double start);
    std::optional<Fit> BestPredicted();

    ByteLimit limit_;
    Measure measure_;
    std::vector<Fit> tried_;
    double correction_ = 1; // how much the full files outgrew their predictions
    double power_ = 2; // how a file's size grows with its scale (as its area, until tried)
    Stage stage_;
};

} // namespace mugrove
