#include "output/SizeLimit.h"

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
void LargestThatFits(int fits, int tooBig, ByteLimit limit, EncodedBytes& best, const Encode& encode)
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
        LargestThatFits(kLowestJpegQuality, kFullJpegQuality + 1, limit, best,
                        [&](int quality) { return EncodeShownAsJpeg(shown, quality, true); });
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

} // namespace mugrove
