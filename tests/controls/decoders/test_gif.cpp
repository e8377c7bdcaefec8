// The GIF player on its own: frames indexed without decoding, decoded one
// at a time onto one canvas, and the damaged, huge and endless files.

#include "controls/decoders/Decoders.h"
#include "sandbox/Decode.h"
#include "controls/decoders/Gif.h"
#include "tests/controls/decoders/DecoderTestData.h"

#include <QTest>

#include <memory>
#include <thread>

using namespace mugrove;
using namespace mugrove::testing;

namespace {

// A player for any GIF, one frame or more.
std::unique_ptr<Animation> Player(const QString& name)
{
    const auto bytes = std::make_shared<const PictureBytes>(Load(name));
    auto index = std::make_shared<GifIndex>();
    if (IndexGif(*bytes, *index) != DecodeError::None)
        qFatal("%s has no index", qPrintable(name));
    return std::make_unique<GifPlayer>(bytes, index);
}

GifIndex Index(const QString& name)
{
    GifIndex index;
    const PictureBytes bytes = Load(name);
    if (IndexGif(bytes, index) != DecodeError::None)
        qFatal("%s has no index", qPrintable(name));
    return index;
}

// The canvas after `frames` steps of a fresh player.
Image FrameAfter(const QString& name, std::size_t frames)
{
    const std::unique_ptr<Animation> player = Player(name);
    for (std::size_t i = 0; i < frames; ++i)
        if (player->Advance() != DecodeError::None)
            qFatal("frame %zu of %s does not decode", i, qPrintable(name));
    return player->Canvas();
}

} // namespace

class TestGif : public QObject {
    Q_OBJECT
private slots:
    void gif_decode_truncated_input_keeps_complete_frames();
    void gif_decode_short_pixel_data();
    void gif_decode_huge_frame_is_cut_to_screen();
    void gif_decode_bomb_stops_at_screen();
    void gif_decode_full_code_table();
    void gif_compose_frames_in_order();
    void gif_player_clone_is_independent_and_shares_bytes();
    void gif_loop_count_from_file();
    void gif_long_recording_plays_every_frame();
    void gif_damaged_frame_ends_play_on_last_good_frame();
    void gif_compose_disposal3_at_image_edge();
    void gif_compose_frame_outside_screen();
    void gif_compose_disposal_of_empty_frame();
};

void TestGif::gif_decode_truncated_input_keeps_complete_frames()
{
    QCOMPARE(Index("gif_truncated_third_frame.gif").frames.size(), std::size_t{2});
    DecodedPicture picture;
    QCOMPARE(DecodePicture(Load("gif_truncated_third_frame.gif"), picture), DecodeError::None);
    QVERIFY(picture.Animated());
    QCOMPARE(picture.animation->FrameCount(), std::size_t{2});
}

void TestGif::gif_decode_short_pixel_data()
{
    // The data ends after two of six pixels: the rest stay transparent.
    DecodedPicture picture;
    QCOMPARE(DecodePicture(Load("gif_short_pixel_data.gif"), picture), DecodeError::None);
    QCOMPARE(Difference(picture.image, Picture(3, 2, {kR, kG, kT, kT, kT, kT})), QString());
    QVERIFY(!picture.Animated());
}

void TestGif::gif_decode_huge_frame_is_cut_to_screen()
{
    const GifIndex index = Index("gif_huge_frame.gif");
    QCOMPARE(index.frames.at(0).clipWidth, 3);
    QCOMPARE(index.frames.at(0).clipHeight, 2);
    DecodedPicture picture;
    QCOMPARE(DecodePicture(Load("gif_huge_frame.gif"), picture), DecodeError::None);
    QCOMPARE(Difference(picture.image, Picture(3, 2, {kR, kG, kB, kT, kT, kT})), QString());
}

void TestGif::gif_decode_bomb_stops_at_screen()
{
    // 65535 × 65535 claimed over 16 × 16, 160 million pixels of red in the
    // data. Straight rows: all 16 screen rows come first and are red.
    DecodedPicture picture;
    QCOMPARE(DecodePicture(Load("gif_bomb.gif"), picture), DecodeError::None);
    QCOMPARE(Difference(picture.image, Picture(16, 16, std::vector<std::uint32_t>(256, kR))), QString());
    GifIndex index = Index("gif_bomb.gif");
    std::vector<std::uint8_t> indices(16 * 16, 9);
    std::uint64_t decoded = 0;
    QCOMPARE(DecodeGifFrame(Load("gif_bomb.gif"), index.frames.at(0), indices.data(), decoded), DecodeError::None);
    QCOMPARE(decoded, std::uint64_t{16} * 65535); // no further than the 16th row
    // Interlaced: the data (about 2400 rows) reaches only into the first
    // pass, every 8th row from 0; rows 0 and 8 are red, the rest untouched.
    QCOMPARE(DecodePicture(Load("gif_bomb_interlaced.gif"), picture), DecodeError::None);
    std::vector<std::uint32_t> want(256, kT);
    std::fill(want.begin(), want.begin() + 16, kR);
    std::fill(want.begin() + 8 * 16, want.begin() + 9 * 16, kR);
    QCOMPARE(Difference(picture.image, Picture(16, 16, want)), QString());
}

