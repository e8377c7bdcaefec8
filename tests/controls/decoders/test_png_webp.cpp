// PNG and WebP on their own: each malformed file's named failure, lossy
// WebP against libwebp's own decoding, and the animated WebP player.
// Known-good files with an ".expect" are checked to exact pixels by the
// decoders suite.

#include "controls/decoders/DecodedPicture.h"
#include "sandbox/Decode.h"
#include "controls/decoders/Png.h"
#include "controls/decoders/Webp.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <webp/decode.h>

#include <memory>

using namespace mugrove;

Q_DECLARE_METATYPE(mugrove::DecodeError)

namespace {

std::shared_ptr<const PictureBytes> Bytes(const QString& name)
{
    // Inputs the fuzzers found are kept apart from the generated files.
    const bool found = name.startsWith(QLatin1String("fuzz-regressions/"));
    QFile f(QStringLiteral(MUGROVE_TEST_DATA "/") + (found ? name : QStringLiteral("decoders/") + name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing test file %s", qPrintable(name));
    const QByteArray b = f.readAll();
    return std::make_shared<const PictureBytes>(b.begin(), b.end());
}

// "width height" then 0xAARRGGBB per pixel; transparent pixels read as 0.
std::vector<std::uint32_t> Expected(const QString& name, int& width, int& height)
{
    QFile f(QStringLiteral(MUGROVE_TEST_DATA "/decoders/") + name);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        qFatal("missing expectation %s", qPrintable(name));
    const QStringList words = QString::fromLatin1(f.readAll()).split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    width = words.value(0).toInt();
    height = words.value(1).toInt();
    std::vector<std::uint32_t> pixels;
    for (qsizetype i = 2; i < words.size(); ++i)
        pixels.push_back(words[i].toUInt(nullptr, 16));
    return pixels;
}

// The pixels with every fully transparent one as 0, whatever its colour.
std::vector<std::uint32_t> Shown(const Image& image)
{
    std::vector<std::uint32_t> out(image.pixels.begin(), image.pixels.end());
    for (std::uint32_t& p : out)
        if ((p >> 24) == 0)
            p = 0;
    return out;
}

void CompareFrame(const Image& canvas, int index)
{
    int w = 0, h = 0;
    const auto want = Expected(QStringLiteral("good_webp_animated.webp.frame%1").arg(index), w, h);
    QCOMPARE(canvas.width, w);
    QCOMPARE(canvas.height, h);
    QCOMPARE(Shown(canvas), want);
}

} // namespace

class TestPngWebp : public QObject {
    Q_OBJECT
private slots:
    void malformed_files_give_named_failures_data();
    void malformed_files_give_named_failures();
    void png_palette_index_beyond_palette_is_black();
    void webp_lossy_matches_libwebp_data();
    void webp_lossy_matches_libwebp();
    void webp_packed_tightly_decodes_whole();
    void webp_animation_plays_frames_in_order();
    void webp_animation_clone_plays_alone();
    void webp_animation_bad_frame_keeps_last_good();
    void webp_animation_of_one_frame_is_still();
    void webp_tall_canvas_plays();
};

void TestPngWebp::malformed_files_give_named_failures_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<DecodeError>("error");
    const auto row = [](const char* file, DecodeError e) { QTest::newRow(file) << QString::fromLatin1(file) << e; };
    row("png_signature_only.png", DecodeError::TruncatedInput);
    row("png_truncated_header.png", DecodeError::TruncatedInput);
    row("png_truncated_idat.png", DecodeError::TruncatedInput);
    row("png_no_idat.png", DecodeError::BadHeader);
    row("png_bad_crc.png", DecodeError::CorruptData);
    row("png_zero_width.png", DecodeError::UnsupportedDimension);
    row("png_side_over_cap.png", DecodeError::TooLarge);
    row("png_over_memory_cap.png", DecodeError::TooLarge);
    row("png_claims_more_than_data.png", DecodeError::TruncatedInput);
    row("png_bad_bit_depth.png", DecodeError::BadHeader);
    row("png_palette_missing.png", DecodeError::BadHeader);
    row("png_corrupt_zlib.png", DecodeError::CorruptData);
    row("png_bad_filter.png", DecodeError::CorruptData);
    row("webp_truncated_header.webp", DecodeError::TruncatedInput);
    row("webp_truncated.webp", DecodeError::TruncatedInput);
    row("webp_corrupt_bitstream.webp", DecodeError::CorruptData);
    row("webp_over_memory_cap.webp", DecodeError::TooLarge);
    row("webp_animated_truncated.webp", DecodeError::TruncatedInput);
    row("webp_animated_side_over_cap.webp", DecodeError::TooLarge);
    row("webp_animated_over_memory_cap.webp", DecodeError::TooLarge);
    row("webp_animated_frame_outside.webp", DecodeError::BadHeader);
    // Found by the fuzzers: sizes within the caps claimed by a few dozen
    // bytes, which had a whole picture allocated before the data ran out.
    row("fuzz-regressions/png_huge_claim_tiny_data.png", DecodeError::TruncatedInput);
    row("fuzz-regressions/webp_huge_claim_tiny_data.webp", DecodeError::TruncatedInput);
}

void TestPngWebp::malformed_files_give_named_failures()
{
    QFETCH(QString, file);
    QFETCH(DecodeError, error);
    const auto bytes = Bytes(file);
    // The files that claim sizes beyond the caps hold no pixel data: a
    // decoder that allocated first would fail later, with another name.
    DecodedPicture picture;
    QCOMPARE(DecodePicture(*bytes, picture), error);
    QVERIFY(picture.image.Empty());
    QCOMPARE(picture.kind, ImageKind::Unrecognised);
    Image still;
    std::unique_ptr<Animation> player;
    if (file.endsWith(".png")) {
        QCOMPARE(DecodePng(*bytes, still), error);
    } else {
        QCOMPARE(DecodeWebpPicture(bytes, still, player), error);
        QVERIFY(!player);
    }
    QVERIFY(still.Empty());
}

void TestPngWebp::png_palette_index_beyond_palette_is_black()
{
    // As in a BMP: an index past the palette shows opaque black, not
    // whatever memory follows the palette.
    Image image;
    QCOMPARE(DecodePng(*Bytes("png_palette_index_beyond.png"), image), DecodeError::None);
    QCOMPARE(Shown(image), (std::vector<std::uint32_t>{0xFFFF0000, 0xFF00FF00, kOpaqueBlack}));
}

void TestPngWebp::webp_lossy_matches_libwebp_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("opaque") << "good_webp_lossy.webp";
    QTest::newRow("with alpha") << "good_webp_lossy_alpha.webp";
}

