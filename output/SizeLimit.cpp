#include "output/SizeLimit.h"

#include "controls/decoders/PlainDecoders.h"
#include "output/Likeness.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace mugrove {

namespace {

// The picture as one image, for shrinking.
QImage Whole(const ShownPicture& shown)
{
    QImage image(shown.Width(), shown.Height(), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    for (int y = 0; y < shown.Height(); ++y)
        std::memcpy(image.scanLine(y), shown.Row(y), std::size_t(shown.Width()) * sizeof(QRgb));
    return image;
}

// The picture a JPEG decodes to; null when it does not.
QImage Decoded(const EncodedBytes& bytes)
{
    Image image;
    if (DecodeJpegWith(std::span(bytes.data(), bytes.size()), image, nullptr) != DecodeError::None)
        return {};
    QImage out(image.width, image.height, QImage::Format_RGB32);
    if (out.isNull())
        return out;
    for (int y = 0; y < image.height; ++y)
        std::memcpy(out.scanLine(y), image.Row(y), std::size_t(image.width) * sizeof(QRgb));
    return out;
}

// One way of fitting the picture: its size, chroma and quality, the file,
// and how like the unlimited save it looks.
struct JpegFit {
    double scale = 1;
    bool halfChroma = false;
    int quality = 0;
    EncodedBytes bytes;
    double likeness = -1;
};

// The highest quality from `low` to kFullJpegQuality at which `encode`
// fits (with `fit` filled in), or false when not even `low` does; `guess`
// is tried first. Size grows with quality, smoothly in its logarithm, so
// once a quality that fits and one that does not are known each try is
// aimed along that between them, every other try halving the range so that
// it always closes; until then the steps double away from the guess.
template <class Encode>
bool HighestQuality(int low, int guess, ByteLimit limit, JpegFit& fit, const Encode& encode)
{
    int fits = low - 1, tooBig = kFullJpegQuality + 1; // none known yet
    double fitsSize = 0, tooBigSize = 0;
    int quality = std::clamp(guess, low, kFullJpegQuality), step = 8;
    for (int aimed = 0;; ++aimed) {
        EncodedBytes tried = encode(quality);
        if (tried.empty())
            return false;
        if (tried.size() <= limit) {
            fits = quality, fitsSize = double(tried.size());
            fit.bytes = std::move(tried);
        } else {
            tooBig = quality, tooBigSize = double(tried.size());
        }
        if (tooBig - fits <= 1)
            break;
        if (fits < low) {
            quality = std::max(low, quality - step);
        } else if (tooBig > kFullJpegQuality) {
            quality = std::min(kFullJpegQuality, quality + step);
        } else {
            quality = (fits + tooBig) / 2;
            if (aimed % 2 == 0) {
                const double t = std::log(double(limit) / fitsSize) / std::log(tooBigSize / fitsSize);
                quality = std::clamp(fits + int(std::floor(t * (tooBig - fits))), fits + 1, tooBig - 1);
            }
        }
        step *= 2;
    }
    if (fits < low)
        return false;
    fit.quality = fits;
    return true;
}

// How much worse than the best a size may look and still be passed on
// the way to a smaller one that looks better.
constexpr double kDip = 0.003;

// Scales a limited still is tried at, largest first.
constexpr double kStillScales[] = {1, 0.8, 0.65, 0.5, 0.4, 0.32, kSmallestStillScale};

} // namespace

QString LimitText(ByteLimit limit)
{
    if (limit == 0)
        return QStringLiteral("不限");
    if (limit % 1000000 == 0)
        return QStringLiteral("%1 MB").arg(limit / 1000000);
    if (limit % 1000 == 0)
        return QStringLiteral("%1 KB").arg(limit / 1000);
    return QStringLiteral("%1 B").arg(limit);
}

EncodedBytes FitJpeg(const ShownPicture& shown, ByteLimit limit, QString* why)
{
    const auto fail = [why](const QString& reason) {
        if (why)
            *why = reason;
        return EncodedBytes();
    };
    EncodedBytes full = EncodeShownAsJpeg(shown, kFullJpegQuality);
    if (full.empty())
        return fail(QStringLiteral("the JPEG encoder failed"));
    if (limit == 0 || full.size() <= limit)
        return full;

    // Every size from the box's own down to a quarter, with colour at full
    // and at half resolution, at the highest quality that fits (Huffman
    // tables made for the picture buy a step or two); of those, the one
    // that looks most like the unlimited save. Halving colour leaves more of
    // the bytes to brightness; a smaller picture, to finer steps. Which
    // loses least depends on the picture, so each is judged.
    const QImage whole = Whole(shown);
    const QImage reference = Decoded(full);
    if (whole.isNull() || reference.isNull())
        return fail(QStringLiteral("out of memory"));
    full = {};
    JpegFit best;
    int lowest[2] = {1, 1}; // a smaller picture fits at least the quality a larger one did
    int guess = 80;
    int worse = 0; // sizes in a row that looked no better
    for (const double scale : kStillScales) {
        const QSize size(std::max(1, int(std::lround(whole.width() * scale))),
                         std::max(1, int(std::lround(whole.height() * scale))));
        const QImage scaled = scale == 1 ? whole
                                         : whole.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                               .convertToFormat(QImage::Format_RGB32);
        if (scaled.isNull())
            return fail(QStringLiteral("out of memory"));
        const ShownPicture picture = scale == 1 ? shown : ShownPicture(scaled);
        bool better = false, atFull = false;
        double here = -1; // the best look at this size
        for (const bool half : {false, true}) {
            JpegFit fit;
            fit.scale = scale;
            fit.halfChroma = half;
            if (!HighestQuality(lowest[half], std::max(guess, lowest[half] + 5), limit, fit,
                                [&](int q) { return EncodeShownAsJpeg(picture, q, true, half); }))
                continue;
            lowest[half] = fit.quality;
            guess = fit.quality + 5; // half colour, or a smaller picture, fits a higher one
            atFull = atFull || (!half && fit.quality == kFullJpegQuality);
            const QImage decoded = Decoded(fit.bytes);
            fit.likeness = Likeness(reference, ScaledBack(decoded, reference.size()));
            here = std::max(here, fit.likeness);
            if (fit.likeness > best.likeness) {
                better = true;
                best = std::move(fit);
            }
        }
        // Past the best (a size may dip a little between better ones), or
        // at full quality with full colour (smaller only loses detail).
        worse = better || best.likeness < 0 ? 0 : worse + 1;
        if (worse == 2 || (worse == 1 && here < best.likeness - kDip) || atFull)
            break;
    }
    if (best.bytes.empty())
        return fail(QStringLiteral("not even a JPEG of a quarter of the picture's size fits in ") + LimitText(limit));
    return std::move(best.bytes);
}

} // namespace mugrove