void TestGif::gif_decode_full_code_table()
{
    // Also covered by the exact-pixel test; here the table must really fill.
    const PictureBytes bytes = Load("gif_full_code_table.gif");
    const GifIndex index = Index("gif_full_code_table.gif");
    std::vector<std::uint8_t> indices(64 * 64);
    std::uint64_t decoded = 0;
    QCOMPARE(DecodeGifFrame(bytes, index.frames.at(0), indices.data(), decoded), DecodeError::None);
    QCOMPARE(decoded, std::uint64_t{64 * 64});
    QCOMPARE(Difference(FrameAfter("gif_full_code_table.gif", 1), LoadExpected("gif_full_code_table.gif")), QString());
}

void TestGif::gif_compose_frames_in_order()
{
    const std::unique_ptr<Animation> player = Player("good_gif_animated.gif");
    QCOMPARE(player->Width(), 4);
    QCOMPARE(player->FrameCount(), std::size_t{4});
    QVERIFY(player->Canvas().Empty());
    std::vector<int> delays;
    for (std::size_t i = 0; i < player->FrameCount(); ++i)
        delays.push_back(player->DelayMs(i));
    QCOMPARE(delays, (std::vector<int>{50, 100, 250, 30}));

    const std::vector<std::uint32_t> red(16, kR);
    auto f2 = red;
    f2[5] = f2[6] = f2[9] = kG;        // 2 × 2 at (1,1), (2,2) transparent
    auto f3 = red;
    f3[0] = kB;                        // green area put back, blue at (0,0)
    auto f4 = red;
    f4[7] = f4[11] = f4[15] = kW;      // blue area put back, column x=3 but row 0
    const std::vector<std::vector<std::uint32_t>> want = {red, f2, f3, f4, red, f2};
    for (std::size_t i = 0; i < want.size(); ++i) {
        QCOMPARE(player->Advance(), DecodeError::None);
        QCOMPARE(player->Current(), i % 4);
        QCOMPARE(Difference(player->Canvas(), Picture(4, 4, want[i])), QString());
    }
    // Back to the start: nothing composed, then the first frame again.
    player->Reset();
    QVERIFY(player->Canvas().Empty());
    QCOMPARE(player->Advance(), DecodeError::None);
    QCOMPARE(Difference(player->Canvas(), Picture(4, 4, red)), QString());
}

void TestGif::gif_player_clone_is_independent_and_shares_bytes()
{
    const auto bytes = std::make_shared<const PictureBytes>(Load("good_gif_animated.gif"));
    DecodedPicture picture;
    QCOMPARE(DecodePictureInProcess(bytes, picture), DecodeError::None);
    QCOMPARE(bytes.use_count(), 2); // the caller's and the player's, no copy
    Animation& player = *picture.animation;
    QCOMPARE(player.Advance(), DecodeError::None);
    QCOMPARE(player.Advance(), DecodeError::None);
    const std::unique_ptr<Animation> clone = player.Clone();
    QCOMPARE(bytes.use_count(), 3);
    QVERIFY(clone->Canvas().Empty()); // at its start
    std::vector<std::uint32_t> f2(16, kR);
    f2[5] = f2[6] = f2[9] = kG;
    // Driven on another thread while the original goes on here.
    Image fromThread;
    std::thread worker([&] {
        for (int i = 0; i < 6; ++i)
            clone->Advance();
        fromThread = clone->Canvas();
    });
    QCOMPARE(player.Advance(), DecodeError::None);
    worker.join();
    QCOMPARE(player.Current(), std::size_t{2});
    QCOMPARE(clone->Current(), std::size_t{1});
    QCOMPARE(Difference(fromThread, Picture(4, 4, f2)), QString());
}

void TestGif::gif_loop_count_from_file()
{
    // How often each file asks to be played: no extension once, a repeat
    // count of 3 four times, a repeat count of 0 for ever.
    QCOMPARE(Player("good_gif_animated.gif")->LoopCount(), 1);
    QCOMPARE(Player("gif_loop_three.gif")->LoopCount(), 4);
    QCOMPARE(Index("gif_long_recording.gif").loopCount, 0);
}

