// Video clips read by the clip player, from files and from memory. The
// clips come from tools/make-test-data.py; frame n of a counting clip is
// grey at level 20 + 10 n.
#include "controls/clips/Clip.h"
#include "sandbox/Decode.h"
#include "tests/support/AddressSpaceLimit.h"

#include <QFile>
#include <QTest>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <vector>

using namespace mugrove;

namespace {

std::string Path(const char* name)
{
    return std::string(MUGROVE_TEST_DATA "/clips/") + name;
}

// The clip as a file, or (odd passes) as bytes in memory.
ClipSource Source(const char* name, bool memory)
{
    if (!memory)
        return {Path(name), nullptr};
    QFile f(QString::fromStdString(Path(name)));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = f.readAll();
    return {{}, std::make_shared<const PictureBytes>(all.begin(), all.end())};
}

int Grey(const Image& image, int x, int y)
{
    return static_cast<int>(image.pixels[static_cast<std::size_t>(y) * image.width + x] >> 8 & 0xFF);
}

// The number a frame of sixty_fps.mp4 tells: tens on the left, units on the right.
int FrameNumber(const Image& image)
{
    const int left = Grey(image, image.width / 4, image.height / 2);
    const int right = Grey(image, image.width * 3 / 4, image.height / 2);
    return int(std::lround((left - 20) / 10.0)) * 10 + int(std::lround((right - 20) / 20.0));
}

} // namespace

