// Photos as phones and cameras write them: each EXIF orientation against
// the picture its tag defines, and embedded colour profiles against sRGB
// values worked out here from the profiles' published primaries.

#include "tests/support/JpegMaker.h"
#include "controls/decoders/ColourProfile.h"
#include "controls/decoders/DecodedPicture.h"
#include "sandbox/Decode.h"
#include "controls/decoders/Exif.h"
#include "controls/decoders/Orientation.h"
#include "controls/decoders/PhotoFinish.h"

#include <QFile>
#include <QTest>

#include <cstdio>
#include <lcms2.h>
#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

using namespace mugrove;

namespace {

PictureBytes Load(const QString& name)
{
    QFile f(QStringLiteral(MUGROVE_TEST_DATA "/decoders/") + name);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing test file %s", qPrintable(name));
    const QByteArray b = f.readAll();
    return PictureBytes(b.begin(), b.end());
}

DecodedPicture Decode(const QString& name)
{
    DecodedPicture picture;
    if (DecodePicture(Load(name), picture) != DecodeError::None)
        qFatal("%s does not decode", qPrintable(name));
    return picture;
}

std::uint32_t At(const Image& image, int x, int y)
{
    return image.pixels[std::size_t(y) * std::size_t(image.width) + std::size_t(x)];
}

// The JPEG with an APPn segment put right after its start marker.
PictureBytes WithSegment(const PictureBytes& jpeg, int marker, const PictureBytes& payload)
{
    const std::size_t length = payload.size() + 2;
    PictureBytes out(jpeg.size() + 2 + length);
    const std::uint8_t head[6] = {0xFF, 0xD8, 0xFF, std::uint8_t(marker), std::uint8_t(length >> 8), std::uint8_t(length)};
    std::memcpy(out.data(), head, 6);
    std::memcpy(out.data() + 6, payload.data(), payload.size());
    std::memcpy(out.data() + 6 + payload.size(), jpeg.data() + 2, jpeg.size() - 2);
    return out;
}

PictureBytes ExifSegment(int tag)
{
    return {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
            0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, std::uint8_t(tag), 0, 0, 0, 0, 0, 0};
}

// The whole profile in one segment, part 1 of 1.
PictureBytes IccSegment(const PictureBytes& profile)
{
    PictureBytes out(14 + profile.size());
    std::memcpy(out.data(), "ICC_PROFILE\0\1\1", 14);
    std::memcpy(out.data() + 14, profile.data(), profile.size());
    return out;
}

// 4100 × 530 of gradients and noise: wider than a band of turned rows
// holds at 512 rows, and a height no multiple of 16. `cut` ends it at 60 %
// of its bytes.
PictureBytes WidePhoto(bool cut)
{
    constexpr int w = 4100, h = 530;
    std::vector<std::uint8_t> rgb(std::size_t{3} * w * h);
    std::uint32_t seed = 7;
    for (std::size_t i = 0; i < rgb.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        const std::size_t px = i / 3, x = px % w, y = px / w;
        rgb[i] = std::uint8_t((i % 3 == 0 ? x / 17 : i % 3 == 1 ? y / 3 : (x + y) / 23) + (seed >> 29));
    }
    PictureBytes jpeg = testing::MakeJpeg(rgb.data(), w, h, 80);
    if (cut)
        jpeg.resize(jpeg.size() * 6 / 10);
    return jpeg;
}

Image DecodeBytes(const PictureBytes& bytes)
{
    DecodedPicture picture;
    if (DecodePicture(bytes, picture) != DecodeError::None)
        qFatal("crafted picture does not decode");
    return std::move(picture.image);
}

// The tag's definition: which side of the shown picture the stored first
// row lies along, and which side the stored first column.
enum Side { Top, Bottom, Left, Right };
constexpr std::array<std::array<Side, 2>, 9> kTagSides = {{
    {Top, Left}, // 0, unused
    {Top, Left}, {Top, Right}, {Bottom, Right}, {Bottom, Left},
    {Left, Top}, {Right, Top}, {Right, Bottom}, {Left, Bottom},
}};

// The stored pixel shown at (x, y) of a picture stored w × h.
std::pair<int, int> StoredAt(int tag, int w, int h, int x, int y)
{
    const auto [rowSide, columnSide] = kTagSides[std::size_t(tag)];
    if (rowSide == Top || rowSide == Bottom) // rows stay rows
        return {columnSide == Left ? x : w - 1 - x, rowSide == Top ? y : h - 1 - y};
    // Stored rows are shown as columns: the first along rowSide.
    return {columnSide == Top ? y : w - 1 - y, rowSide == Left ? x : h - 1 - x};
}

// Colour maths from the published definitions, without the library.
using Mat = std::array<std::array<double, 3>, 3>;
using Vec = std::array<double, 3>;

Vec Times(const Mat& m, const Vec& v)
{
    Vec out{};
    for (std::size_t r = 0; r < 3; ++r)
        for (std::size_t c = 0; c < 3; ++c)
            out[r] += m[r][c] * v[c];
    return out;
}

// Solves m · out = v by Cramer's rule.
Vec Solve(const Mat& m, const Vec& v)
{
    const auto det = [](const Mat& a) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
               a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    };
    Vec out{};
    for (std::size_t c = 0; c < 3; ++c) {
        Mat k = m;
        for (std::size_t r = 0; r < 3; ++r)
            k[r][c] = v[r];
        out[c] = det(k) / det(m);
    }
    return out;
}

