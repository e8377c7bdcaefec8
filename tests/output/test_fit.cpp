// Size-limited saves over material of five kinds (tests/data/fit: a flat
// cartoon, a photo with grain, an already dithered GIF, a screen recording
// and a dark clip): the likeness the searches rank by is the measure that
// counts, and each save fits and looks at least as good as the general
// tools' best fit of the same limit.
#include "tests/support/ColourSsim.h"

#include "output/Likeness.h"
#include "output/SizeLimit.h"

#include <QTest>

#include <jpeglib.h>

#include <cstdlib>
#include <random>

using namespace mugrove;
using namespace mugrove::testing;

namespace {

const char* const kKinds[] = {"cartoon", "grain", "dithered", "screen", "dark"};

QString Data(const QString& name)
{
    return QStringLiteral(MUGROVE_TEST_DATA "/fit/") + name;
}

QImage Still(const char* kind)
{
    return QImage(Data(QLatin1String(kind) + QStringLiteral(".png"))).convertToFormat(QImage::Format_RGB32);
}

// `picture` spoilt as a limited save spoils it: fewer levels, with a little
// noise that changes the levels chosen.
QImage Posterised(const QImage& picture, int step)
{
    QImage out = picture.copy();
    std::mt19937 random(11);
    for (int y = 0; y < out.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const auto level = [&](int v) { return std::clamp((v + int(random() % unsigned(step))) / step * step, 0, 255); };
            row[x] = qRgb(level(qRed(row[x])), level(qGreen(row[x])), level(qBlue(row[x])));
        }
    }
    return out;
}

// `picture` as cjpeg makes it from a PPM: libjpeg's defaults at `quality`
// (tables beyond baseline allowed, as cjpeg allows them), colour at full
// or half resolution, Huffman tables made for it or not.
QByteArray CjpegLike(const QImage& picture, int quality, bool halfChroma, bool optimized)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    errors.emit_message = [](j_common_ptr, int) {}; // tables too coarse for baseline are what cjpeg makes
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = JDIMENSION(rgb.width());
    info.image_height = JDIMENSION(rgb.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, FALSE);
    for (int c = 0; c < info.num_components; ++c)
        info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = halfChroma && c == 0 ? 2 : 1;
    info.optimize_coding = optimized ? TRUE : FALSE;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    const QByteArray jpeg(reinterpret_cast<const char*>(out), qsizetype(size));
    std::free(out);
    return jpeg;
}

QImage FromJpeg(const QByteArray& bytes)
{
    return QImage::fromData(bytes, "JPG").convertToFormat(QImage::Format_RGB32);
}

} // namespace

class FitTest : public QObject {
    Q_OBJECT
private slots:
    void the_likeness_is_the_measure_that_counts()
    {
        for (const char* kind : kKinds) {
            const QImage still = Still(kind);
            QVERIFY2(!still.isNull(), kind);
            // At one size the same figure; scaled back from half or two
            // thirds, within a few thousandths (the measure's scaler rounds
            // its own way).
            for (const int step : {8, 24}) {
                const QImage spoilt = Posterised(still, step);
                QVERIFY(std::abs(Likeness(still, spoilt) - RgbSsim(still, spoilt)) < 1e-5);
                for (const double scale : {0.5, 0.67}) {
                    const QImage small = spoilt.scaled(int(still.width() * scale), int(still.height() * scale),
                                                       Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                    const double ours = Likeness(still, ScaledBack(small, still.size()));
                    const double measure = RgbSsim(still, small);
                    QVERIFY2(std::abs(ours - measure) < 0.003,
                             qPrintable(QStringLiteral("%1 %2 %3: %4 against %5").arg(QLatin1String(kind)).arg(step).arg(scale).arg(ours).arg(measure)));
                }
            }
        }
    }

    void a_limited_still_fits_and_looks_as_good_as_the_best_cjpeg_fit()
    {
        for (const char* kind : kKinds)
            for (const int quarters : {1, 2}) {
                const QImage still = Still(kind);
                // The unlimited save: quality 95, full colour, plain tables.
                const QImage unlimited = FromJpeg(CjpegLike(still, 95, false, false));
                const ByteLimit limit = ByteLimit(CjpegLike(still, 95, false, false).size()) * ByteLimit(quarters) / 4;
                // cjpeg's ladder: each chroma at the highest quality that fits.
                double ladder = 0;
                for (const bool half : {false, true})
                    for (int quality = 100; quality >= 1; --quality) {
                        const QByteArray jpeg = CjpegLike(still, quality, half, true);
                        if (ByteLimit(jpeg.size()) <= limit) {
                            ladder = std::max(ladder, RgbSsim(unlimited, FromJpeg(jpeg)));
                            break;
                        }
                    }
                const EncodedBytes ours = FitJpeg(ShownPicture(still), limit);
                const QString what = QStringLiteral("%1 in %2 bytes").arg(QLatin1String(kind)).arg(limit);
                QVERIFY2(!ours.empty() && ours.size() <= limit, qPrintable(what));
                const double look = RgbSsim(unlimited, FromJpeg(QByteArray(reinterpret_cast<const char*>(ours.data()), qsizetype(ours.size()))));
                QVERIFY2(look >= ladder, qPrintable(QStringLiteral("%1: %2 against %3").arg(what).arg(look).arg(ladder)));
            }
    }
};

QTEST_MAIN(FitTest)
#include "test_fit.moc"
