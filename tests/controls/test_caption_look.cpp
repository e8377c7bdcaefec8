// The caption's paint function against the label it paints for, and the
// outline's distance layer on its own.
#include "app/model/LogFont.h"
#include "controls/CaptionLook.h"
#include "controls/Outline.h"
#include "controls/TransLabel.h"

#include <QApplication>
#include <QPainter>
#include <QTest>

#include <cmath>
#include <thread>

using namespace mugrove;

namespace {

// A flat backdrop in a colour that no pass uses.
class Backdrop : public QWidget {
public:
    Backdrop() { resize(260, 140); }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(70, 110, 150)); }
};

QImage Shot(QWidget& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The alpha an edge of `width` gives a pixel `distance` away from the
// nearest glyph pixel: full up to the width, fading over the next pixel.
int ExpectedAlpha(double distance, int width)
{
    return int(std::lround(std::clamp(width + 1.0 - distance, 0.0, 1.0) * 255));
}

} // namespace

class CaptionLookTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { RegisterFontSubstitutions(); }

    // Every effect, with and without the edge, with a turned font once:
    // the look painted on a worker thread into the backdrop's picture gives
    // the very pixels the label shows over it.
    void the_look_paints_what_the_label_shows_data()
    {
        QTest::addColumn<int>("effect");
        QTest::addColumn<bool>("outline");
        QTest::addColumn<int>("escapement");
        for (int effect = 0; effect < 4; ++effect)
            for (bool outline : {false, true})
                QTest::addRow("effect %d%s", effect, outline ? " outlined" : "") << effect << outline << 0;
        QTest::newRow("turned, outlined") << 2 << true << 300;
    }
    void the_look_paints_what_the_label_shows()
    {
        QFETCH(int, effect);
        QFETCH(bool, outline);
        QFETCH(int, escapement);
        Backdrop backdrop;
        TransLabel label(&backdrop);
        label.setGeometry(-6, 30, 230, 70); // cut at the left edge
        LogFont font = YaHeiBold16();
        font.height = -30;
        font.escapement = escapement;
        label.SetLogFont(font);
        label.SetCaption(QStringLiteral("这里&A 描边"));
        label.SetTextColour(0x0040E0F0u);
        label.SetHorizontalAlignment(1);
        label.SetTextEffect(effect);
        label.SetOutline(outline);
        backdrop.show();
        QVERIFY(QTest::qWaitForWindowExposed(&backdrop));
        const QImage shown = Shot(backdrop);

        const CaptionLook look = label.Look();
        const QPoint at = label.pos();
        label.hide();
        QImage painted = Shot(backdrop);
        QVERIFY(painted != shown); // the caption drew something
        std::thread worker([&] {
            QPainter painter(&painted);
            PaintCaption(painter, look, at);
        });
        worker.join();
        QCOMPARE(painted, shown);

        // A painter kept between frames gives the same pixels each time.
        CaptionPainter cached;
        QImage first(backdrop.size(), QImage::Format_RGB32), second;
        first.fill(Qt::white);
        second = first;
        for (QImage* frame : {&first, &second}) {
            QPainter painter(frame);
            cached.Paint(painter, look, at);
        }
        QCOMPARE(second, first);
    }

    // One opaque pixel, alone or on the image's edge or corner: every
    // pixel's alpha follows its true distance to it.
    void the_edge_follows_the_distance_to_the_nearest_glyph_pixel_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("dot");
        QTest::addColumn<int>("width");
        QTest::newRow("single dot") << QSize(21, 17) << QPoint(10, 8) << 3;
        QTest::newRow("on the left edge") << QSize(15, 15) << QPoint(0, 7) << 4;
        QTest::newRow("in the corner") << QSize(12, 9) << QPoint(11, 8) << 2;
        QTest::newRow("wider than the image") << QSize(6, 5) << QPoint(2, 2) << 9;
    }
    void the_edge_follows_the_distance_to_the_nearest_glyph_pixel()
    {
        QFETCH(QSize, size);
        QFETCH(QPoint, dot);
        QFETCH(int, width);
        QImage mask(size, QImage::Format_ARGB32_Premultiplied);
        mask.fill(Qt::transparent);
        mask.setPixel(dot, qRgba(0, 0, 0, 128)); // half covered counts as glyph
        const QImage layer = OutlineLayer(mask, width, QColor(255, 255, 255));
        QCOMPARE(layer.size(), size);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const int alpha = ExpectedAlpha(std::hypot(x - dot.x(), y - dot.y()), width);
                const QRgb got = layer.pixel(x, y);
                QVERIFY2(qAlpha(got) == alpha,
                         qPrintable(QStringLiteral("(%1, %2): %3 not %4").arg(x).arg(y).arg(qAlpha(got)).arg(alpha)));
                if (alpha == 255)
                    QCOMPARE(got, qRgb(255, 255, 255));
            }

        // Less than half covered is no glyph: nothing is edged.
        mask.setPixel(dot, qRgba(0, 0, 0, 127));
        const QImage none = OutlineLayer(mask, width, QColor(255, 255, 255));
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                QCOMPARE(qAlpha(none.pixel(x, y)), 0);
    }
};

QTEST_MAIN(CaptionLookTest)
#include "test_caption_look.moc"