Vec WhiteXyz(double x, double y) { return {x / y, 1, (1 - x - y) / y}; }

// RGB to XYZ for primaries (x, y of red, green, blue) and the D65 white:
// the columns are the primaries, scaled so that their sum is the white.
Mat RgbToXyz(const std::array<double, 6>& xy)
{
    Mat m{};
    for (std::size_t c = 0; c < 3; ++c) {
        const Vec primary = WhiteXyz(xy[2 * c], xy[2 * c + 1]);
        for (std::size_t r = 0; r < 3; ++r)
            m[r][c] = primary[r];
    }
    const Vec scale = Solve(m, WhiteXyz(0.3127, 0.3290));
    for (std::size_t r = 0; r < 3; ++r)
        for (std::size_t c = 0; c < 3; ++c)
            m[r][c] *= scale[c];
    return m;
}
// sRGB and the profiles of the test pictures, all D65: no adaptation
// enters their reference.
constexpr std::array<double, 6> kSrgb = {0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
constexpr std::array<double, 6> kP3 = {0.680, 0.320, 0.265, 0.690, 0.150, 0.060};
constexpr std::array<double, 6> kAdobe = {0.64, 0.33, 0.21, 0.71, 0.15, 0.06};

double SrgbDecode(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
double SrgbEncode(double v) { return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055; }

// Linear sRGB (D65 XYZ given) as an opaque pixel; out of gamut clipped.
std::uint32_t SrgbPixel(const Vec& xyz, std::uint32_t alpha = 0xFF000000u)
{
    const Vec lin = Solve(RgbToXyz(kSrgb), xyz);
    for (std::size_t c = 0; c < 3; ++c)
        alpha |= std::uint32_t(std::lround(SrgbEncode(std::clamp(lin[c], 0.0, 1.0)) * 255)) << (16 - 8 * c);
    return alpha;
}

// A stored colour in the given space (gamma 0: sRGB's curve), as sRGB.
std::uint32_t Reference(std::uint32_t stored, const std::array<double, 6>& primaries, double gamma)
{
    Vec lin{};
    for (std::size_t c = 0; c < 3; ++c) {
        const double v = double((stored >> (16 - 8 * c)) & 0xFF) / 255;
        lin[c] = gamma > 0 ? std::pow(v, gamma) : SrgbDecode(v);
    }
    return SrgbPixel(Times(RgbToXyz(primaries), lin), stored & 0xFF000000u);
}

bool Near(std::uint32_t a, std::uint32_t b, int tolerance)
{
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance)
            return false;
    return true;
}

// The four quadrant colours of the lossless colour-test pictures, as stored.
constexpr std::uint32_t kStoredQuadrants[4] = {0xFF14D214, 0xFFC89664, 0xFF5A3CC8, 0xFFF0F0F0};

} // namespace

