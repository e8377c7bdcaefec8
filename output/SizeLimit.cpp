#include "output/SizeLimit.h"

#include "controls/decoders/Decoders.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace mugrove {

namespace {

bool Fits(const EncodedBytes& bytes, ByteLimit limit)
{
    return !bytes.empty() && bytes.size() <= limit;
}

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

// Between a setting `fits` whose encoding (already in `best`) fits and a
// larger one `tooBig` that does not, halves the range: the size grows with
// the setting, so `best` ends as the largest setting that fits.
template <class Encode>
int LargestThatFits(int fits, int tooBig, ByteLimit limit, EncodedBytes& best, const Encode& encode)
{
    while (tooBig - fits > 1) {
        const int mid = (fits + tooBig) / 2;
        EncodedBytes tried = encode(mid);
        if (Fits(tried, limit)) {
            fits = mid;
            best = std::move(tried);
        } else {
            tooBig = mid;
        }
    }
    return fits;
}

// The picture a JPEG decodes to; null when it does not.
QImage Decoded(const EncodedBytes& bytes)
{
    Image image;
    if (DecodeJpeg(std::span(bytes.data(), bytes.size()), image) != DecodeError::None)
        return {};
    QImage out(image.width, image.height, QImage::Format_RGB32);
    if (out.isNull())
        return out;
    for (int y = 0; y < image.height; ++y)
        std::memcpy(out.scanLine(y), image.Row(y), std::size_t(image.width) * sizeof(QRgb));
    return out;
}

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
    EncodedBytes best = EncodeShownAsJpeg(shown, kFullJpegQuality);
    if (best.empty())
        return fail(QStringLiteral("the JPEG encoder failed"));
    if (limit == 0 || best.size() <= limit)
        return best;

    // Size falls with quality, so the highest that fits is found by halving
    // the range between one that fits and one that does not. Huffman tables
    // made for the picture buy a step or two of quality (the full quality
    // among them, hence the range's top one above it).
    EncodedBytes low = EncodeShownAsJpeg(shown, kLowestJpegQuality, true);
    if (Fits(low, limit)) {
        best = std::move(low);
        const int quality = LargestThatFits(kLowestJpegQuality, kFullJpegQuality + 1, limit, best,
                                            [&](int q) { return EncodeShownAsJpeg(shown, q, true); });
        // Colour at half resolution leaves more of the bytes to brightness,
        // at a higher quality; it is kept only when the picture it decodes to
        // is the closer one (blurred colour edges count against it).
        EncodedBytes half = EncodeShownAsJpeg(shown, quality, true, true);
        if (!Fits(half, limit))
            return best;
        LargestThatFits(quality, kFullJpegQuality + 1, limit, half,
                        [&](int q) { return EncodeShownAsJpeg(shown, q, true, true); });
        const QImage whole = Whole(shown);
        if (!whole.isNull() && Similarity(whole, Decoded(half)) > Similarity(whole, Decoded(best)))
            return half;
        return best;
    }

    // Even the lowest quality is too big: the largest width that fits at a
    // good quality, the height following it.
    const QImage whole = Whole(shown);
    if (whole.isNull())
        return fail(QStringLiteral("out of memory"));
    const auto shrunk = [&](int width) {
        const int height = std::max(1, int(std::lround(double(width) * whole.height() / whole.width())));
        return EncodeShownAsJpeg(
            ShownPicture(whole.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_RGB32)),
            kShrunkJpegQuality, true);
    };
    const int smallest = std::max(1, int(std::ceil(whole.width() * kSmallestStillScale)));
    best = shrunk(smallest);
    if (!Fits(best, limit))
        return fail(QStringLiteral("not even a JPEG of a quarter of the picture's size fits in ") + LimitText(limit));
    LargestThatFits(smallest, whole.width(), limit, best, shrunk);
    return best;
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
