#include "output/GifFit.h"

#include <algorithm>
#include <cmath>

namespace mugrove {

namespace {

// Palettes, lossiness and dithering, roughly gentlest first. Each costs a
// little colour fidelity for much shorter LZW strings; which keeps most
// depends on the film (a grainy or already dithered one often looks best
// with all its colours, undithered and lossy, a flat one with few colours),
// so every one is tried at the largest size it fits and judged.
constexpr struct {
    int colours, lossiness;
    float dithering;
} kProfiles[] = {{256, 0, 1}, {256, 8, 0.5f}, {128, 4, 1}, {256, 20, 0}, {64, 8, 0.5f}, {128, 16, 0}, {32, 12, 0.5f}, {16, 16, 0}};

// A prediction is aimed this far under the limit, for its error.
constexpr double kAim = 0.97;
// A file that fits with more room than this left is tried once more.
constexpr double kRoomWorthATry = 0.9;
// Scales are tried in hundredths, so a frame's size in pixels barely moves
// between neighbours, and trials repeat exactly.
double RoundedScale(double scale)
{
    return std::clamp(std::round(scale * 100) / 100, kSmallestFilmScale, 1.0);
}

} // namespace

ReductionSearch::ReductionSearch(ByteLimit limit, Measure measure) : limit_(limit), measure_(std::move(measure)) {}

const Trial& ReductionSearch::Tried(const Reduction& reduction)
{
    for (const Fit& fit : tried_)
        if (fit.reduction == reduction)
            return fit.trial;
    tried_.push_back({reduction, measure_(reduction)});
    return tried_.back().trial;
}

// The largest scale at which `reduction` is predicted to come to `target`
// bytes, trying `start` first. A file's size grows about as a power of its
// scale, so each next try is aimed along that power from the nearest scale
// tried, or between the largest known to fit and the smallest known not to.
std::optional<ReductionSearch::Fit> ReductionSearch::LargestScale(Reduction reduction, double target, double start)
{
    double lo = 0, hi = 2; // none fits yet; none is known to be too big
    Trial low, high;
    double scale = RoundedScale(start);
    for (int i = 0; i < 4; ++i) {
        reduction.scale = scale;
        const Trial trial = Tried(reduction);
        if (trial.bytes <= target)
            lo = scale, low = trial;
        else
            hi = scale, high = trial;
        if (lo == 1 || (lo == 0 && hi == kSmallestFilmScale) || hi - lo <= 0.015)
            break;
        double next = 0;
        if (lo > 0 && hi <= 1 && high.bytes > low.bytes) {
            const double power = std::log(high.bytes / low.bytes) / std::log(hi / lo);
            power_ = power;
            next = lo * std::pow(target / low.bytes, 1 / power);
        } else {
            next = lo > 0 ? lo * std::pow(target / low.bytes, 1 / power_) : hi * std::pow(target / high.bytes, 1 / power_);
        }
        next = RoundedScale(std::clamp(next, lo + 0.01, std::min(hi - 0.01, 1.0)));
        if (next <= lo || next >= hi)
            break;
        scale = next;
    }
    if (lo == 0)
        return std::nullopt;
    reduction.scale = lo;
    return Fit{reduction, low};
}

// The reduction predicted to look best within the limit, as corrected so
// far: each palette at the largest size it fits, or, when none fits at
// half size, with frames dropped.
std::optional<ReductionSearch::Fit> ReductionSearch::BestPredicted()
{
    const double target = double(limit_) * kAim / correction_;
    std::optional<Fit> best;
    // Each palette starts a little above where the last one fitted: fewer
    // colours make a smaller file.
    double start = 1;
    for (const auto& profile : kProfiles) {
        Reduction reduction;
        reduction.colours = profile.colours;
        reduction.lossiness = profile.lossiness;
        reduction.dithering = profile.dithering;
        const std::optional<Fit> fit = LargestScale(reduction, target, start);
        if (!fit) {
            start = kSmallestFilmScale;
            continue;
        }
        start = fit->reduction.scale + 0.05;
        if (!best || fit->trial.quality > best->trial.quality)
            best = fit;
        if (fit->reduction.scale == 1)
            break; // the gentlest that fits at full size loses least
    }
    // A busy film may look better smaller with a gentler profile than its
    // largest fit: smaller sizes of each profile are judged too.
    if (best)
        for (const auto& profile : kProfiles)
            for (const double share : {0.85, 0.7}) {
                Reduction reduction{RoundedScale(best->reduction.scale * share), profile.colours, profile.lossiness,
                                    profile.dithering, 1};
                const Trial& trial = Tried(reduction);
                if (trial.bytes <= target && trial.quality > best->trial.quality)
                    best = Fit{reduction, trial};
            }
    if (best)
        return best;
    // At half size with the fewest colours: frames go.
    Reduction reduction{kSmallestFilmScale, std::end(kProfiles)[-1].colours, std::end(kProfiles)[-1].lossiness,
                        std::end(kProfiles)[-1].dithering, 1};
    for (int step = 2; step <= 6; ++step) {
        reduction.step = step;
        const Trial& trial = Tried(reduction);
        if (trial.bytes <= target)
            return Fit{reduction, trial};
    }
    // A prediction is only a guess: the smallest is tried for real before
    // the save gives up.
    if (stage_.smallestGiven)
        return std::nullopt;
    stage_.smallestGiven = true;
    return Fit{reduction, Tried(reduction)};
}

std::optional<Reduction> ReductionSearch::Next()
{
    if (stage_.step == Stage::Step::Done)
        return std::nullopt;
    std::optional<Fit> best = BestPredicted();
    if (best && stage_.given && best->reduction == stage_.given->reduction)
        best.reset(); // learnt nothing from the last full encoding
    if (stage_.step == Stage::Step::OneMoreTry) {
        // Only for something that looks better than what fits: larger with
        // the same palette and frames, or better by the sample.
        const Fit& fitted = *stage_.fitted;
        const bool larger = best && best->reduction.colours == fitted.reduction.colours
            && best->reduction.step == fitted.reduction.step && best->reduction.scale > fitted.reduction.scale;
        if (best && !larger && best->trial.quality <= fitted.trial.quality)
            best.reset();
        stage_.step = Stage::Step::Done; // after this one, whatever it comes to
    }
    if (!best)
        stage_.step = Stage::Step::Done;
    stage_.given = best;
    return best ? std::optional<Reduction>(best->reduction) : std::nullopt;
}

void ReductionSearch::Fitted(std::size_t bytes)
{
    const std::optional<Fit>& given = stage_.given;
    if (stage_.step != Stage::Step::Aiming || !given || given->trial.bytes <= 0
        || double(bytes) >= double(limit_) * kRoomWorthATry) {
        stage_.step = Stage::Step::Done;
        return;
    }
    // Aimed anew by how far the file fell short of its prediction.
    correction_ = double(bytes) / given->trial.bytes * 1.01;
    stage_.fitted = given;
    stage_.step = Stage::Step::OneMoreTry;
}

void ReductionSearch::TooBig(std::size_t bytes)
{
    if (stage_.given && stage_.given->trial.bytes > 0)
        correction_ = std::max(correction_, double(bytes) / stage_.given->trial.bytes * 1.02);
}

} // namespace mugrove
