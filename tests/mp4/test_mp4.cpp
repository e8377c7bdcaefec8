// The MP4 writer on its own: made-up pictures and sound in, the file read
// back through libavformat and libavcodec as a player reads it.
#include "output/mp4/Mp4.h"
#include "output/mp4/Mp4Plan.h"
#include "output/mp4/SoundTimeline.h"
#include "tests/mp4/Mp4ReadBack.h"

#include <QTest>

#include <cmath>
#include <numbers>

using namespace mugrove;
using namespace mugrove::mp4;
using mugrove::test::ReadBack;
using mugrove::test::ReadMp4;

Q_DECLARE_METATYPE(std::vector<std::int64_t>)

namespace {

constexpr std::uint32_t kDark = 0xFF203040;
constexpr std::uint32_t kBright = 0xFFF0F0F0;

// Pictures of flat colour, bright at the flashes, with a sound that beeps
// (a 1 kHz tone for 50 ms) at the same moments, optionally starting late or
// ending early; or pictures of deterministic noise, which no encoder can
// make small.
class MadeUp final : public Source {
public:
    int width = 64, height = 48;
    std::vector<std::int64_t> times;   // of the pictures, in µs
    std::vector<std::int64_t> flashes; // in µs, each lasting one picture
    std::int64_t durationUs = 0;
    std::optional<SoundFormat> sound;
    std::int64_t soundFrom = 0, soundTo = 0; // what stretch has sound, in µs
    bool noise = false;
    bool edgeMark = false; // the last column and row red
    std::vector<std::uint32_t> quarters; // when given, the quarters' colours, in reading order

    Description Describe() const { return {width, height, durationUs, times.size(), sound}; }

    bool Play(Receiver& to, std::string&) override
    {
        std::vector<std::uint32_t> pixels(std::size_t(width) * std::size_t(height));
        std::uint32_t seed = 12345;
        std::int64_t soundAt = soundFrom;
        for (std::size_t i = 0; i < times.size(); ++i) {
            // The sound up to this picture's time comes first, in runs of 10 ms.
            while (sound && soundAt < std::min(times[i] + 100000, soundTo)) {
                if (!PlaySound(to, soundAt, std::min<std::int64_t>(soundAt + 10000, soundTo)))
                    return false;
                soundAt += 10000;
            }
            const bool flash = std::find(flashes.begin(), flashes.end(), times[i]) != flashes.end();
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    std::uint32_t& p = pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)];
                    seed = seed * 1664525u + 1013904223u;
                    p = noise ? 0xFF000000u | (seed >> 8) : flash ? kBright : kDark;
                    if (!quarters.empty())
                        p = quarters[std::size_t((y >= height / 2) * 2 + (x >= width / 2))];
                    if (edgeMark && (x == width - 1 || y == height - 1))
                        p = 0xFFE00000;
                }
            if (!to.TakePicture({pixels.data(), width, height, width * 4, times[i]}))
                return false;
        }
        while (sound && soundAt < soundTo) {
            if (!PlaySound(to, soundAt, std::min<std::int64_t>(soundAt + 10000, soundTo)))
                return false;
            soundAt += 10000;
        }
        return true;
    }

private:
    bool PlaySound(Receiver& to, std::int64_t from, std::int64_t until)
    {
        const int rate = sound->sampleRate, ch = sound->channels;
        const std::int64_t first = from * rate / 1000000, last = until * rate / 1000000;
        std::vector<float> samples;
        for (std::int64_t n = first; n < last; ++n) {
            const double t = double(n) / rate;
            bool beeping = false;
            for (const std::int64_t f : flashes)
                beeping = beeping || (t >= f / 1e6 && t < f / 1e6 + 0.05);
            const double v = noise ? std::sin(n * 0.37) * 0.3 : beeping ? 0.8 * std::sin(2 * std::numbers::pi * 1000 * t) : 0;
            for (int c = 0; c < ch; ++c)
                samples.push_back(float(v));
        }
        return to.TakeSound({samples.data(), std::size_t(last - first), first * 1000000 / rate});
    }
};

std::vector<std::int64_t> Evenly(int count, std::int64_t stepUs)
{
    std::vector<std::int64_t> t;
    for (int i = 0; i < count; ++i)
        t.push_back(i * stepUs);
    return t;
}

bool Near(std::uint32_t a, std::uint32_t b, int tolerance)
{
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)) > tolerance)
            return false;
    return true;
}