class TestPhotos : public QObject {
    Q_OBJECT
private slots:
    void orientation_shows_what_the_tag_defines_data();
    void orientation_shows_what_the_tag_defines();
    void orientation_of_any_size_matches_the_definition();
    void bad_exif_leaves_the_picture_as_stored_data();
    void bad_exif_leaves_the_picture_as_stored();
    void profiles_convert_to_srgb_data();
    void profiles_convert_to_srgb();
    void broken_profiles_show_as_srgb_data();
    void broken_profiles_show_as_srgb();
    void big_pictures_turn_and_convert_band_by_band_data();
    void big_pictures_turn_and_convert_band_by_band();
    void cmyk_through_its_profile();
    void nclx_codes();
    void animated_webp_frames_are_turned_and_converted();
};

void TestPhotos::orientation_shows_what_the_tag_defines_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("tag");
    for (int tag = 1; tag <= 8; ++tag)
        QTest::addRow("JPEG %d", tag) << QStringLiteral("good_jpeg_orientation%1.jpg").arg(tag) << tag;
    QTest::newRow("progressive JPEG 6") << "good_jpeg_orientation6_progressive.jpg" << 6;
    QTest::newRow("PNG eXIf 6") << "good_png_orientation6.png" << 6;
    QTest::newRow("WebP EXIF 6") << "good_webp_orientation6.webp" << 6;
}

// Each quadrant's centre shows the stored quadrant the tag puts there.
void TestPhotos::orientation_shows_what_the_tag_defines()
{
    QFETCH(QString, file);
    QFETCH(int, tag);
    const bool jpeg = file.endsWith(".jpg");
    // The JPEGs store red, green / blue, yellow in 32 × 16; the others
    // the colour quadrants in 6 × 4.
    const int w = jpeg ? 32 : 6, h = jpeg ? 16 : 4;
    const std::uint32_t red = 0xFFFE0000, green = 0xFF00FF01, blue = 0xFF0000FE, yellow = 0xFFFFFF00;
    const std::uint32_t jpegQuadrants[4] = {red, green, blue, yellow};
    const std::uint32_t* stored = jpeg ? jpegQuadrants : kStoredQuadrants;
    const DecodedPicture picture = Decode(file);
    const bool swapped = tag >= 5;
    QCOMPARE(picture.Width(), swapped ? h : w);
    QCOMPARE(picture.Height(), swapped ? w : h);
    for (int qy = 0; qy < 2; ++qy)
        for (int qx = 0; qx < 2; ++qx) {
            const int x = picture.Width() / 4 + qx * picture.Width() / 2;
            const int y = picture.Height() / 4 + qy * picture.Height() / 2;
            const auto [sx, sy] = StoredAt(tag, w, h, x, y);
            const std::uint32_t want = stored[(sy >= h / 2 ? 2 : 0) + (sx >= w / 2 ? 1 : 0)];
            QVERIFY2(Near(At(picture.image, x, y), want, 2), qPrintable(QStringLiteral("quadrant %1,%2").arg(qx).arg(qy)));
        }
}

// Sizes that are no multiple of the blocks the turning works in, smaller
// than one block and holding whole blocks with parts of blocks beside them,
// and one whose turned copy is big enough to be given large pages.
void TestPhotos::orientation_of_any_size_matches_the_definition()
{
    for (const auto& [w, h] : {std::pair{37, 21}, std::pair{70, 75}, std::pair{2100, 1100}}) {
        Image stored;
        QCOMPARE(AllocateImage(stored, w, h, 0), DecodeError::None);
        for (std::size_t i = 0; i < stored.pixels.size(); ++i)
            stored.pixels[i] = std::uint32_t(i * 2654435761u);
        for (int tag = 0; tag <= 9; ++tag) {
            Image turned = stored;
            QVERIFY(ApplyOrientation(turned, tag));
            const int t = tag >= 1 && tag <= 8 ? tag : 1; // anything else: as stored
            QCOMPARE(turned.width, t >= 5 ? h : w);
            // Every row of the small ones, every seventh of the big one.
            const int step = w * h > (1 << 20) ? 7 : 1;
            for (int y = 0; y < turned.height; y += step)
                for (int x = 0; x < turned.width; ++x) {
                    const auto [sx, sy] = StoredAt(t, w, h, x, y);
                    if (At(turned, x, y) != At(stored, sx, sy))
                        QFAIL(qPrintable(QStringLiteral("%1x%2, tag %3 at %4,%5").arg(w).arg(h).arg(tag).arg(x).arg(y)));
                }
        }
    }
}