void TestGif::gif_long_recording_plays_every_frame()
{
    // 550 frames of 800 × 600: more than the memory cap if every frame
    // were kept, so it plays frame by frame. Frame i is all one colour.
    DecodedPicture picture;
    QCOMPARE(DecodePicture(Load("gif_long_recording.gif"), picture), DecodeError::None);
    QCOMPARE(picture.Width(), 800);
    QCOMPARE(picture.Height(), 600);
    QCOMPARE(PixelAt(picture.image, 799, 599), Argb(255, 0, 255, 0));
    QVERIFY(picture.Animated());
    Animation& player = *picture.animation;
    QCOMPARE(player.FrameCount(), std::size_t{550});
    QCOMPARE(player.DelayMs(549), 40);
    for (std::size_t i = 0; i < 551; ++i) {
        QCOMPARE(player.Advance(), DecodeError::None);
        const std::uint32_t n = static_cast<std::uint32_t>(i % 550);
        const std::uint32_t want = Argb(255, n % 256, 255 - n % 256, n / 256);
        const Image& canvas = player.Canvas();
        QCOMPARE(Hex(PixelAt(canvas, 0, 0)), Hex(want));
        QCOMPARE(Hex(PixelAt(canvas, 799, 599)), Hex(want));
        QCOMPARE(Hex(PixelAt(canvas, 400, 300)), Hex(want));
    }
    QCOMPARE(player.Current(), std::size_t{0});
}

void TestGif::gif_damaged_frame_ends_play_on_last_good_frame()
{
    DecodedPicture picture;
    QCOMPARE(DecodePicture(Load("gif_damaged_third_frame.gif"), picture), DecodeError::None);
    QCOMPARE(Difference(picture.image, Picture(4, 4, std::vector<std::uint32_t>(16, kR))), QString());
    Animation& player = *picture.animation;
    QCOMPARE(player.FrameCount(), std::size_t{4});
    QCOMPARE(player.Advance(), DecodeError::None);
    QCOMPARE(player.Advance(), DecodeError::None);
    std::vector<std::uint32_t> f2(16, kR);
    f2[5] = f2[6] = f2[9] = kG;
    QCOMPARE(player.Advance(), DecodeError::CorruptData);
    QCOMPARE(player.Current(), std::size_t{1});
    QCOMPARE(Difference(player.Canvas(), Picture(4, 4, f2)), QString());
}

void TestGif::gif_compose_disposal3_at_image_edge()
{
    std::vector<std::uint32_t> want(9, kR);
    want[8] = kG;
    QCOMPARE(Difference(FrameAfter("gif_disposal3_edge.gif", 2), Picture(3, 3, want)), QString());
    want[8] = kR;
    want[0] = kB;
    QCOMPARE(Difference(FrameAfter("gif_disposal3_edge.gif", 3), Picture(3, 3, want)), QString());
}

void TestGif::gif_compose_frame_outside_screen()
{
    const GifIndex index = Index("gif_frame_outside_screen.gif");
    QCOMPARE(index.frames.size(), std::size_t{2});
    QCOMPARE(index.frames[1].clipWidth * index.frames[1].clipHeight, 0);
    const Image first = FrameAfter("gif_frame_outside_screen.gif", 1);
    QCOMPARE(Difference(FrameAfter("gif_frame_outside_screen.gif", 2), first), QString());
}

void TestGif::gif_compose_disposal_of_empty_frame()
{
    // Found by the fuzzer: a disposal-2/3 frame that shows no pixels saved
    // a zero-width area through a null pointer.
    // And, found as slow: small frames on an 11780 × 1028 screen, where each
    // new loop cleared the whole screen; now only where frames drew, which
    // must still leave the first frame as it was on the first loop.
    for (const char* name : {"fuzz-regressions/gif_disposal_empty_frame.gif",
                             "fuzz-regressions/gif_wide_screen_small_frames.gif"}) {
        const std::unique_ptr<Animation> player = Player(name);
        player->Advance();
        const Image first = player->Canvas();
        for (std::size_t i = 0; i < player->FrameCount(); ++i)
            player->Advance();
        QCOMPARE(player->Current(), std::size_t{0});
        QCOMPARE(player->Canvas().pixels.size(),
                 static_cast<std::size_t>(player->Width()) * static_cast<std::size_t>(player->Height()));
        QVERIFY(player->Canvas().pixels == first.pixels);
    }
}

QTEST_GUILESS_MAIN(TestGif)
#include "test_gif.moc"