// Red shows through though 4:2:0 shares its colour with the next pixel.
bool Reddish(std::uint32_t p)
{
    const int r = p >> 16 & 0xFF, g = p >> 8 & 0xFF;
    return r > 100 && r > 3 * g;
}

// When the sound first rises above a whisper after `from` seconds.
double Onset(const ReadMp4& r, double from)
{
    for (std::size_t i = std::size_t(std::max(0.0, (from - r.soundStart) * r.sampleRate)); i < r.sound.size(); ++i)
        if (std::abs(r.sound[i]) > 0.2)
            return r.soundStart + double(i) / r.sampleRate;
    return -1;
}

// When the first bright picture shows after `from` seconds.
double Flash(const ReadMp4& r, double from)
{
    for (const auto& p : r.pictures)
        if (p.seconds >= from - 1e-6 && (p.At(p.width / 2, p.height / 2) & 0xFF) > 0xA0)
            return p.seconds;
    return -1;
}

} // namespace

class Mp4Test : public QObject {
    Q_OBJECT

private slots:
    void sound_is_laid_on_the_pictures_timeline_data()
    {
        // A timeline of 10 samples at 1000 samples a second; runs of
        // samples numbered from 1, laid at the times given in ms.
        QTest::addColumn<QList<int>>("starts");
        QTest::addColumn<QList<int>>("lengths");
        QTest::addColumn<QList<float>>("laid");
        QTest::newRow("joined runs") << QList<int>{0, 4} << QList<int>{4, 6}
                                     << QList<float>{1, 2, 3, 4, 1, 2, 3, 4, 5, 6};
        QTest::newRow("starts late, ends early") << QList<int>{3} << QList<int>{4}
                                                 << QList<float>{0, 0, 0, 1, 2, 3, 4, 0, 0, 0};
        QTest::newRow("gap in the middle") << QList<int>{0, 6} << QList<int>{3, 2}
                                           << QList<float>{1, 2, 3, 0, 0, 0, 1, 2, 0, 0};
        QTest::newRow("before the start and past the end cut") << QList<int>{-3} << QList<int>{20}
                                                               << QList<float>{4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
        QTest::newRow("overlap dropped") << QList<int>{0, 2} << QList<int>{5, 5}
                                         << QList<float>{1, 2, 3, 4, 5, 4, 5, 0, 0, 0};
        QTest::newRow("wholly before the start") << QList<int>{-8} << QList<int>{5}
                                                 << QList<float>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        QTest::newRow("wholly past the end") << QList<int>{12} << QList<int>{5}
                                             << QList<float>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    }
    void sound_is_laid_on_the_pictures_timeline()
    {
        QFETCH(QList<int>, starts);
        QFETCH(QList<int>, lengths);
        QFETCH(QList<float>, laid);
        // Stereo: the right channel is the left one negated.
        SoundTimeline timeline(1000, 2, 10000);
        std::vector<float> out;
        for (int i = 0; i < starts.size(); ++i) {
            std::vector<float> run;
            for (int n = 1; n <= lengths[i]; ++n)
                run.insert(run.end(), {float(n), -float(n)});
            timeline.Lay(run.data(), std::size_t(lengths[i]), starts[i] * 1000LL, out);
        }
        timeline.Close(out);
        QCOMPARE(out.size(), std::size_t(20));
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(out[std::size_t(2 * i)], laid[i]);
            QCOMPARE(out[std::size_t(2 * i + 1)], -laid[i]);
        }
    }

    void runs_that_nearly_join_are_joined()
    {
        // 48 kHz runs of 480 samples whose times are rounded to the
        // millisecond, as a decoder's are: laid end to end, nothing dropped
        // and no silence between them.
        SoundTimeline timeline(48000, 1, 1000000);
        std::vector<float> out;
        std::vector<float> run(480, 1.0f);
        for (int i = 0; i < 100; ++i)
            timeline.Lay(run.data(), run.size(), (i * 10000 + (i % 3 == 0 ? 400 : -400)), out);
        QCOMPARE(out.size(), std::size_t(48000));
        QCOMPARE(std::count(out.begin(), out.end(), 0.0f), 0);
    }

