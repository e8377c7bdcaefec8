#include "output/GifFit.h"

#include <algorithm>
#include <cmath>

namespace mugrove {

namespace {

// Palettes and lossiness, gentlest first. Each costs a little colour
// fidelity for much shorter LZW strings; which keeps most depends on the film,
// so every one is tried at the largest size it fits.
constexpr struct {
    int colours, lossiness;
} kProfiles[] = {{256, 0}, {128, 4}, {64, 8}, {32, 12}, {16, 16}};

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

std::optional<Reduction> ReductionSearch::Next()
{
    const double target = double(limit_) * kAim / correction_;
    // Each palette at the largest size it fits; the one that looks best.
    std::optional<Fit> best;
    // Each palette starts a little above where the last one fitted: fewer
    // colours make a smaller file.
    double start = 1;
    for (const auto& profile : kProfiles) {
        Reduction reduction;
        reduction.colours = profile.colours;
        reduction.lossiness = profile.lossiness;
        const std::optional<Fit> fit = LargestScale(reduction, target, start);
        if (!fit) {
            start = kSmallestFilmScale;
            continue;
        }
        start = fit->reduction.scale + 0.05;
        if (best && fit->trial.quality < best->trial.quality)
            break; // past the best: quality rises and then falls along the profiles
        best = fit;
        if (fit->reduction.scale == 1)
            break; // the gentlest that fits at full size loses least
    }
    // At half size with the fewest colours: frames go.
    if (!best) {
        Reduction reduction{kSmallestFilmScale, std::end(kProfiles)[-1].colours, std::end(kProfiles)[-1].lossiness, 1};
        for (int step = 2; step <= 6 && !best; ++step) {
            reduction.step = step;
            const Trial& trial = Tried(reduction);
            if (trial.bytes <= target)
                best = Fit{reduction, trial};
        }
        // A prediction is only a guess: the last is tried for real before
        // the save gives up.
        if (!best && !triedLast_) {
            triedLast_ = true;
            best = Fit{reduction, Tried(reduction)};
        }
    }
    if (best && last_ && best->reduction == last_->reduction)
        best.reset(); // learnt nothing from the last full encoding
    if (fitted_) {
        // One more try, only for something that looks better than what fits.
        const bool larger = best && best->reduction.colours == fitted_->reduction.colours
            && best->reduction.step == fitted_->reduction.step && best->reduction.scale > fitted_->reduction.scale;
        if (retried_ || (best && !larger && best->trial.quality <= fitted_->trial.quality))
            best.reset();
        retried_ = true;
    }
    last_ = best;
    return best ? std::optional<Reduction>(best->reduction) : std::nullopt;
}

bool ReductionSearch::Fits(std::size_t bytes)
{
    if (fitted_ || !last_ || last_->trial.bytes <= 0 || double(bytes) >= double(limit_) * kRoomWorthATry)
        return false;
    // Aimed anew by how far the file fell short of its prediction.
    correction_ = double(bytes) / last_->trial.bytes * 1.01;
    fitted_ = last_;
    return true;
}

void ReductionSearch::TooBig(std::size_t bytes)
{
    if (last_ && last_->trial.bytes > 0)
        correction_ = std::max(correction_, double(bytes) / last_->trial.bytes * 1.02);
}

} // namespace mugrove