void TestPngWebp::webp_lossy_matches_libwebp()
{
    QFETCH(QString, file);
    const auto bytes = Bytes(file);
    DecodedPicture picture;
    QCOMPARE(DecodePicture(*bytes, picture), DecodeError::None);
    int w = 0, h = 0;
    std::uint8_t* rgba = WebPDecodeRGBA(bytes->data(), bytes->size(), &w, &h);
    QVERIFY(rgba != nullptr);
    std::vector<std::uint32_t> want;
    for (int i = 0; i < w * h; ++i) {
        const std::uint8_t* p = rgba + 4 * i;
        want.push_back(Argb(p[3], p[0], p[1], p[2]));
    }
    WebPFree(rgba);
    QCOMPARE(picture.kind, ImageKind::Webp);
    QCOMPARE(picture.Width(), 40);
    QCOMPARE(picture.Height(), 24);
    QCOMPARE(std::vector<std::uint32_t>(picture.image.pixels.begin(), picture.image.pixels.end()), want);
}

void TestPngWebp::webp_packed_tightly_decodes_whole()
{
    // Far more pixels than file bytes: decoded apart, then taken over.
    const auto bytes = Bytes("good_webp_solid.webp");
    QVERIFY(bytes->size() * 1024 < 240 * 100 * 4);
    Image image;
    QCOMPARE(DecodeWebp(*bytes, image), DecodeError::None);
    QCOMPARE(image.width, 240);
    QCOMPARE(image.height, 100);
    QCOMPARE(Shown(image), std::vector<std::uint32_t>(240 * 100, 0xFF1E3C5A));
}

void TestPngWebp::webp_animation_plays_frames_in_order()
{
    std::unique_ptr<WebpAnimation> player;
    QCOMPARE(WebpAnimation::Open(Bytes("good_webp_animated.webp"), player), DecodeError::None);
    QCOMPARE(player->Width(), 4);
    QCOMPARE(player->Height(), 3);
    QCOMPARE(player->FrameCount(), std::size_t{3});
    QCOMPARE(player->LoopCount(), 3);
    // 70 ms as stored; 0 shows for 50 ms and 5 for 10 ms, as GIF delays would.
    QCOMPARE(player->DelayMs(0), 70);
    QCOMPARE(player->DelayMs(1), 50);
    QCOMPARE(player->DelayMs(2), 10);
    QVERIFY(player->Canvas().Empty());
    // Two rounds: after the last frame the first comes again, composed
    // from a cleared canvas (frame 2's transparent pixels are gone).
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(player->Advance(), DecodeError::None);
        QCOMPARE(player->Current(), std::size_t(i % 3));
        CompareFrame(player->Canvas(), i % 3);
    }
    player->Reset();
    QCOMPARE(player->Advance(), DecodeError::None);
    QCOMPARE(player->Current(), std::size_t{0});
    CompareFrame(player->Canvas(), 0);

    // The picture's still form is the first frame, and it keeps a player.
    Image still;
    std::unique_ptr<Animation> animation;
    QCOMPARE(DecodeWebpPicture(Bytes("good_webp_animated.webp"), still, animation), DecodeError::None);
    CompareFrame(still, 0);
    QVERIFY(animation != nullptr);
    QVERIFY(animation->Canvas().Empty());
    // It plays from the start, a Reset there included, however the first
    // frame is kept.
    animation->Reset();
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(animation->Advance(), DecodeError::None);
        QCOMPARE(animation->Current(), std::size_t(i % 3));
        CompareFrame(animation->Canvas(), i % 3);
    }
    animation->Reset();
    QCOMPARE(animation->Advance(), DecodeError::None);
    CompareFrame(animation->Canvas(), 0);
    QCOMPARE(animation->Advance(), DecodeError::None);
    CompareFrame(animation->Canvas(), 1);
}