    void a_limit_shares_its_bytes_out_data()
    {
        QTest::addColumn<qulonglong>("limit");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("fits");
        QTest::addColumn<bool>("soundLowered");
        QTest::addColumn<bool>("shrunk");
        // 10 MB for 4 s of 640 × 360: room for everything at full quality.
        QTest::newRow("roomy") << 10000000ULL << 4.0 << QSize(640, 360) << 2 << true << false << false;
        // 1 MB for 10 s of 1280 × 720 at 30 fps: under 0.03 bits per pixel,
        // the sound gives way but the picture keeps its size.
        QTest::newRow("tight") << 1000000ULL << 10.0 << QSize(1280, 720) << 2 << true << true << false;
        QTest::newRow("tight, mono") << 1000000ULL << 10.0 << QSize(1280, 720) << 1 << true << true << false;
        // A quarter of that: under 0.01 bits per pixel, the picture shrinks.
        QTest::newRow("starved") << 250000ULL << 10.0 << QSize(1280, 720) << 2 << true << true << true;
        QTest::newRow("starved, silent") << 250000ULL << 10.0 << QSize(1280, 720) << 0 << true << false << true;
        // An eighth: no smaller than half.
        QTest::newRow("starved, odd size") << 120000ULL << 10.0 << QSize(1279, 719) << 0 << true << false << true;
        // 300 KB for 10 s of 320 × 240: the picture keeps its size, the
        // sound gives way.
        QTest::newRow("middling") << 300000ULL << 10.0 << QSize(320, 240) << 2 << true << true << false;
        QTest::newRow("sound alone too big") << 20000ULL << 10.0 << QSize(320, 240) << 2 << false << true << false;
        QTest::newRow("index alone too big") << 3000ULL << 1.0 << QSize(320, 240) << 0 << false << false << false;
    }
    void a_limit_shares_its_bytes_out()
    {
        QFETCH(qulonglong, limit);
        QFETCH(double, seconds);
        QFETCH(QSize, size);
        QFETCH(int, channels);
        QFETCH(bool, fits);
        QFETCH(bool, soundLowered);
        QFETCH(bool, shrunk);
        const std::size_t pictures = std::size_t(seconds * 30);
        const Plan plan = PlanForLimit({limit, seconds, size.width(), size.height(), pictures, channels});
        QCOMPARE(plan.failure.empty(), fits);
        if (channels > 0)
            QCOMPARE(plan.soundKbps < FullSoundKbps(channels), soundLowered);
        if (!fits)
            return;
        // What was planned adds up to no more than the limit.
        const double planned = (plan.videoKbps + plan.soundKbps) * 1000.0 * seconds / 8 +
                               double(ContainerBytes(pictures, seconds, channels > 0));
        QVERIFY(planned <= double(limit));
        QVERIFY(planned >= 0.9 * double(limit));
        QCOMPARE(plan.width < size.width(), shrunk);
        QVERIFY(plan.width % 2 == 0 || plan.width == size.width());
        QVERIFY(2 * plan.width >= size.width() && 2 * plan.height >= size.height());
        // The picture shrinks only once the sound is as low as it goes.
        if (shrunk && channels > 0) {
            const int* step = SoundKbpsSteps(channels);
            while (step[1] != 0)
                ++step;
            QCOMPARE(plan.soundKbps, *step);
        }
        // Keeping the pictures' proportions.
        QVERIFY(std::abs(double(plan.width) / plan.height - double(size.width()) / size.height()) < 0.05);
    }