void TestPhotos::bad_exif_leaves_the_picture_as_stored_data()
{
    QTest::addColumn<QString>("file");
    for (const char* name : {"out_of_range", "zero", "two_values", "looping_ifd", "ifd_outside", "ifd_past_end"})
        QTest::newRow(name) << QStringLiteral("jpeg_exif_%1.jpg").arg(name);
}

void TestPhotos::bad_exif_leaves_the_picture_as_stored()
{
    QFETCH(QString, file);
    // The APP1 segment's body: its length (which counts itself) is stored
    // just before "Exif".
    const PictureBytes bytes = Load(file);
    const auto at = std::size_t(std::search(bytes.begin(), bytes.end(), "Exif", "Exif" + 4) - bytes.begin());
    QVERIFY(at > 4 && at < bytes.size());
    const std::size_t length = std::size_t(bytes[at - 2]) << 8 | bytes[at - 1];
    QCOMPARE(ReadExifOrientation(std::span(bytes).subspan(at, length - 2)), 0);
    QCOMPARE(Decode(file).image.pixels, Decode("good_jpeg_orientation1.jpg").image.pixels);
}

void TestPhotos::profiles_convert_to_srgb_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("p3");
    QTest::addColumn<int>("tag");
    QTest::newRow("JPEG Display P3") << "good_jpeg_photo_p3.jpg" << true << 1;
    QTest::newRow("JPEG Adobe RGB") << "good_jpeg_photo_adobe_rgb.jpg" << false << 1;
    QTest::newRow("JPEG P3 in three parts, out of order") << "good_jpeg_photo_p3_parts.jpg" << true << 1;
    QTest::newRow("JPEG P3 with orientation 8") << "good_jpeg_photo_p3_orientation8.jpg" << true << 8;
    QTest::newRow("PNG iCCP") << "good_png_photo_p3.png" << true << 1;
    QTest::newRow("WebP ICCP") << "good_webp_photo_p3.webp" << true << 1;
}

// Every pixel against its stored colour converted by the reference; JPEG's
// stored colours are read from the same file without its profile.
void TestPhotos::profiles_convert_to_srgb()
{
    QFETCH(QString, file);
    QFETCH(bool, p3);
    QFETCH(int, tag);
    const DecodedPicture picture = Decode(file);
    const bool jpeg = file.endsWith(".jpg");
    const DecodedPicture plain = jpeg ? Decode("good_jpeg_photo_plain.jpg") : DecodedPicture{};
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) {
            const auto [sx, sy] = StoredAt(tag, picture.Width(), picture.Height(), x, y); // square pictures
            const std::uint32_t stored = jpeg ? At(plain.image, sx, sy)
                                              : kStoredQuadrants[(sy >= picture.Height() / 2 ? 2 : 0) +
                                                                 (sx >= picture.Width() / 2 ? 1 : 0)];
            const std::uint32_t want = Reference(stored, p3 ? kP3 : kAdobe, p3 ? 0 : 563.0 / 256);
            if (!Near(At(picture.image, x, y), want, 2))
                QFAIL(qPrintable(QStringLiteral("%1,%2: %3, want %4").arg(x).arg(y)
                                     .arg(At(picture.image, x, y), 8, 16).arg(want, 8, 16)));
        }
}

void TestPhotos::broken_profiles_show_as_srgb_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("asStored");
    for (const char* name : {"part_missing", "not_a_profile", "bad_tag_table"})
        QTest::newRow(name) << QStringLiteral("jpeg_icc_%1.jpg").arg(name) << "good_jpeg_photo_plain.jpg";
    QTest::newRow("PNG") << "png_icc_not_a_profile.png" << "";
}

