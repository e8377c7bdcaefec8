// The picture box as a widget: assignment, display modes, repainting, and
// the GIF player driven by a clock the test controls.

#include "app/model/Colour.h"
#include "tests/support/HandTimer.h"
#include "controls/PicBox.h"

#include <QApplication>
#include <QFile>
#include <QPaintEvent>
#include <QPainter>
#include <QTest>

#include <cstdlib>
#include <memory>

using namespace mugrove;

namespace {

PictureBytes Load(const char* name)
{
    QFile f(QStringLiteral(MUGROVE_TEST_DATA "/decoders/") + QString::fromLatin1(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing test file %s", name);
    const QByteArray b = f.readAll();
    return PictureBytes(b.begin(), b.end());
}

// What a hand-driven clock has been asked to do.
struct ClockLog {
    bool active = false;
    std::vector<int> delays;                 // every Start, in order
    std::function<void()> fire;
    std::function<void()> onStop;            // lets a test look at the box when it stops
    int stops = 0;
    bool destroyed = false;
};

class ManualTimer : public FrameTimer {
public:
    explicit ManualTimer(std::shared_ptr<ClockLog> log) : log_(std::move(log)) {}
    ~ManualTimer() override { log_->destroyed = true; }
    void Start(std::chrono::milliseconds delay, std::function<void()> fire) override
    {
        log_->active = true;
        log_->delays.push_back(static_cast<int>(delay.count()));
        log_->fire = std::move(fire);
    }
    void Stop() override
    {
        if (log_->onStop)
            log_->onStop();
        log_->active = false;
        log_->fire = nullptr;
        ++log_->stops;
    }

private:
    std::shared_ptr<ClockLog> log_;
};

// Fires the pending frame change, as the time running out would.
void Tick(ClockLog& log)
{
    QVERIFY(log.active && log.fire);
    log.active = false;
    auto fire = log.fire;
    fire();
}

class PaintCounter : public QObject {
public:
    int paints = 0;
    QRect lastRect;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) {
            ++paints;
            lastRect = static_cast<QPaintEvent*>(e)->rect();
        }
        return false;
    }
};

struct Fixture {
    QWidget window;
    PicBox* box;
    std::shared_ptr<ClockLog> clock = std::make_shared<ClockLog>();

    Fixture() : box(new PicBox(&window))
    {
        window.resize(200, 200);
        box->setGeometry(0, 0, 40, 30);
        box->SetFrameTimer(std::make_unique<ManualTimer>(clock));
        window.show();
    }
    QRgb Pixel(int x, int y) { return box->grab().toImage().pixel(x, y); }
};

QRgb Face()
{
    return ButtonFaceColour().rgb();
}

} // namespace

class TestPicBox : public QObject {
    Q_OBJECT
private slots:
    void display_target_rectangles_data();
    void display_target_rectangles();
    void display_mode_clamped_and_repaints_only_on_change();
    void picture_is_drawn_by_display_mode();
    void picture_unrecognised_bytes_show_background();
    void picture_empty_bytes_clear();
    void picture_icon_transparency_shows_background();
    void resize_repaints_whole_box();
    void shrinking_averages_pixels();
    void shrinking_by_a_few_pixels_matches_the_averaging();
    void gif_frames_play_in_order_with_delays_and_loop();
    void gif_one_frame_is_still();
    void gif_damaged_frame_ends_play_on_last_good_frame();
    void gif_long_recording_plays();
    void gif_player_stops_before_new_picture();
    void gif_player_stops_when_box_destroyed();
};

void TestPicBox::display_target_rectangles_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QRect>("target");
    QTest::newRow("own size at top-left") << 0 << QSize(100, 50) << QSize(300, 20) << QRect(0, 0, 300, 20);
    QTest::newRow("stretched to box") << 1 << QSize(100, 50) << QSize(300, 20) << QRect(0, 0, 100, 50);
    QTest::newRow("stretch enlarges") << 1 << QSize(379, 384) << QSize(160, 155) << QRect(0, 0, 379, 384);
    QTest::newRow("centred small") << 2 << QSize(10, 10) << QSize(3, 4) << QRect(3, 3, 3, 4);
    QTest::newRow("shrunk by height") << 2 << QSize(100, 50) << QSize(300, 200) << QRect(12, 0, 75, 50);
    // 200 × 100/300 = 66.67 is truncated to 66, then centred.
    QTest::newRow("shrunk by width, truncated") << 2 << QSize(100, 100) << QSize(300, 200) << QRect(0, 17, 100, 66);
    QTest::newRow("only taller than box") << 2 << QSize(100, 10) << QSize(7, 20) << QRect(48, 0, 3, 10);
    QTest::newRow("exactly fits") << 2 << QSize(30, 20) << QSize(30, 20) << QRect(0, 0, 30, 20);
    QTest::newRow("empty box") << 2 << QSize(0, 0) << QSize(30, 20) << QRect(0, 0, 0, 0);
}