void TestPngWebp::webp_animation_clone_plays_alone()
{
    std::unique_ptr<WebpAnimation> player;
    QCOMPARE(WebpAnimation::Open(Bytes("good_webp_animated.webp"), player), DecodeError::None);
    QCOMPARE(player->Advance(), DecodeError::None);
    QCOMPARE(player->Advance(), DecodeError::None);
    const std::unique_ptr<Animation> clone = player->Clone();
    // The clone starts at the beginning, with nothing composed.
    QVERIFY(clone->Canvas().Empty());
    QCOMPARE(clone->FrameCount(), std::size_t{3});
    QCOMPARE(clone->DelayMs(0), 70);
    QCOMPARE(clone->Advance(), DecodeError::None);
    CompareFrame(clone->Canvas(), 0);
    // Neither moves the other.
    QCOMPARE(player->Current(), std::size_t{1});
    CompareFrame(player->Canvas(), 1);
    QCOMPARE(player->Advance(), DecodeError::None);
    CompareFrame(player->Canvas(), 2);
    QCOMPARE(clone->Current(), std::size_t{0});
    CompareFrame(clone->Canvas(), 0);
    // A clone outlives the player it came from: the bytes are shared.
    player.reset();
    QCOMPARE(clone->Advance(), DecodeError::None);
    CompareFrame(clone->Canvas(), 1);
}

void TestPngWebp::webp_animation_bad_frame_keeps_last_good()
{
    std::unique_ptr<WebpAnimation> player;
    QCOMPARE(WebpAnimation::Open(Bytes("webp_animated_bad_third_frame.webp"), player), DecodeError::None);
    QCOMPARE(player->FrameCount(), std::size_t{3});
    QCOMPARE(player->Advance(), DecodeError::None);
    QCOMPARE(player->Advance(), DecodeError::None);
    QCOMPARE(player->Advance(), DecodeError::CorruptData);
    // The second frame stays on show, and the round starts again.
    QCOMPARE(player->Current(), std::size_t{1});
    CompareFrame(player->Canvas(), 1);
    QCOMPARE(player->Advance(), DecodeError::None);
    QCOMPARE(player->Current(), std::size_t{0});
    CompareFrame(player->Canvas(), 0);
}

void TestPngWebp::webp_animation_of_one_frame_is_still()
{
    Image still;
    std::unique_ptr<Animation> animation;
    QCOMPARE(DecodeWebpPicture(Bytes("good_webp_animated_one_frame.webp"), still, animation), DecodeError::None);
    QVERIFY(animation == nullptr);
    CompareFrame(still, 0);
}

void TestPngWebp::webp_tall_canvas_plays()
{
    // Found by the fuzzer (as slow, not wrong): tiny frames on a canvas of
    // 513 × 19716. The still picture is the first frame itself, not a copy.
    Image still;
    std::unique_ptr<Animation> animation;
    QCOMPARE(DecodeWebpPicture(Bytes("fuzz-regressions/webp_tall_canvas_tiny_frames.webp"), still, animation),
             DecodeError::None);
    QCOMPARE(still.width, 513);
    QCOMPARE(still.height, 19716);
    QVERIFY(animation);
    QCOMPARE(animation->FrameCount(), std::size_t{2});
    QVERIFY(animation->Canvas().Empty());
    for (std::size_t i = 0; i < 3; ++i) {
        QCOMPARE(animation->Advance(), DecodeError::None);
        QCOMPARE(animation->Current(), i % 2);
    }
    QCOMPARE(animation->Canvas().pixels.size(), std::size_t{513} * 19716);
}

QTEST_GUILESS_MAIN(TestPngWebp)
#include "test_png_webp.moc"