void TestPhotos::broken_profiles_show_as_srgb()
{
    QFETCH(QString, file);
    QFETCH(QString, asStored);
    const DecodedPicture picture = Decode(file);
    if (!asStored.isEmpty()) {
        QCOMPARE(picture.image.pixels, Decode(asStored).image.pixels);
    } else {
        QCOMPARE(At(picture.image, 0, 0), kStoredQuadrants[0]);
        QCOMPARE(At(picture.image, 5, 3), kStoredQuadrants[3]);
    }
    const PictureBytes garbage(300, 0x5A);
    Image image = picture.image;
    QVERIFY(!ConvertProfileToSrgb(image, garbage));
    QCOMPARE(image.pixels, picture.image.pixels);
}

void TestPhotos::big_pictures_turn_and_convert_band_by_band_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("tag");
    QTest::addColumn<bool>("p3");
    // A wide picture: turned, it is decoded in several bands of rows. Cut
    // off, the rows after the cut repeat and are filled in without decoding.
    for (const char* file : {"whole", "cut"})
        for (int tag : {1, 3, 5, 6, 7, 8})
            QTest::addRow("%s %d", file, tag) << file << tag << (tag == 1 || tag == 6);
}

// The picture with an EXIF tag and a profile put in, against the same
// file decoded without them, turned by the tag's definition and converted
// by the reference.
void TestPhotos::big_pictures_turn_and_convert_band_by_band()
{
    QFETCH(QString, file);
    QFETCH(int, tag);
    QFETCH(bool, p3);
    const PictureBytes plain = WidePhoto(file == "cut");
    PictureBytes crafted = WithSegment(plain, 0xE1, ExifSegment(tag));
    if (p3)
        crafted = WithSegment(crafted, 0xE2, IccSegment(Load("p3.icc")));
    const Image stored = DecodeBytes(plain);
    const Image shown = DecodeBytes(crafted);
    QCOMPARE(shown.width, tag >= 5 ? stored.height : stored.width);
    QCOMPARE(shown.height, tag >= 5 ? stored.width : stored.height);
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x) {
            const auto [sx, sy] = StoredAt(tag, stored.width, stored.height, x, y);
            if (p3 && (x + y) % 7 != 0)
                continue; // the reference is slow; a sample of pixels does
            const std::uint32_t want = p3 ? Reference(At(stored, sx, sy), kP3, 0) : At(stored, sx, sy);
            if (!Near(At(shown, x, y), want, p3 ? 2 : 0))
                QFAIL(qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
        }
}

