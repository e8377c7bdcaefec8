// Saving a playing picture: the GIF encoder read back with giflib, and the
// save of the window frame by frame, on its worker thread.
#include "GifReadBack.h"
#include "tests/support/ShownForm.h"
#include "TestAnimation.h"
#include "tests/support/HandTimer.h"

#include "app/model/Button.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "app/program/EventTable.h"
#include "output/AnimatedSave.h"
#include "overlay/Captions.h"
#include "output/GifEncoder.h"
#include "output/SaveToDesktop.h"
#include "output/Snapshot.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <csignal>
#include <random>
#include <cstdlib>
#include <sys/resource.h>

using namespace mugrove;
using namespace mugrove::testing;

namespace {

QImage FrameImage(int width, int height, std::size_t frame)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, 0xFF000000u | TestAnimation::Pixel(width, height, frame, x, y));
    return image;
}

double MeanError(const QImage& a, const QImage& b, const QRect& within)
{
    long long total = 0;
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            total += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q))
                + std::abs(qBlue(p) - qBlue(q));
        }
    return double(total) / (3.0 * within.width() * within.height());
}

// With `shared`, every frame is mapped to one palette made from them all.
QByteArray Encode(const std::vector<QImage>& frames, const std::vector<int>& delays, int loops,
                  ExactColours exact = {}, int lossiness = 0, bool shared = false)
{
    QByteArray file;
    GifEncoder encoder;
    encoder.SetLossiness(lossiness);
    if (shared) {
        FilmPalette palette;
        for (const QImage& frame : frames)
            if (!palette.Add(frame))
                return {};
        if (!encoder.SetPalette(palette.Build(255, exact.colours)))
            return {};
    }
    const ByteSink sink = [&file](std::span<const std::uint8_t> bytes) {
        file.append(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
        return true;
    };
    if (!encoder.Begin(frames[0].width(), frames[0].height(), loops, sink, std::move(exact)))
        return {};
    for (std::size_t i = 0; i < frames.size(); ++i)
        if (!encoder.AddFrame(frames[i], delays[i]))
            return {};
    return encoder.Finish() ? file : QByteArray();
}

QStringList FilesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QByteArray ReadAll(const QString& name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Holds the save's worker before frame `at` until the test lets it go, and
// lets it go at the end whatever happened.
struct Gate {
    struct Sides {
        QSemaphore reached, go;
    };
    std::shared_ptr<Sides> sides = std::make_shared<Sides>(); // outlives a worker still running
    std::function<void(std::size_t)> hold;
    explicit Gate(std::size_t at)
        : hold([sides = sides, at](std::size_t index) {
              if (index == at) {
                  sides->reached.release();
                  sides->go.acquire();
              }
          })
    {
    }
    ~Gate() { sides->go.release(100); }
    // `player`, held before frame `at` until released.
    std::unique_ptr<TestAnimation> Held(std::unique_ptr<TestAnimation> player) const
    {
        player->HoldBeforeEachFrame(hold);
        return player;
    }
    bool Reached() const { return sides->reached.available() > 0; }
    void Release() { sides->go.release(); }
};

// Starts a save of `player` as a click on a playing picture does; whether it runs.
bool Started(Form& form, std::unique_ptr<Animation> player, const QString& folder, const QString& name)
{
    return form.events->StartAnimatedSave(std::move(player), folder, name).kind == OutputOutcome::Kind::Working;
}

constexpr std::uint32_t kGreenText = 0x0000FF00; // 0x00BBGGRR: pure green

} // namespace

class AnimatedSaveTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir home_;
    QString desktop_;

    const QString kName = QStringLiteral("2026年12月8日5时39分33秒.gif");
    QString Saved() const { return desktop_ + u'/' + kName; }

private slots:
    void init()
    {
        desktop_ = home_.filePath(QStringLiteral("desk%1").arg(std::rand()));
        QVERIFY(QDir().mkpath(desktop_));
    }


    void encoder_keeps_frames_delays_loops_and_colours()
    {
        const int w = 90, h = 70;
        std::vector<QImage> frames;
        for (std::size_t i = 0; i < 5; ++i)
            frames.push_back(FrameImage(w, h, i));
        // Text in one exact colour on every frame, kept out of the dithering.
        ExactColours exact;
        exact.protect.assign(std::size_t(w) * h, 0);
        exact.colours = {0x80C878}; // amid the gradient's own colours
        for (QImage& frame : frames)
            for (int y = 50; y < 60; ++y)
                for (int x = 10; x < 80; ++x)
                    if ((x + y) % 3 == 0) {
                        frame.setPixel(x, y, 0xFF80C878u);
                        exact.protect[std::size_t(y) * w + x] = 1;
                    }
        const std::vector<int> delays = {100, 20, 15, 15, 1000};
        const PlayedGif gif = PlayGif(Encode(frames, delays, 3, exact));
        QVERIFY(gif.ok);
        QCOMPARE(gif.width, w);
        QCOMPARE(gif.height, h);
        QCOMPARE(gif.loops, 2); // repeats after the first showing
        QCOMPARE(PlayGif(Encode(frames, delays, 1)).loops, -1); // once: no looping block
        // Hundredths of a second, rounded on the running total: 10, 12, 13.5, 15, 115.
        QCOMPARE(gif.delaysCs, (std::vector<int>{10, 2, 2, 1, 100}));
        QCOMPARE(int(gif.frames.size()), 5);
        for (std::size_t i = 0; i < frames.size(); ++i) {
            QVERIFY(gif.hasLocalPalette[i]);
            const double error = MeanError(gif.frames[i], frames[i], frames[i].rect());
            QVERIFY2(error < 3.0, qPrintable(QStringLiteral("frame %1: %2").arg(i).arg(error)));
            for (int y = 50; y < 60; ++y)
                for (int x = 10; x < 80; ++x)
                    if (exact.protect[std::size_t(y) * w + x])
                        QCOMPARE(gif.frames[i].pixel(x, y), 0xFF80C878u);
        }
        // After the first, a frame holds only what changed: the square's old
        // and new places and the corner.
        QCOMPARE(gif.rects[0], QRect(0, 0, w, h));
        for (std::size_t i = 1; i < frames.size(); ++i)
            QVERIFY2(gif.rects[i].width() * gif.rects[i].height() < w * h / 2,
                     qPrintable(QStringLiteral("frame %1").arg(i)));
    }

    void text_colours_survive_a_picture_of_many_colours_data()
    {
        QTest::addColumn<bool>("shared");
        QTest::newRow("a palette for each frame") << false;
        QTest::newRow("one palette for the film") << true;
    }

    void text_colours_survive_a_picture_of_many_colours()
    {
        QFETCH(bool, shared);
        // Noise of every colour, with a few text pixels of a colour that is
        // nowhere else: a palette left to itself would merge it away, and
        // dithering would scatter it.
        const int w = 64, h = 48;
        ExactColours exact;
        exact.protect.assign(std::size_t(w) * h, 0);
        exact.colours = {0x7FC879, 0xB4648C};
        std::vector<QImage> frames;
        std::uint32_t seed = 12345;
        for (int i = 0; i < 3; ++i) {
            QImage frame(w, h, QImage::Format_RGB32);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    seed = seed * 1103515245u + 12345u;
                    frame.setPixel(x, y, 0xFF000000u | (seed >> 8));
                }
            // The right half a smooth gradient, where dithering is at work.
            for (int y = 0; y < h; ++y)
                for (int x = w / 2; x < w; ++x)
                    frame.setPixel(x, y, qRgb(x * 4, y * 5, 128 + i * 20));
            for (int k = 0; k < 12; ++k) {
                const int x = 5 + k * 4, y = 10 + (k * 7 + i) % 30;
                frame.setPixel(x, y, 0xFF7FC879u);
                exact.protect[std::size_t(y) * w + x] = 1;
                // and one amid the gradient's own colours
                const int gx = w / 2 + 2 + (k * 5) % (w / 2 - 4), gy = 4 + k * 3;
                frame.setPixel(gx, gy, 0xFFB4648Cu);
                exact.protect[std::size_t(gy) * w + gx] = 1;
            }
            frames.push_back(frame);
        }
        const PlayedGif gif = PlayGif(Encode(frames, {100, 100, 100}, 0, exact, 0, shared));
        QVERIFY(gif.ok);
        for (std::size_t i = 0; i < frames.size(); ++i) {
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if (frames[i].pixel(x, y) == 0xFF7FC879u || frames[i].pixel(x, y) == 0xFFB4648Cu)
                        QCOMPARE(gif.frames[i].pixel(x, y), frames[i].pixel(x, y));
            // One palette, once: no frame carries its own; and the gradient
            // is still drawn, not left to a few colours (even 255 colours
            // spread evenly over the whole cube, as the noise asks, lie
            // about 40 levels apart: a mean error of 10 at most).
            QCOMPARE(bool(gif.hasLocalPalette[i]), !shared);
            QVERIFY(MeanError(gif.frames[i], frames[i], QRect(w / 2, 0, w / 2, h)) < 10);
        }
    }

    void lossy_strings_stay_within_their_tolerance_data()
    {
        QTest::addColumn<int>("tolerance");
        QTest::newRow("lossless") << 0;
        QTest::newRow("slight") << 12;
        QTest::newRow("coarse") << 60;
    }
    void lossy_strings_stay_within_their_tolerance()
    {
        // 200 colours, so every palette holds them all and only the LZW
        // matching can change a pixel; big enough that the string table
        // fills and starts over several times a frame. Text pixels in a
        // colour close to the picture's must not be matched away.
        QFETCH(int, tolerance);
        const int w = 200, h = 150;
        std::vector<QRgb> colours;
        for (int i = 0; i < 200; ++i)
            colours.push_back(qRgb(i, 255 - i, (i * 37) % 256));
        ExactColours exact;
        exact.protect.assign(std::size_t(w) * h, 0);
        exact.colours = {0x36CD3A}; // 4 from the picture's (50, 205, 58)
        std::mt19937 random(11);
        std::vector<QImage> frames;
        for (int i = 0; i < 3; ++i) {
            QImage frame(w, h, QImage::Format_RGB32);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    // Runs of a slowly drifting colour with noise in it.
                    const int base = ((x + 3 * i) / 8 + y / 5) % 180;
                    frame.setPixel(x, y, colours[std::size_t(base + int(random() % 20))]);
                }
            for (int x = 20; x < 180; x += 2) {
                frame.setPixel(x, 70 + i, qRgb(54, 205, 58));
                exact.protect[std::size_t(70 + i) * w + std::size_t(x)] = 1;
            }
            frames.push_back(frame);
        }
        const QByteArray bytes = Encode(frames, {50, 50, 50}, 0, exact, tolerance);
        const PlayedGif gif = PlayGif(bytes);
        QVERIFY(gif.ok);
        QCOMPARE(int(gif.frames.size()), 3);
        // An unchanged pixel may differ by 4 in each channel, as without lossiness.
        const double allowed = std::max(double(tolerance), std::sqrt(3.0 * 4 * 4));
        for (std::size_t i = 0; i < frames.size(); ++i)
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const QRgb want = frames[i].pixel(x, y), got = gif.frames[i].pixel(x, y);
                    if (want == qRgb(54, 205, 58)) {
                        QCOMPARE(got, want);
                        continue;
                    }
                    const double error = std::hypot(qRed(got) - qRed(want), qGreen(got) - qGreen(want),
                                                    qBlue(got) - qBlue(want));
                    QVERIFY2(error <= allowed, qPrintable(QStringLiteral("frame %1 (%2, %3): %4").arg(i).arg(x).arg(y).arg(error)));
                }
        if (tolerance > 0)
            QVERIFY(bytes.size() < Encode(frames, {50, 50, 50}, 0, exact, 0).size() * 9 / 10);
    }

    void encoder_keeps_a_frame_that_changes_nothing_and_loops_for_ever()
    {
        const QImage still = FrameImage(20, 10, 0);
        const PlayedGif gif = PlayGif(Encode({still, still, still}, {50, 70, 90}, 0));
        QVERIFY(gif.ok);
        QCOMPARE(gif.loops, 0);
        QCOMPARE(gif.delaysCs, (std::vector<int>{5, 7, 9}));
        QCOMPARE(gif.rects[1], QRect(0, 0, 1, 1));
        QCOMPARE(gif.frames[2], gif.frames[0]);
    }

    void encoder_refuses_what_a_gif_cannot_hold()
    {
        GifEncoder encoder;
        const ByteSink sink = [](std::span<const std::uint8_t>) { return true; };
        QVERIFY(!encoder.Begin(0, 10, 0, sink));
        QVERIFY(!encoder.Begin(65536, 10, 0, sink));
        QVERIFY(encoder.Begin(10, 10, 0, sink));
        QVERIFY(!encoder.AddFrame(FrameImage(11, 10, 0), 50)); // not the animation's size
        GifEncoder refused;
        const ByteSink full = [](std::span<const std::uint8_t>) { return false; };
        QVERIFY(refused.Begin(10, 10, 0, full));
        QVERIFY(refused.AddFrame(FrameImage(10, 10, 0), 50));
        QVERIFY(!refused.Finish()); // the bytes never went anywhere
    }

    void save_matches_the_window_at_every_frame_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<bool>("outline");
        QTest::addColumn<bool>("emoji"); // and a second caption
        QTest::newRow("enlarged") << QSize(60, 40) << false << false;
        QTest::newRow("shrunk") << QSize(500, 420) << false << false;
        // Green text is light, so its edge is black: both come out exact.
        QTest::newRow("outlined") << QSize(60, 40) << true << false;
        QTest::newRow("two captions, emoji") << QSize(60, 40) << true << true;
    }
    void save_matches_the_window_at_every_frame()
    {
        QFETCH(QSize, picture);
        QFETCH(bool, outline);
        QFETCH(bool, emoji);
        const SaveEnvironment environment{[] { return QDateTime(QDate(2026, 12, 8), QTime(5, 39, 33)); },
                                          [this] { return desktop_; }};
        auto form = ShowForm(environment);
        QVERIFY(form);
        auto* timer = new HandTimer;
        form->workArea->SetFrameTimer(std::unique_ptr<FrameTimer>(timer));
        std::vector<QImage> frames;
        const std::vector<int> delays = {80, 80, 120, 40, 60, 200};
        for (std::size_t i = 0; i < delays.size(); ++i)
            frames.push_back(FrameImage(picture.width(), picture.height(), i));
        const QByteArray source = Encode(frames, delays, 3);
        form->workArea->SetPicture(PictureBytes(source.begin(), source.end()));
        QVERIFY(form->workArea->Animating());
        form->workArea->SetWidth(240);
        form->workArea->SetHeight(180);
        TransLabel& caption = *form->captionOverlay;
        caption.SetCaption(QStringLiteral("动起来 Move"));
        caption.SetTextColour(kGreenText);
        caption.SetLeft(20);
        caption.SetTop(100);
        caption.SetOutline(outline);
        TransLabel* second = nullptr;
        if (emoji) {
            caption.SetCaption(QStringLiteral("动起来😂 Move"));
            second = AddCaption(*form, Box(*form).pos() + QPoint(150, 40));
            QVERIFY(second);
            second->SetCaption(QStringLiteral("顶😂👍"));
        }

        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存中..."));
        QVERIFY(WaitForAnimatedSave(*form));
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存成功!!"));
        QCOMPARE(FilesIn(desktop_), QStringList{kName});

        const PlayedGif gif = PlayGif(ReadAll(Saved()));
        QVERIFY(gif.ok);
        QCOMPARE(gif.width, 240);
        QCOMPARE(gif.height, 180);
        QCOMPARE(gif.loops, 2);
        QCOMPARE(gif.delaysCs, (std::vector<int>{8, 8, 12, 4, 6, 20}));
        const QRect captionArea = QRect(caption.NativeWindow().pos() - Box(*form).pos(), caption.NativeWindow().size())
                                      .intersected(QRect(0, 0, 240, 180));
        for (std::size_t i = 0; i < delays.size(); ++i) {
            QCOMPARE(FrameOnShow(*form->workArea), i);
            const QImage window = CaptureWindow(&Box(*form));
            const QImage& saved = gif.frames[i];
            int textPixels = 0, edgePixels = 0;
            for (int y = captionArea.top(); y <= captionArea.bottom(); ++y)
                for (int x = captionArea.left(); x <= captionArea.right(); ++x) {
                    const QRgb shown = window.pixel(x, y);
                    if (shown == 0xFF00FF00u)
                        ++textPixels;
                    else if (outline && shown == 0xFF000000u)
                        ++edgePixels;
                    else
                        continue;
                    QCOMPARE(saved.pixel(x, y), shown);
                }
            QVERIFY(textPixels > 50);
            QCOMPARE(edgePixels > 50, outline);
            if (second) {
                // The emoji keep their colours as well as the palette allows.
                const QRect area = second->geometry().translated(-Box(*form).pos());
                int coloured = 0;
                for (int y = area.top(); y <= area.bottom(); ++y)
                    for (int x = area.left(); x <= area.right(); ++x) {
                        const QColor a = window.pixelColor(x, y), b = saved.pixelColor(x, y);
                        coloured += a.hsvSaturation() > 120 && std::abs(a.hue() - b.hue()) < 20
                            && std::abs(a.value() - b.value()) < 40;
                    }
                QVERIFY2(coloured > 100, qPrintable(QString::number(coloured)));
                QVERIFY(MeanError(saved, window, area) < 6.0);
            }
            const double captionError = MeanError(saved, window, captionArea);
            const double error = MeanError(saved, window, window.rect());
            QVERIFY2(captionError < 3.0 && error < 3.0,
                     qPrintable(QStringLiteral("frame %1: %2 %3").arg(i).arg(captionError).arg(error)));
            timer->Fire();
        }

        // A second save in the same second gets the next free name.
        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QVERIFY(WaitForAnimatedSave(*form));
        QCOMPARE(FilesIn(desktop_), (QStringList{QStringLiteral("2026年12月8日5时39分33秒 (2).gif"), kName}));
    }

    void a_save_works_from_the_moment_of_the_click()
    {
        auto form = ShowForm();
        QVERIFY(form);
        form->captionOverlay->SetTextColour(kGreenText);
        Gate gate(1);
        const QSize box = Box(*form).size();
        QVERIFY(Started(*form, gate.Held(std::make_unique<TestAnimation>(50, 50, std::vector<int>(4, 100))),
                                  desktop_, kName));
        QTRY_VERIFY_WITH_TIMEOUT(gate.Reached(), 60000);
        // While it runs, further clicks start nothing, and the window goes on.
        const QString working = form->saveButton->Caption();
        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QCOMPARE(form->saveButton->Caption(), working);
        QVERIFY(working.startsWith(QStringLiteral("保存中...")));
        form->captionOverlay->SetTextColour(0x000000FF);
        form->captionOverlay->SetCaption(QStringLiteral("后来的字"));
        QTest::mouseClick(form->zoomInButton, Qt::LeftButton);
        QVERIFY(Box(*form).size() != box);
        gate.Release();
        QVERIFY(WaitForAnimatedSave(*form));
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存成功!!"));
        QCOMPARE(FilesIn(desktop_).size(), 1);
        const PlayedGif gif = PlayGif(ReadAll(Saved()));
        QVERIFY(gif.ok);
        QCOMPARE(QSize(gif.width, gif.height), box);
        for (const QImage& frame : gif.frames) {
            bool green = false, red = false;
            for (int y = 0; y < frame.height(); ++y)
                for (int x = 0; x < frame.width(); ++x) {
                    green = green || frame.pixel(x, y) == 0xFF00FF00u;
                    red = red || frame.pixel(x, y) == 0xFFFF0000u;
                }
            QVERIFY(green && !red);
        }
    }

    void a_failed_write_leaves_no_file()
    {
        auto form = ShowForm();
        QVERIFY(form);
        rlimit before{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &before) == 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tight = before;
        tight.rlim_cur = 1000; // far less than the file
        QVERIFY(setrlimit(RLIMIT_FSIZE, &tight) == 0);
        const bool started
            = Started(*form, std::make_unique<TestAnimation>(80, 80, std::vector<int>(3, 100)), desktop_, kName);
        const bool waited = started && WaitForAnimatedSave(*form);
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(waited);
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存失败!!"));
        QCOMPARE(FilesIn(desktop_), QStringList{});
    }

    void closing_the_window_mid_save_leaves_no_file()
    {
        auto form = ShowForm();
        QVERIFY(form);
        Gate gate(1);
        QVERIFY(Started(*form, gate.Held(std::make_unique<TestAnimation>(50, 50, std::vector<int>(4, 100))),
                                  desktop_, kName));
        QTRY_VERIFY_WITH_TIMEOUT(gate.Reached(), 60000);
        gate.Release();
        form.reset(); // the worker stops and the file is never made
        QCOMPARE(FilesIn(desktop_), QStringList{});
    }

    void a_box_with_no_pixels_fails_at_once()
    {
        auto form = ShowForm();
        QVERIFY(form);
        form->workArea->SetHeight(0);
        QVERIFY(!Started(*form, std::make_unique<TestAnimation>(50, 50, std::vector<int>(2, 100)), desktop_, kName));
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存失败!!"));
        QVERIFY(!form->events->AnimatedSaveRunning());
    }
};

QTEST_MAIN(AnimatedSaveTest)
#include "test_animated_save.moc"