class ClipTest : public QObject {
    Q_OBJECT

private slots:
    void clips_open_at_their_display_size_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QSize>("shown");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("rotation");
        QTest::newRow("h264 mp4") << "count_h264.mp4" << QSize(48, 32) << 20 << 0;
        QTest::newRow("vp9 webm") << "count_vp9.webm" << QSize(48, 32) << 20 << 0;
        QTest::newRow("turned 90") << "rotated_90.mp4" << QSize(32, 48) << 4 << 90;
        QTest::newRow("turned 270") << "rotated_270.mov" << QSize(32, 48) << 4 << 270;
        QTest::newRow("wide pixels") << "wide_pixels.mkv" << QSize(96, 32) << 4 << 0;
        QTest::newRow("variable rate") << "variable_rate.mkv" << QSize(48, 32) << 10 << 0;
        QTest::newRow("size changes") << "size_change.mkv" << QSize(48, 32) << 10 << 0;
        // 2 frames a second up to the 15 s the segment holds.
        QTest::newRow("stamps from 5 s") << "late_start.mkv" << QSize(48, 32) << 20 << 0;
        QTest::newRow("durations of 0") << "zero_durations.mp4" << QSize(48, 32) << 20 << 0;
        QTest::newRow("longer than a segment") << "twenty_seconds.mp4" << QSize(16, 16) << 30 << 0;
    }
    void clips_open_at_their_display_size()
    {
        QFETCH(QString, file);
        QFETCH(QSize, shown);
        QFETCH(int, frames);
        QFETCH(int, rotation);
        for (const bool memory : {false, true}) {
            std::unique_ptr<ClipPlayer> clip;
            QCOMPARE(ClipPlayer::Open(Source(qPrintable(file), memory), clip), DecodeError::None);
            QCOMPARE(QSize(clip->Width(), clip->Height()), shown);
            QCOMPARE(int(clip->FrameCount()), frames);
            QCOMPARE(clip->Rotation(), rotation);
            // Every frame of two rounds comes at the display size.
            for (int i = 0; i < 2 * frames; ++i) {
                QCOMPARE(clip->Advance(), DecodeError::None);
                QCOMPARE(QSize(clip->Canvas().width, clip->Canvas().height), shown);
                QCOMPARE(int(clip->Current()), i % frames);
            }
        }
    }

    void frames_show_their_time_for_as_long_as_stamped_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QList<int>>("greys"); // frame by frame
        QTest::addColumn<QList<int>>("delays");
        QList<int> counting, tenths(19, 100);
        for (int i = 0; i < 20; ++i)
            counting << 20 + 10 * i;
        QTest::newRow("h264") << "count_h264.mp4" << counting << tenths;
        QTest::newRow("vp9") << "count_vp9.webm" << counting << tenths;
        QTest::newRow("hevc") << "count_hevc.mp4" << counting << tenths;
        QTest::newRow("av1") << "count_av1.mp4" << counting << tenths;
        QTest::newRow("with sound") << "count_with_sound.mp4" << counting << tenths;
        QTest::newRow("variable") << "variable_rate.mkv" << counting.mid(0, 10)
                                  << QList<int>{100, 100, 100, 100, 100, 300, 300, 300, 300};
        QTest::newRow("size changes") << "size_change.mkv" << (counting.mid(0, 5) + counting.mid(0, 5))
                                      << QList<int>(9, 100);
    }
    void frames_show_their_time_for_as_long_as_stamped()
    {
        QFETCH(QString, file);
        QFETCH(QList<int>, greys);
        QFETCH(QList<int>, delays);
        std::unique_ptr<ClipPlayer> clip;
        QCOMPARE(ClipPlayer::Open(Source(qPrintable(file), false), clip), DecodeError::None);
        for (qsizetype i = 0; i < delays.size(); ++i)
            QCOMPARE(clip->DelayMs(std::size_t(i)), delays[i]);
        // Played through and round to the first again, after a Reset too.
        for (int round = 0; round < 2; ++round) {
            for (qsizetype i = 0; i <= greys.size(); ++i) {
                QCOMPARE(clip->Advance(), DecodeError::None);
                const int want = greys[i % greys.size()];
                QVERIFY2(std::abs(Grey(clip->Canvas(), clip->Width() / 2, clip->Height() / 2) - want) <= 4,
                         qPrintable(QStringLiteral("frame %1").arg(i)));
            }
            clip->Reset();
        }
    }

    void turned_clips_stand_upright()
    {
        // The white quarter is at the top left of the stored frames.
        struct Case {
            const char* file;
            QPoint white, black;
        };
        for (const Case& c : {Case{"rotated_90.mp4", {24, 12}, {8, 12}}, Case{"rotated_270.mov", {8, 36}, {8, 12}}}) {
            DecodedPicture decoded;
            QCOMPARE(DecodeClip(Source(c.file, false), decoded), DecodeError::None);
            QVERIFY2(Grey(decoded.image, c.white.x(), c.white.y()) > 200, c.file);
            QVERIFY2(Grey(decoded.image, c.black.x(), c.black.y()) < 50, c.file);
        }
    }

    void a_segment_is_at_most_fifteen_seconds()
    {
        // Length as the file says, or from the frames when it says 0.
        struct Case {
            const char* file;
            double length, end;
        };
        for (const Case& c : {Case{"twenty_seconds.mp4", 20, 15}, Case{"ten_hours.mp4", 36000, 15},
                              Case{"zero_durations.mp4", 2, 2}, Case{"late_start.mkv", 2, 2}}) {
            std::unique_ptr<ClipPlayer> clip;
            QCOMPARE(ClipPlayer::Open(Source(c.file, false), clip), DecodeError::None);
            QCOMPARE(clip->LengthSeconds(), c.length);
            QCOMPARE(clip->SegmentEnd(), c.end);
        }
        // A frame a minute: the segment holds one, a still picture.
        DecodedPicture still;
        QCOMPARE(DecodeClip(Source("ten_hours.mp4", true), still), DecodeError::None);
        QVERIFY(!still.image.Empty() && !still.animation);
        std::unique_ptr<ClipPlayer> cut;
        QCOMPARE(ClipPlayer::Open(Source("cut_index_front.mp4", false), cut), DecodeError::None);
        QVERIFY(cut->FrameCount() >= 1 && cut->FrameCount() < 20);
        QCOMPARE(cut->Advance(), DecodeError::None);
    }

    void a_chosen_segment_plays_from_the_frame_at_its_start_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("end");
        QTest::addColumn<QList<int>>("greys"); // first and last frame's grey, or -1 for a numbered clip
        QTest::addColumn<int>("frames");
        QTest::addColumn<double>("shownEnd");
        QTest::newRow("60 fps, 0.5 to 2.5") << "sixty_fps.mp4" << 0.5 << 2.5 << QList<int>{30, 149} << 120 << 2.5;
        // 10 frames a second: at 0.55 s frame 5 is on show, until 0.6 s.
        QTest::newRow("between two frames") << "count_h264.mp4" << 0.55 << 1.5 << QList<int>{70, 160} << 10 << 1.5;
        // Longer than the 15 s a clip opens with, as asked.
        QTest::newRow("17 seconds") << "twenty_seconds.mp4" << 2.0 << 19.0 << QList<int>{60, 190} << 34 << 19.0;
        // No longer than a minute.
        QTest::newRow("ten minutes asked") << "ten_hours.mp4" << 0.0 << 600.0 << QList<int>{20, 20} << 1 << 60.0;
        QTest::newRow("end past the clip") << "count_h264.mp4" << 1.0 << 9.0 << QList<int>{120, 210} << 10 << 2.0;
    }
    void a_chosen_segment_plays_from_the_frame_at_its_start()
    {
        QFETCH(QString, file);
        QFETCH(double, start);
        QFETCH(double, end);
        QFETCH(QList<int>, greys);
        QFETCH(int, frames);
        QFETCH(double, shownEnd);
        const bool numbered = file == QStringLiteral("sixty_fps.mp4");
        std::unique_ptr<ClipPlayer> clip;
        QCOMPARE(ClipPlayer::Open(Source(qPrintable(file), false), clip, {start, end}), DecodeError::None);
        QCOMPARE(int(clip->FrameCount()), frames);
        QCOMPARE(clip->SegmentStart(), start);
        QCOMPARE(clip->SegmentEnd(), shownEnd);
        int total = 0;
        for (std::size_t i = 0; i < clip->FrameCount(); ++i)
            total += clip->DelayMs(i);
        QVERIFY2(std::abs(total - int(std::lround((shownEnd - start) * 1000))) <= 1, qPrintable(QString::number(total)));
        // The first and the last frame, in a clone too, over two rounds.
        std::unique_ptr<Animation> copy = clip->Clone();
        QVERIFY(copy);
        for (Animation* player : {static_cast<Animation*>(clip.get()), copy.get()}) {
            QList<int> seen;
            for (int i = 0; i < 2 * frames; ++i) {
                QCOMPARE(player->Advance(), DecodeError::None);
                if (i == frames || i == 2 * frames - 1) {
                    const Image& canvas = player->Canvas();
                    seen << (numbered ? FrameNumber(canvas) : Grey(canvas, canvas.width / 2, canvas.height / 2));
                }
            }
            if (frames == 1)
                seen << seen.front();
            for (qsizetype i = 0; i < 2; ++i)
                QVERIFY2(std::abs(seen[i] - greys[i]) <= (numbered ? 0 : 4), qPrintable(QStringLiteral("%1 %2").arg(seen[0]).arg(seen[1])));
        }
    }

    void frames_past_a_segment_that_do_not_decode_are_not_kept()
    {
        // Found by fuzzing: a clip whose frames after a stretch's end fail
        // to decode; every round of a stretch read on past it, and the
        // address sanitizer's leak check saw each round's last read kept.
        const ClipSource source{std::string(MUGROVE_TEST_DATA "/fuzz-regressions/clip_undecodable_past_segment.mp4"), nullptr};
        std::size_t played = 0;
        for (const ClipSegment segment : {ClipSegment{}, ClipSegment{0.3, 1.0}}) {
            std::unique_ptr<ClipPlayer> clip;
            QCOMPARE(ClipPlayer::Open(source, clip, segment), DecodeError::None);
            for (std::size_t i = 0; i < 3 * clip->FrameCount() && clip->Advance() == DecodeError::None; ++i)
                ++played;
        }
        QVERIFY(played > 0);
    }

    void a_colour_code_no_standard_has_plays_as_unsaid()
    {
        // Found by fuzzing: an AV1 clip whose frames carry colour-space code
        // 224, which the reader must not load as libav's enum. Such a code
        // converts as a clip that says nothing (BT.601 below 720 rows).
        const ClipSource source{std::string(MUGROVE_TEST_DATA "/fuzz-regressions/clip_colour_space_224.mp4"), nullptr};
        DecodedPicture decoded;
        const DecodeError e = DecodeClip(source, decoded);
        if (e == DecodeError::Unsupported)
            QSKIP("this libavcodec decodes no AV1");
        QCOMPARE(e, DecodeError::None);
        QVERIFY(!decoded.image.Empty());
        Animation* player = decoded.animation.get();
        for (std::size_t i = 0; player && i < player->FrameCount() + 1; ++i)
            QCOMPARE(player->Advance(), DecodeError::None);
    }

    void a_sample_table_claiming_more_than_the_file_holds_is_not_allocated()
    {
        // Found by fuzzing: a 5 KB clip whose composition-offset table claims
        // 184 million entries; the demuxer sized its table by the claim (1.4
        // GB) and took seconds over it. Refused before anything that large
        // is asked for.
        const ClipSource source{std::string(MUGROVE_TEST_DATA "/fuzz-regressions/clip_ctts_count_beyond_file.mp4"), nullptr};
        DecodedPicture decoded;
        QVERIFY(DecodeClip(source, decoded) != DecodeError::None);
        QVERIFY(decoded.image.Empty() && !decoded.animation);
    }

    void a_pixel_aspect_no_camera_makes_is_shown_square()
    {
        // Found by fuzzing: a clip of 48 x 32 frames whose header says 48 x
        // 6400 with pixels 200 times as wide as high; stretched, every frame
        // scaled up to 61 million pixels. Such an aspect is a damaged header.
        const ClipSource source{std::string(MUGROVE_TEST_DATA "/fuzz-regressions/clip_pixels_200_times_wide.mp4"), nullptr};
        DecodedPicture decoded;
        QCOMPARE(DecodeClip(source, decoded), DecodeError::None);
        QCOMPARE(decoded.image.width, 48);
        QVERIFY(decoded.animation);
    }

    void clips_that_cannot_play_are_refused()
    {
        // Damaged headers may be refused for any reason but None.
        struct Case {
            const char* file;
            DecodeError error;
            bool starved = false; // with no room for a frame
        };
        const Case cases[] = {{"cut_index_last.mp4", DecodeError::None},
                              {"garbage_ftyp.mp4", DecodeError::None},
                              {"heif_brand.mp4", DecodeError::Unrecognised},
                              {"sound_only.mp4", DecodeError::Unrecognised},
                              {"huge_claim.mkv", DecodeError::TooLarge},
                              {"missing.mp4", DecodeError::CannotOpen},
                              {".", DecodeError::CannotOpen}, // the folder
                              {"wide_pixels_82mb.mkv", DecodeError::OutOfMemory, true}};
        for (const Case& c : cases)
            for (const bool memory : {false, true}) {
                if (memory && c.error == DecodeError::CannotOpen)
                    continue;
                // Played, or a frame found by its time on this thread.
                DecodedPicture decoded;
                Image at;
                DecodeError played = DecodeError::None, found = DecodeError::None;
                {
                    std::optional<testing::AddressSpaceLimit> limit;
                    if (c.starved) {
                        // A frame of 82 MB: more than this room, and more
                        // than any heap keeps spare.
                        limit.emplace(std::uint64_t{16} << 20);
                        if (!limit->Active())
                            QSKIP("no address-space limit here (a sanitizer build, or a lower hard limit)");
                    }
                    played = DecodeClip(Source(c.file, memory), decoded);
                    found = DecodeClipFrameAt(Source(c.file, memory), 0, at);
                }
                for (const DecodeError e : {played, found})
                    QVERIFY2(c.error == DecodeError::None ? e != DecodeError::None : e == c.error,
                             qPrintable(QStringLiteral("%1: %2").arg(c.file).arg(int(e))));
                QVERIFY(decoded.image.Empty() && !decoded.animation && at.Empty());
            }
    }

    void frame_times_follow_the_stamps()
    {
        // Expected times worked out by hand from the rules: each frame from
        // the segment's start, none closer than 10 ms to the one before, the
        // last for its duration, else the gap before it, else 100 ms.
        struct Case {
            const char* name;
            std::vector<StampedFrame> frames;
            std::int64_t start;
            double tick; // seconds per stamp
            std::optional<double> cut;
            std::size_t max;
            std::vector<std::int64_t> stamps;
            std::vector<int> startMs;
            int lastMs;
            double span;
        };
        const double ms = 0.001, khz90 = 1.0 / 90000;
        const Case cases[] = {
            {"steady", {{0, 100}, {100, 100}, {200, 100}}, 0, ms, {}, 100, {0, 100, 200}, {0, 100, 200}, 100, 0.3},
            {"the frame on show at the start", {{500, 100}, {600, 100}, {700, 100}}, 550, ms, {}, 100,
             {500, 600, 700}, {0, 50, 150}, 100, 0.25},
            {"too close to show apart", {{0, 0}, {5, 0}, {100, 0}}, 0, ms, {}, 100, {0, 100}, {0, 100}, 100, 0.2},
            {"just after the start", {{500, 0}, {555, 0}, {655, 0}}, 550, ms, {}, 100, {555, 655}, {0, 105}, 105,
             0.21},
            {"cut where asked", {{0, 100}, {100, 100}}, 0, ms, 0.15, 100, {0, 100}, {0, 100}, 50, 0.15},
            {"cut to nothing shows 10 ms", {{0, 100}}, 0, ms, 0.001, 100, {0}, {0}, 10, 0.001},
            {"a lone frame without a duration", {{0, 0}}, 0, ms, {}, 100, {0}, {0}, 100, 0.1},
            {"no more than the most", {{0, 100}, {100, 100}, {200, 100}}, 0, ms, {}, 2, {0, 100}, {0, 100}, 100, 0.2},
            {"a minute at most", {{0, 120000}}, 0, ms, {}, 100, {0}, {0}, 60000, 60.0},
            {"90 kHz", {{9000, 3000}, {12000, 3000}}, 9000, khz90, {}, 100, {9000, 12000}, {0, 33}, 33, 0.066},
            {"nothing", {}, 0, ms, {}, 100, {}, {}, 0, 0.0},
        };
        for (const Case& c : cases) {
            const ClipFrameTimes t = TimeFrames(c.frames, c.start, c.tick, c.cut, c.max);
            QVERIFY2(t.stamps == c.stamps, c.name);
            QVERIFY2(t.startMs == c.startMs, c.name);
            QVERIFY2(t.lastDelayMs == c.lastMs, c.name);
            QVERIFY2(std::abs(t.spanSeconds - c.span) < 1e-9, c.name);
            QVERIFY2(t.startUs.size() == t.startMs.size(), c.name);
        }
        // To the microsecond, a frame every 1/30 s keeps its own time.
        QCOMPARE(TimeFrames(cases[9].frames, 9000, khz90, {}, 100).startUs, (std::vector<std::int64_t>{0, 33333}));
    }

    void recognised_by_leading_bytes()
    {
        const auto looks = [](const QByteArray& head) {
            return LooksLikeClip({reinterpret_cast<const std::uint8_t*>(head.constData()), std::size_t(head.size())});
        };
        const QByteArray box("\0\0\0\x18", 4);
        QVERIFY(looks(box + "ftypisom\0\0\0\0isom"));
        QVERIFY(looks(box + "ftypqt  \0\0\0\0qt  "));
        QVERIFY(looks(box + "ftypM4V \0\0\0\0M4V "));
        QVERIFY(looks(box + QByteArray("ftypXXXX\0\0\0\0mp42", 16)));  // a video brand among the compatible
        QVERIFY(!looks(box + QByteArray("ftypavif\0\0\0\0mif1", 16))); // a picture
        QVERIFY(!looks(box + QByteArray("ftypheic\0\0\0\0mp42", 16)));
        QVERIFY(!looks(box + QByteArray("ftyphevc\0\0\0\0mp42", 16))); // a HEIF sequence
        QVERIFY(looks(QByteArray("\x1A\x45\xDF\xA3\x9F", 5)));
        QVERIFY(!looks(QByteArray("\x1A\x45\xDF", 3)));
        QVERIFY(!looks(QByteArray("RIFF\0\0\0\0WEBPVP8 ", 16)));
    }
};

QTEST_GUILESS_MAIN(ClipTest)
#include "test_clips.moc"