    void the_written_file_reads_back_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<std::vector<std::int64_t>>("times");
        QTest::addColumn<qint64>("durationUs");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("rate");
        QTest::addColumn<qint64>("soundFrom");
        QTest::addColumn<qint64>("soundTo");
        QTest::newRow("30 fps with stereo sound") << QSize(64, 48) << Evenly(60, 33333) << qint64(2000000) << 2
                                                  << 48000 << qint64(0) << qint64(2000000);
        QTest::newRow("odd size, silent") << QSize(47, 33) << Evenly(10, 100000) << qint64(1000000) << 0 << 0
                                          << qint64(0) << qint64(0);
        // Five pictures 100 ms apart, then five 300 ms apart, as a phone
        // records when the light fails.
        QTest::newRow("variable rate") << QSize(64, 48)
                                       << std::vector<std::int64_t>{0, 100000, 200000, 300000, 400000, 500000, 800000,
                                                                    1100000, 1400000, 1700000}
                                       << qint64(2000000) << 1 << 44100 << qint64(0) << qint64(2000000);
        QTest::newRow("sound starts late and ends early") << QSize(64, 48) << Evenly(30, 50000) << qint64(1500000)
                                                          << 2 << 48000 << qint64(400000) << qint64(1000000);
        QTest::newRow("six channels at 22050 Hz") << QSize(64, 48) << Evenly(20, 50000) << qint64(1000000) << 6
                                                  << 22050 << qint64(0) << qint64(1000000);
        QTest::newRow("a 37800 Hz rate") << QSize(64, 48) << Evenly(20, 50000) << qint64(1000000) << 1
                                         << 37800 << qint64(0) << qint64(1000000);
    }
    void the_written_file_reads_back()
    {
        QFETCH(QSize, size);
        QFETCH(std::vector<std::int64_t>, times);
        QFETCH(qint64, durationUs);
        QFETCH(int, channels);
        QFETCH(int, rate);
        QFETCH(qint64, soundFrom);
        QFETCH(qint64, soundTo);
        MadeUp source;
        source.width = size.width();
        source.height = size.height();
        source.times = times;
        source.durationUs = durationUs;
        source.edgeMark = true;
        if (channels > 0) {
            source.sound = SoundFormat{rate, channels};
            source.soundFrom = soundFrom;
            source.soundTo = soundTo;
            source.flashes = {times[times.size() / 2]};
        }
        std::vector<int> told;
        Options options;
        options.progress = [&](int percent) {
            told.push_back(percent);
            return true;
        };
        const Written w = Encode(source, source.Describe(), options);
        QVERIFY2(w.failure.empty(), w.failure.c_str());
        QVERIFY(!w.bytes.empty());
        QVERIFY(std::is_sorted(told.begin(), told.end()));
        QCOMPARE(told.back(), 100);

        const ReadMp4 r = ReadBack(w.bytes);
        QVERIFY(r.opened);
        // The index in front of the data.
        QVERIFY(r.BoxIndex("moov") >= 0);
        QVERIFY(r.BoxIndex("moov") < r.BoxIndex("mdat"));
        QCOMPARE(r.videoCodec, std::string("h264"));
        QCOMPARE(r.streams, channels > 0 ? 2 : 1);
        QCOMPARE(r.soundCodec, std::string(channels > 0 ? "aac" : ""));
        // Even sizes, the odd edge repeated.
        QCOMPARE(r.width, size.width() + size.width() % 2);
        QCOMPARE(r.height, size.height() + size.height() % 2);
        QCOMPARE(r.pictures.size(), times.size());
        // The picture's red edge is repeated, not stretched: the added
        // column or row is the edge again, and the pixel inside it is not.
        const auto& last = r.pictures.back();
        QVERIFY(Near(last.At(r.width / 2, r.height / 2), kDark, 12));
        if (size.width() % 2) {
            QVERIFY(Near(last.At(r.width - 1, r.height / 2), last.At(r.width - 2, r.height / 2), 8));
            QVERIFY(Reddish(last.At(r.width - 1, r.height / 2)));
            QVERIFY(Near(last.At(r.width - 3, r.height / 2), kDark, 24));
        }
        if (size.height() % 2) {
            QVERIFY(Near(last.At(r.width / 2, r.height - 1), last.At(r.width / 2, r.height - 2), 8));
            QVERIFY(Reddish(last.At(r.width / 2, r.height - 1)));
            QVERIFY(Near(last.At(r.width / 2, r.height - 3), kDark, 24));
        }
        // Every picture at its own time, the whole as long as asked.
        for (std::size_t i = 0; i < times.size(); ++i)
            QVERIFY2(std::abs(r.pictures[i].seconds - times[i] / 1e6) < 0.001, qPrintable(QString::number(i)));
        QVERIFY2(std::abs(r.seconds - durationUs / 1e6) < 0.002, qPrintable(QString::number(r.seconds)));
        QVERIFY(std::abs(r.videoSeconds - durationUs / 1e6) < 0.002);
        if (channels == 0)
            return;
        QCOMPARE(r.channels, std::min(channels, 2));
        QVERIFY(r.sampleRate >= rate);
        // The sound as long as the pictures, silent where it had none.
        QVERIFY2(std::abs(r.soundSeconds - durationUs / 1e6) < 0.003, qPrintable(QString::number(r.soundSeconds)));
        // Decoded whole, the last AAC packet may run on past the end.
        const double heard = double(r.sound.size()) / r.sampleRate;
        QVERIFY(heard > durationUs / 1e6 - 0.003 && heard < durationUs / 1e6 + 1024.0 / r.sampleRate + 0.003);
        const auto loudest = [&](double from, double to) {
            float most = 0;
            for (auto i = std::size_t(std::max(0.0, from * r.sampleRate)); i < std::size_t(to * r.sampleRate) && i < r.sound.size(); ++i)
                most = std::max(most, std::abs(r.sound[i]));
            return most;
        };
        if (soundFrom > 0)
            QVERIFY(loudest(0, soundFrom / 1e6 - 0.03) < 0.02);
        if (soundTo < durationUs)
            QVERIFY(loudest(soundTo / 1e6 + 0.03, durationUs / 1e6) < 0.02);
        // The beep heard within a picture's time of the flash seen.
        const double flash = Flash(r, 0), beep = Onset(r, 0);
        if (source.flashes.front() >= soundFrom && source.flashes.front() < soundTo) {
            QVERIFY(flash >= 0 && beep >= 0);
            QVERIFY2(std::abs(beep - flash) <= double(times[1] - times[0]) / 1e6,
                     qPrintable(QStringLiteral("%1 %2").arg(beep).arg(flash)));
        }
    }

    void a_limited_file_fits_and_keeps_its_streams_and_length()
    {
        MadeUp source;
        source.width = 160;
        source.height = 120;
        source.times = Evenly(40, 50000);
        source.durationUs = 2000000;
        source.noise = true;
        source.sound = SoundFormat{48000, 2};
        source.soundTo = 2000000;
        const Written full = Encode(source, source.Describe(), {});
        QVERIFY(full.failure.empty());
        // Noise is all detail: a third of the unlimited size can hold it
        // only as a softer picture.
        Options options;
        options.limit = full.bytes.size() / 3;
        const Written w = Encode(source, source.Describe(), options);
        QVERIFY2(w.failure.empty(), w.failure.c_str());
        QVERIFY(w.bytes.size() <= options.limit);
        QVERIFY(w.passes >= 2);
        const ReadMp4 r = ReadBack(w.bytes);
        QCOMPARE(r.streams, 2);
        QCOMPARE(r.pictures.size(), source.times.size());
        QVERIFY(std::abs(r.seconds - 2.0) < 0.002);
        QVERIFY(std::abs(r.soundSeconds - 2.0) < 0.003);
        QVERIFY(r.BoxIndex("moov") < r.BoxIndex("mdat"));
    }

    void an_impossible_limit_fails_with_a_reason()
    {
        MadeUp source;
        source.times = Evenly(40, 50000);
        source.durationUs = 2000000;
        source.noise = true;
        source.sound = SoundFormat{48000, 2};
        source.soundTo = 2000000;
        for (const std::uint64_t limit : {1000ULL, 10000ULL}) {
            Options options;
            options.limit = limit;
            const Written w = Encode(source, source.Describe(), options);
            QVERIFY(w.bytes.empty());
            QVERIFY(!w.failure.empty());
        }
    }

    // Saturated and grey colours come back as they went in, decoded as the
    // file says (BT.709, limited range), whatever the size's parity.
    void colours_come_back_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("even") << QSize(64, 48);
        QTest::newRow("odd") << QSize(47, 33);
    }

    void colours_come_back()
    {
        QFETCH(QSize, size);
        MadeUp source;
        source.width = size.width();
        source.height = size.height();
        source.times = Evenly(3, 100000);
        source.durationUs = 300000;
        source.quarters = {0xFFE01010, 0xFF10C030, 0xFF1020E0, 0xFF808080};
        const Written w = Encode(source, source.Describe(), {});
        QVERIFY2(w.failure.empty(), w.failure.c_str());
        const ReadMp4 r = ReadBack(w.bytes);
        QCOMPARE(r.pictures.size(), std::size_t(3));
        for (int q = 0; q < 4; ++q) {
            const int x = size.width() / 4 + (q % 2) * (size.width() / 2), y = size.height() / 4 + (q / 2) * (size.height() / 2);
            const std::uint32_t got = r.pictures.back().At(x, y);
            QVERIFY2(Near(got, source.quarters[std::size_t(q)], 6), qPrintable(QString::number(got, 16)));
        }
    }

    void stopping_leaves_no_file()
    {
        MadeUp source;
        source.times = Evenly(40, 50000);
        source.durationUs = 2000000;
        Options options;
        options.progress = [](int percent) { return percent < 30; };
        const Written w = Encode(source, source.Describe(), options);
        QVERIFY(w.bytes.empty());
        QVERIFY(!w.failure.empty());
    }
};

QTEST_GUILESS_MAIN(Mp4Test)
#include "test_mp4.moc"
