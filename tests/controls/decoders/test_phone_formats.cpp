// HEIF, AVIF and JPEG XL beyond single pictures: AVIF sequences and
// animated JPEG XL played frame by frame, and colour given by primaries and
// transfer brought to sRGB. Still pictures against each library's own
// command-line decoder, and every rotation and mirror, are checked to exact
// pixels with the other known-good files by the decoders suite.

#include "controls/decoders/DecodedPicture.h"
#include "sandbox/Decode.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

using namespace mugrove;

Q_DECLARE_METATYPE(mugrove::ImageKind)

namespace {

std::shared_ptr<const PictureBytes> Bytes(const QString& name)
{
    QFile f(QStringLiteral(MUGROVE_TEST_DATA "/decoders/") + name);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing test file %s", qPrintable(name));
    const QByteArray b = f.readAll();
    return std::make_shared<const PictureBytes>(b.begin(), b.end());
}

// A composed frame as written with the test data: "width height" and then
// 0xAARRGGBB per pixel.
std::vector<std::uint32_t> Frame(const QString& file, int index)
{
    QFile f(QStringLiteral(MUGROVE_TEST_DATA "/decoders/%1.frame%2").arg(file).arg(index));
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        qFatal("missing frame %d of %s", index, qPrintable(file));
    const QStringList words = QString::fromLatin1(f.readAll()).split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    std::vector<std::uint32_t> pixels;
    for (qsizetype i = 2; i < words.size(); ++i)
        pixels.push_back(words[i].toUInt(nullptr, 16));
    return pixels;
}

std::vector<std::uint32_t> Pixels(const Image& image)
{
    return {image.pixels.begin(), image.pixels.end()};
}

using Matrix = std::array<std::array<double, 3>, 3>;

Matrix Inverse(const Matrix& m)
{
    Matrix r{};
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const int a = (j + 1) % 3, b = (j + 2) % 3, c = (i + 1) % 3, d = (i + 2) % 3;
            r[i][j] = (m[a][c] * m[b][d] - m[a][d] * m[b][c]) / det;
        }
    return r;
}

// Linear RGB to XYZ from the primaries' and white's chromaticities.
Matrix RgbToXyz(const std::array<double, 8>& xy)
{
    Matrix p{};
    for (int c = 0; c < 3; ++c) {
        const double x = xy[2 * c], y = xy[2 * c + 1];
        p[0][c] = x / y;
        p[1][c] = 1;
        p[2][c] = (1 - x - y) / y;
    }
    const double wx = xy[6], wy = xy[7];
    const std::array<double, 3> white{wx / wy, 1, (1 - wx - wy) / wy};
    const Matrix inv = Inverse(p);
    for (int c = 0; c < 3; ++c) {
        const double s = inv[c][0] * white[0] + inv[c][1] * white[1] + inv[c][2] * white[2];
        for (int r = 0; r < 3; ++r)
            p[r][c] *= s;
    }
    return p;
}

double Decode(int v)
{
    const double c = v / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

int Encode(double l)
{
    l = std::clamp(l, 0.0, 1.0);
    const double c = l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
    return static_cast<int>(std::lround(c * 255));
}

} // namespace

class TestPhoneFormats : public QObject {
    Q_OBJECT
private slots:
    void animations_play_frames_in_order_data();
    void animations_play_frames_in_order();
    void frame_delays_follow_one_rule();
    void avif_display_p3_by_numbers_shows_in_srgb();
    void opaque_only_without_alpha_data();
    void opaque_only_without_alpha();
};

void TestPhoneFormats::animations_play_frames_in_order_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<ImageKind>("kind");
    QTest::newRow("avif sequence") << "good_avif_sequence.avif" << ImageKind::Avif;
    QTest::newRow("animated jxl") << "good_jxl_animated.jxl" << ImageKind::Jxl;
}

void TestPhoneFormats::animations_play_frames_in_order()
{
    QFETCH(QString, file);
    QFETCH(ImageKind, kind);
    DecodedPicture picture;
    QCOMPARE(DecodePicture(Bytes(file), picture), DecodeError::None);
    QCOMPARE(picture.kind, kind);
    QVERIFY(picture.Animated());
    QCOMPARE(Pixels(picture.image), Frame(file, 0));
    Animation& player = *picture.animation;
    QCOMPARE(player.Width(), 4);
    QCOMPARE(player.Height(), 2);
    QCOMPARE(player.FrameCount(), std::size_t{3});
    // Both files were made to show their frames 70, 120 and 40 ms.
    QCOMPARE(player.DelayMs(0), 70);
    QCOMPARE(player.DelayMs(1), 120);
    QCOMPARE(player.DelayMs(2), 40);
    // Two rounds: after the last frame the first comes again.
    for (std::size_t i = 0; i < 6; ++i) {
        QCOMPARE(player.Advance(), DecodeError::None);
        QCOMPARE(player.Current(), i % 3);
        QCOMPARE(Pixels(player.Canvas()), Frame(file, static_cast<int>(i % 3)));
        if (i == 1) {
            // A clone starts at the first frame, whatever this one shows.
            const std::unique_ptr<Animation> clone = player.Clone();
            QCOMPARE(clone->Advance(), DecodeError::None);
            QCOMPARE(clone->Current(), std::size_t{0});
            QCOMPARE(Pixels(clone->Canvas()), Frame(file, 0));
        }
    }
    player.Reset();
    QCOMPARE(player.Advance(), DecodeError::None);
    QCOMPARE(Pixels(player.Canvas()), Frame(file, 0));
}

