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
// bytes. A file's size grows about as a power of its scale, so each step
// interpolates between the largest scale known to fit and the smallest known
// not to; the first palette's sizes at full and half scale give the power
// the later ones start from, so they need no trial at full size.
std::optional<ReductionSearch::Fit> ReductionSearch::LargestScale(Reduction reduction, double target)
{
    double hi = 1, lo = kSmallestFilmScale;
    Trial high, low;
    bool knowHigh = power_ <= 0;
    if (knowHigh) {
        reduction.scale = hi;
        high = Tried(reduction);
        if (high.bytes <= target)
            return Fit{reduction, high};
    }
    reduction.scale = lo;
    low = Tried(reduction);
    if (knowHigh && low.bytes > 0 && high.bytes > low.bytes)
        power_ = std::log(high.bytes / low.bytes) / std::log(hi / lo);
    if (low.bytes > target)
        return std::nullopt;
    for (int i = 0; i < 3 && hi - lo > 0.02; ++i) {
        const double power = knowHigh ? std::log(high.bytes / low.bytes) / std::log(hi / lo) : power_;
        double scale = power > 0 ? lo * std::pow(target / low.bytes, 1 / power) : (lo + hi) / 2;
        if (!knowHigh && scale >= hi) {
            reduction.scale = hi;
            high = Tried(reduction);
            if (high.bytes <= target)
                return Fit{reduction, high};
            knowHigh = true;
            continue;
        }
        scale = RoundedScale(std::clamp(scale, lo + 0.01, hi - 0.01));
        if (scale <= lo || scale >= hi)
            break;
        reduction.scale = scale;
        const Trial trial = Tried(reduction);
        if (trial.bytes <= target) {
            lo = scale, low = trial;
        } else {
            hi = scale, high = trial;
            knowHigh = true;
        }
    }
    reduction.scale = lo;
    return Fit{reduction, low};
}

std::optional<Reduction> ReductionSearch::Next()
{
    const double target = double(limit_) * kAim / correction_;
    // Each palette at the largest size it fits; the one that looks best.
    std::optional<Fit> best;
    for (const auto& profile : kProfiles) {
        Reduction reduction;
        reduction.colours = profile.colours;
        reduction.lossiness = profile.lossiness;
        const std::optional<Fit> fit = LargestScale(reduction, target);
        if (!fit)
            continue;
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

double Similarity(const QImage& reference, const QImage& picture)
{
    if (reference.size() != picture.size() || reference.isNull())
        return 0;
    const QImage a = reference.convertToFormat(QImage::Format_RGB32);
    const QImage b = picture.convertToFormat(QImage::Format_RGB32);
    constexpr double c1 = 6.5025, c2 = 58.5225; // (0.01 · 255)², (0.03 · 255)²
    constexpr double weights[3] = {6.0 / 8, 1.0 / 8, 1.0 / 8};
    const auto channels = [](QRgb p, double out[3]) {
        const double r = qRed(p), g = qGreen(p), bl = qBlue(p);
        out[0] = 0.299 * r + 0.587 * g + 0.114 * bl;
        out[1] = 128 - 0.168736 * r - 0.331264 * g + 0.5 * bl;
        out[2] = 128 + 0.5 * r - 0.418688 * g - 0.081312 * bl;
    };
    double total = 0;
    int blocks = 0;
    for (int y0 = 0; y0 + 8 <= a.height(); y0 += 8)
        for (int x0 = 0; x0 + 8 <= a.width(); x0 += 8) {
            double sa[3] = {}, sb[3] = {}, saa[3] = {}, sbb[3] = {}, sab[3] = {};
            for (int y = y0; y < y0 + 8; ++y) {
                const auto* ra = reinterpret_cast<const QRgb*>(a.constScanLine(y));
                const auto* rb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
                for (int x = x0; x < x0 + 8; ++x) {
                    double u[3], v[3];
                    channels(ra[x], u);
                    channels(rb[x], v);
                    for (int c = 0; c < 3; ++c) {
                        sa[c] += u[c], sb[c] += v[c], saa[c] += u[c] * u[c], sbb[c] += v[c] * v[c];
                        sab[c] += u[c] * v[c];
                    }
                }
            }
            double block = 0;
            for (int c = 0; c < 3; ++c) {
                const double ma = sa[c] / 64, mb = sb[c] / 64;
                const double va = saa[c] / 64 - ma * ma, vb = sbb[c] / 64 - mb * mb, cov = sab[c] / 64 - ma * mb;
                block += weights[c] * ((2 * ma * mb + c1) * (2 * cov + c2)) / ((ma * ma + mb * mb + c1) * (va + vb + c2));
            }
            total += block;
            ++blocks;
        }
    return blocks ? total / blocks : 1;
}

} // namespace mugrove