void TestPicBox::display_target_rectangles()
{
    QFETCH(int, mode);
    QFETCH(QSize, box);
    QFETCH(QSize, picture);
    QFETCH(QRect, target);
    QCOMPARE(DisplayTarget(static_cast<PictureFit>(mode), box, picture), target);
}

void TestPicBox::display_mode_clamped_and_repaints_only_on_change()
{
    Fixture f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    PaintCounter counter;
    f.box->installEventFilter(&counter);
    QCOMPARE(f.box->DisplayMode(), 0);
    f.box->SetDisplayMode(-4);
    QCOMPARE(f.box->DisplayMode(), 0);
    QCOMPARE(counter.paints, 0);
    f.box->SetDisplayMode(9);
    QCOMPARE(f.box->DisplayMode(), 2);
    QCOMPARE(counter.paints, 1);
    f.box->SetDisplayMode(2);
    f.box->SetDisplayMode(100);
    QCOMPARE(counter.paints, 1);
    f.box->SetDisplayMode(1);
    QCOMPARE(f.box->DisplayMode(), 1);
    QCOMPARE(counter.paints, 2);
}

void TestPicBox::picture_is_drawn_by_display_mode()
{
    Fixture f;
    f.box->SetPicture(Load("good_bmp24.bmp")); // 3 × 2: R G B / W K Y
    QVERIFY(f.box->Decoded() != nullptr);
    QCOMPARE(f.box->Decoded()->Width(), 3);
    QCOMPARE(f.box->Picture().size(), Load("good_bmp24.bmp").size());
    QCOMPARE(f.Pixel(0, 0), qRgb(255, 0, 0));
    QCOMPARE(f.Pixel(2, 1), qRgb(255, 255, 0));
    QCOMPARE(f.Pixel(3, 0), Face());
    QCOMPARE(f.Pixel(39, 29), Face());
    f.box->SetDisplayMode(1);
    QCOMPARE(f.Pixel(0, 0), qRgb(255, 0, 0));
    QCOMPARE(f.Pixel(39, 29), qRgb(255, 255, 0));
    QCOMPARE(f.Pixel(39, 0), qRgb(0, 0, 255));
    f.box->SetDisplayMode(2);
    QCOMPARE(f.Pixel(18, 14), qRgb(255, 0, 0)); // centred at (18, 14)
    QCOMPARE(f.Pixel(0, 0), Face());
}

void TestPicBox::picture_unrecognised_bytes_show_background()
{
    Fixture f;
    f.box->SetDisplayMode(1);
    const PictureBytes tiff = Load("tiff_header.tif");
    f.box->SetPicture(tiff);
    QCOMPARE(f.box->Picture(), tiff);
    QVERIFY(f.box->Decoded() == nullptr);
    QCOMPARE(f.box->width(), 40);
    QCOMPARE(f.Pixel(0, 0), Face());
    QCOMPARE(f.Pixel(20, 15), Face());
}

void TestPicBox::picture_empty_bytes_clear()
{
    Fixture f;
    f.box->SetPicture(Load("good_bmp24.bmp"));
    f.box->SetPicture({});
    QVERIFY(f.box->Picture().empty());
    QVERIFY(f.box->Decoded() == nullptr);
    QCOMPARE(f.Pixel(0, 0), Face());
}

void TestPicBox::picture_icon_transparency_shows_background()
{
    Fixture f;
    f.box->SetPicture(Load("good_icon_mask.ico")); // (0,0) and (2,1) masked out
    QCOMPARE(f.box->Decoded()->kind, ImageKind::Icon);
    QCOMPARE(f.Pixel(0, 0), Face());
    QCOMPARE(f.Pixel(1, 0), qRgb(0, 255, 0));
    QCOMPARE(f.Pixel(2, 1), Face());
}