void TestPhoneFormats::frame_delays_follow_one_rule()
{
    // Stored milliseconds (AVIF: seconds × 1000; JPEG XL: ticks × tick
    // length) to the time on show.
    struct Case {
        double stored;
        int shown;
    };
    for (const Case c : {Case{70, 70}, Case{0, 50}, Case{-40, 50}, Case{NAN, 50}, Case{INFINITY, 50},
                         Case{0.49, 50}, Case{0.5, 10}, Case{9.4, 10}, Case{10.5, 11}, Case{33.3333, 33},
                         Case{655350, 655350}, Case{1e12, 655350}})
        QVERIFY2(FrameDelayMs(c.stored) == c.shown,
                 qPrintable(QStringLiteral("%1 ms shows for %2").arg(c.stored).arg(FrameDelayMs(c.stored))));
}

void TestPhoneFormats::avif_display_p3_by_numbers_shows_in_srgb()
{
    // (20, 210, 20) in Display P3 (primaries 12, sRGB curve), coded
    // losslessly; expected from the published chromaticities of both
    // spaces, D65 white, colours outside sRGB clipped.
    const Matrix p3 = RgbToXyz({0.680, 0.320, 0.265, 0.690, 0.150, 0.060, 0.3127, 0.3290});
    const Matrix fromXyz = Inverse(RgbToXyz({0.64, 0.33, 0.30, 0.60, 0.15, 0.06, 0.3127, 0.3290}));
    const std::array<double, 3> linear{Decode(20), Decode(210), Decode(20)};
    std::array<int, 3> want{};
    for (int c = 0; c < 3; ++c) {
        double l = 0;
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 3; ++j)
                l += fromXyz[c][k] * p3[k][j] * linear[j];
        want[c] = Encode(l);
    }
    DecodedPicture picture;
    QCOMPARE(DecodePicture(Bytes("good_avif_p3.avif"), picture), DecodeError::None);
    QCOMPARE(picture.Width(), 8);
    for (const std::uint32_t p : picture.image.pixels) {
        const std::array<int, 3> got{int(p >> 16 & 255), int(p >> 8 & 255), int(p & 255)};
        for (int c = 0; c < 3; ++c)
            QVERIFY2(std::abs(got[c] - want[c]) <= 2,
                     qPrintable(QStringLiteral("channel %1: %2, want %3").arg(c).arg(got[c]).arg(want[c])));
        QCOMPARE(p >> 24, 255u);
    }
}

// A decoder may say a picture is opaque, so that the work area need not
// look at every pixel, only when the file has no alpha: then every pixel is.
void TestPhoneFormats::opaque_only_without_alpha_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("alpha");
    QTest::newRow("heic") << "good_heic.heic" << false;
    QTest::newRow("heic turned") << "good_heic_irot1.heic" << false;
    QTest::newRow("heic with alpha") << "good_heic_alpha.heic" << true;
    QTest::newRow("avif") << "good_avif.avif" << false;
    QTest::newRow("avif turned") << "good_avif_irot1.avif" << false;
    QTest::newRow("avif with alpha") << "good_avif_alpha.avif" << true;
    QTest::newRow("jxl") << "good_jxl.jxl" << false;
    QTest::newRow("jxl with alpha") << "good_jxl_lossless_alpha.jxl" << true;
}

void TestPhoneFormats::opaque_only_without_alpha()
{
    QFETCH(QString, file);
    QFETCH(bool, alpha);
    DecodedPicture picture;
    QCOMPARE(DecodePicture(Bytes(file), picture), DecodeError::None);
    QCOMPARE(picture.image.opaque, !alpha);
    const bool allOpaque = std::all_of(picture.image.pixels.begin(), picture.image.pixels.end(),
                                       [](std::uint32_t p) { return p >> 24 == 255; });
    QVERIFY(allOpaque || !picture.image.opaque);
    if (alpha)
        QVERIFY(!allOpaque); // the alpha files hold transparent pixels
}

QTEST_GUILESS_MAIN(TestPhoneFormats)
#include "test_phone_formats.moc"