// A print profile (made here: a table from inks to Lab) on the CMYK JPEGs,
// stored plain and inverted: no ink, full yellow and full cyan against Lab
// turned into sRGB here.
void TestPhotos::cmyk_through_its_profile()
{
    const auto lab = [](int c, int m, int y, int k) {
        return k ? cmsCIELab{0, 0, 0} : cmsCIELab{100.0 - 40 * c - 50 * m - 10 * y, -40.0 * c + 70 * m, -40.0 * c + 90 * y};
    };
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 2.1);
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsUInt16Number table[16 * 3];
    for (int n = 0; n < 16; ++n) {
        const cmsCIELab node = lab(n >> 3 & 1, n >> 2 & 1, n >> 1 & 1, n & 1);
        cmsFloat2LabEncoded(&table[n * 3], &node);
    }
    cmsPipeline* inksToLab = cmsPipelineAlloc(nullptr, 4, 3);
    cmsPipelineInsertStage(inksToLab, cmsAT_END, cmsStageAllocCLut16bit(nullptr, 2, 4, 3, table));
    cmsWriteTag(profile, cmsSigAToB0Tag, inksToLab);
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    PictureBytes icc(size);
    QVERIFY(cmsSaveProfileToMem(profile, icc.data(), &size));
    cmsPipelineFree(inksToLab);
    cmsCloseProfile(profile);

    // Lab (D50) to XYZ, Bradford to D65, to sRGB by its primaries.
    const auto srgb = [](cmsCIELab c) {
        const auto f = [](double t) { return t * t * t > 216.0 / 24389 ? t * t * t : (116 * t - 16) * 27 / 24389; };
        const double fy = (c.L + 16) / 116;
        const Vec d50 = {0.9642 * f(fy + c.a / 500), c.L > 8 ? f(fy) : c.L * 27 / 24389, 0.8249 * f(fy - c.b / 200)};
        const Mat bradford = {{{0.8951, 0.2664, -0.1614}, {-0.7502, 1.7135, 0.0367}, {0.0389, -0.0685, 1.0296}}};
        Vec cone = Times(bradford, d50);
        const Vec from = Times(bradford, {0.9642, 1, 0.8249}), to = Times(bradford, WhiteXyz(0.3127, 0.3290));
        for (std::size_t r = 0; r < 3; ++r)
            cone[r] *= to[r] / from[r];
        return SrgbPixel(Solve(bradford, cone));
    };
    // Blocks as stored: plain (no ink, full yellow), inverted (no ink, full cyan).
    const Image plain = DecodeBytes(WithSegment(Load("good_jpeg_cmyk_plain.jpg"), 0xE2, IccSegment(icc)));
    const Image inverted = DecodeBytes(WithSegment(Load("good_jpeg_cmyk.jpg"), 0xE2, IccSegment(icc)));
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {
        {At(plain, 0, 0), srgb(lab(0, 0, 0, 0))},    {At(plain, 8, 0), srgb(lab(0, 0, 1, 0))},
        {At(inverted, 0, 0), srgb(lab(0, 0, 0, 0))}, {At(inverted, 8, 0), srgb(lab(1, 0, 0, 0))},
    };
    for (const auto& [got, want] : cases)
        QVERIFY2(Near(got, want, 2), qPrintable(QStringLiteral("%1, want %2").arg(got, 8, 16).arg(want, 8, 16)));
}

// Primaries and transfer by code: P3 converts like its profile, alpha is
// kept, sRGB and unspecified codes change nothing, an unknown curve is
// refused and changes nothing.
void TestPhotos::nclx_codes()
{
    Image image;
    QCOMPARE(AllocateImage(image, 2, 1, 0), DecodeError::None);
    image.pixels = {0x80C89664, 0xFF14D214};
    const PixelBuffer stored = image.pixels;
    QVERIFY(ConvertCicpToSrgb(image, 1, 13));
    QVERIFY(ConvertCicpToSrgb(image, 2, 2));
    QCOMPARE(image.pixels, stored);
    QVERIFY(!ConvertCicpToSrgb(image, 12, 16));
    QVERIFY(!ConvertCicpToSrgb(image, 99, 13));
    QCOMPARE(image.pixels, stored);
    QVERIFY(ConvertCicpToSrgb(image, 12, 13));
    QVERIFY(Near(image.pixels[0], Reference(stored[0], kP3, 0), 2));
    QVERIFY(Near(image.pixels[1], Reference(stored[1], kP3, 0), 2));
    QCOMPARE(image.pixels[0] >> 24, 0x80u);
}

// Both frames of a two-frame P3 animation stored sideways (tag 6); the
// second frame is the first mirrored left to right.
void TestPhotos::animated_webp_frames_are_turned_and_converted()
{
    const DecodedPicture picture = Decode("good_webp_animated_p3_orientation6.webp");
    QVERIFY(picture.Animated());
    Animation& player = *picture.animation;
    QCOMPARE(player.Width(), 4);
    QCOMPARE(player.Height(), 6);
    for (int frame = 0; frame < 2; ++frame) {
        QCOMPARE(player.Advance(), DecodeError::None);
        const Image& canvas = player.Canvas();
        QCOMPARE(canvas.width, 4);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 4; ++x) {
                auto [sx, sy] = StoredAt(6, 6, 4, x, y);
                if (frame == 1)
                    sx = 5 - sx;
                const std::uint32_t want = Reference(kStoredQuadrants[(sy >= 2 ? 2 : 0) + (sx >= 3 ? 1 : 0)], kP3, 0);
                QVERIFY(Near(At(canvas, x, y), want, 2));
            }
        if (frame == 0)
            QCOMPARE(canvas.pixels, picture.image.pixels);
    }
}

QTEST_GUILESS_MAIN(TestPhotos)
#include "test_photos.moc"