void TestPicBox::resize_repaints_whole_box()
{
    Fixture f;
    f.box->SetDisplayMode(1);
    f.box->SetPicture(Load("good_bmp24.bmp"));
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    PaintCounter counter;
    f.box->installEventFilter(&counter);
    f.box->SetWidth(30);
    QTRY_VERIFY(counter.paints > 0);
    QCOMPARE(counter.lastRect, QRect(0, 0, 30, 30));
    counter.paints = 0;
    f.box->SetHeight(60);
    QTRY_VERIFY(counter.paints > 0);
    QCOMPARE(counter.lastRect, QRect(0, 0, 30, 60));
    QCOMPARE(f.Pixel(29, 59), qRgb(255, 255, 0));
}

void TestPicBox::shrinking_averages_pixels()
{
    // 4 × 2: R G B Y / W K C M, shrunk to 2 × 1 on a deep screen: each box
    // pixel is the average of a 2 × 2 block, not one sample of it.
    Fixture f;
    QVERIFY(f.box->screen()->depth() > 16);
    f.box->SetDisplayMode(1);
    f.box->SetPicture(Load("good_bmp8.bmp"));
    f.box->setGeometry(0, 0, 2, 1);
    // R, G, W and K average to (127.5, 127.5, 63.75).
    const QColor left = QColor::fromRgb(f.Pixel(0, 0));
    QVERIFY2(std::abs(left.red() - 128) <= 6 && std::abs(left.green() - 128) <= 6 && std::abs(left.blue() - 64) <= 6,
             qPrintable(left.name()));
    // Drawn again at the same size from the kept result, and anew after a
    // change of picture.
    QCOMPARE(QColor::fromRgb(f.Pixel(0, 0)), left);
    f.box->SetPicture(Load("good_bmp24.bmp"));
    QVERIFY(QColor::fromRgb(f.Pixel(0, 0)) != left);
}

void TestPicBox::shrinking_by_a_few_pixels_matches_the_averaging()
{
    // Sharp edges and every level of each channel: the worst case for two
    // filters that sample alike but round differently.
    QImage picture(266, 250, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, ((x / 3 + y / 5) % 2) ? qRgb(x % 256, 255 - y % 256, (x * y) % 256)
                                                         : qRgb(0, 0, 0));
    for (const QSize size : {QSize(265, 250), QSize(265, 249), QSize(264, 248), QSize(266, 248)}) {
        const QImage averaged = picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QImage shown(size, QImage::Format_RGB32), kept;
        QPainter box(&shown);
        PaintPicture(box, size, Qt::white, picture, PictureFit::Stretch, true, kept);
        box.end();
        QVERIFY(kept.isNull()); // nothing kept: drawn filtered each time
        long long total = 0;
        int worst = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const QRgb a = averaged.pixel(x, y), b = shown.pixel(x, y);
                for (const int d : {qRed(a) - qRed(b), qGreen(a) - qGreen(b), qBlue(a) - qBlue(b)}) {
                    total += std::abs(d);
                    worst = std::max(worst, std::abs(d));
                }
            }
        const double mean = double(total) / (3.0 * size.width() * size.height());
        QVERIFY2(worst <= 4 && mean < 0.5, qPrintable(QStringLiteral("%1 %2").arg(worst).arg(mean)));
    }
    // Further off, the averaged picture is made once and kept.
    QImage shown(240, 223, QImage::Format_RGB32), kept;
    QPainter box(&shown);
    PaintPicture(box, shown.size(), Qt::white, picture, PictureFit::Stretch, true, kept);
    QCOMPARE(kept.size(), shown.size());
}

void TestPicBox::gif_frames_play_in_order_with_delays_and_loop()
{
    Fixture f;
    f.box->SetPicture(Load("good_gif_animated.gif"));
    QVERIFY(f.box->Animating());
    QCOMPARE(FrameOnShow(*f.box), std::size_t{0});
    QCOMPARE(f.Pixel(0, 0), qRgb(255, 0, 0));
    std::vector<std::size_t> order{FrameOnShow(*f.box)};
    for (int i = 0; i < 5; ++i) {
        Tick(*f.clock);
        order.push_back(FrameOnShow(*f.box));
        if (FrameOnShow(*f.box) == 2)
            QCOMPARE(f.Pixel(0, 0), qRgb(0, 0, 255)); // frame 3 draws blue there
    }
    QCOMPARE(order, (std::vector<std::size_t>{0, 1, 2, 3, 0, 1}));
    // Delay 0 plays as 50 ms; the others are hundredths of a second.
    QCOMPARE(f.clock->delays, (std::vector<int>{50, 100, 250, 30, 50, 100}));
    QCOMPARE(f.Pixel(2, 1), qRgb(0, 255, 0));
}

void TestPicBox::gif_one_frame_is_still()
{
    Fixture f;
    f.box->SetPicture(Load("good_gif87a.gif"));
    QVERIFY(f.box->Decoded() != nullptr);
    QVERIFY(!f.box->Animating());
    QVERIFY(!f.clock->active);
    QVERIFY(f.clock->delays.empty());
    QCOMPARE(f.Pixel(1, 1), qRgb(255, 0, 0));
}

void TestPicBox::gif_damaged_frame_ends_play_on_last_good_frame()
{
    // The third frame's data is damaged: the second frame stays on show and
    // no further frame change is asked for.
    Fixture f;
    f.box->SetPicture(Load("gif_damaged_third_frame.gif"));
    QVERIFY(f.box->Animating());
    Tick(*f.clock);
    QCOMPARE(FrameOnShow(*f.box), std::size_t{1});
    Tick(*f.clock);
    QVERIFY(!f.box->Animating());
    QVERIFY(!f.clock->active);
    QCOMPARE(FrameOnShow(*f.box), std::size_t{1});
    QCOMPARE(f.Pixel(1, 1), qRgb(0, 255, 0));
    QCOMPARE(f.Pixel(0, 0), qRgb(255, 0, 0));
    QCOMPARE(f.clock->delays, (std::vector<int>{50, 100}));
}

void TestPicBox::gif_long_recording_plays()
{
    // 550 frames of 800 × 600, frame i wholly (i, 255 - i, 0) for i < 256.
    Fixture f;
    const PictureBytes bytes = Load("gif_long_recording.gif");
    f.box->SetPicture(bytes);
    QVERIFY(f.box->Animating());
    QCOMPARE(f.box->Decoded()->Width(), 800);
    QCOMPARE(f.box->Picture(), bytes);
    for (int i = 0; i < 3; ++i)
        Tick(*f.clock);
    QCOMPARE(FrameOnShow(*f.box), std::size_t{3});
    QCOMPARE(f.Pixel(39, 29), qRgb(3, 252, 0));
    QCOMPARE(f.clock->delays, (std::vector<int>{40, 40, 40, 40}));
}

void TestPicBox::gif_player_stops_before_new_picture()
{
    Fixture f;
    f.box->SetPicture(Load("good_gif_animated.gif"));
    Tick(*f.clock);
    QVERIFY(f.clock->active);
    // When the player is stopped the old animation must still be there:
    // nothing has been released or decoded yet.
    bool oldStillThere = false;
    f.clock->onStop = [&] { oldStillThere = f.box->Decoded() != nullptr && f.box->Decoded()->Animated(); };
    f.box->SetPicture(Load("good_bmp24.bmp"));
    QVERIFY(oldStillThere);
    QVERIFY(!f.clock->active);
    QVERIFY(!f.box->Animating());
    QCOMPARE(FrameOnShow(*f.box), std::size_t{0});
    QCOMPARE(f.Pixel(0, 0), qRgb(255, 0, 0));
    // A new animation starts from its first frame.
    f.clock->onStop = nullptr;
    f.box->SetPicture(Load("good_gif_animated.gif"));
    QCOMPARE(FrameOnShow(*f.box), std::size_t{0});
    QCOMPARE(f.clock->delays.back(), 50);
}

void TestPicBox::gif_player_stops_when_box_destroyed()
{
    Fixture f;
    f.box->SetPicture(Load("good_gif_animated.gif"));
    QVERIFY(f.clock->active);
    const int stops = f.clock->stops;
    delete f.box;
    QVERIFY(f.clock->stops > stops);
    QVERIFY(!f.clock->active);
    QVERIFY(f.clock->destroyed);
}

QTEST_MAIN(TestPicBox)
#include "test_picbox.moc"
