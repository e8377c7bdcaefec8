// The picture's shape on its own: any run of turns, flips and crops shows
// the pixels the same operations, done one after another on the picture
// itself, give; a crop drawn on screen cuts the picture pixels it touches at
// any zoom; and a shaped picture paints as the shaped pixels fitted to the box.
#include "controls/PictureShape.h"
#include "controls/PicturePaint.h"

#include <QPainter>
#include <QTest>

#include <algorithm>

using namespace mugrove;

namespace {

// Four quadrants in four reds, every pixel also telling its own place, so
// that any wrong turn, flip or cut shows.
QImage Quadrants(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int quadrant = (x < w / 2 ? 0 : 1) + (y < h / 2 ? 0 : 2);
            image.setPixel(x, y, qRgb(0x20 + 0x40 * quadrant, 10 * x, 10 * y));
        }
    return image;
}

// The operations done on the pixels, one by one.
QImage TurnedRight(const QImage& in)
{
    QImage out(in.height(), in.width(), QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            out.setPixel(x, y, in.pixel(y, in.height() - 1 - x));
    return out;
}
QImage TurnedLeft(const QImage& in)
{
    QImage out(in.height(), in.width(), QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            out.setPixel(x, y, in.pixel(in.width() - 1 - y, x));
    return out;
}
QImage Flipped(const QImage& in, bool horizontal)
{
    QImage out(in.size(), QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            out.setPixel(x, y, horizontal ? in.pixel(in.width() - 1 - x, y) : in.pixel(x, in.height() - 1 - y));
    return out;
}

QImage Shaped(const QImage& picture, const PictureShape& shape)
{
    return Reorient(PartView(picture, shape), shape).convertToFormat(QImage::Format_RGB32);
}

} // namespace

class PictureShapeTest : public QObject {
    Q_OBJECT
private slots:
    void turns_flips_and_crops_show_what_doing_them_in_turn_gives_data()
    {
        QTest::addColumn<QString>("steps");
        // R/L turn right/left, H/V flip, "c x y w h" crops what is shown.
        for (const char* steps : {"R", "L", "H", "V", "RR", "LLL", "RRRR", "RH", "HR", "LV", "VL", "RHLV",
                                  "HV", "c 1 1 4 2", "R c 0 1 2 3", "c 1 0 5 3 R H c 1 1 1 2 L", "H c 0 0 1 1 R",
                                  "L c 1 2 2 4 V c 0 1 2 2 R", "c 3 2 0 0", "R c 2 6 9 9"})
            QTest::newRow(steps) << QString::fromLatin1(steps);
    }
    void turns_flips_and_crops_show_what_doing_them_in_turn_gives()
    {
        QFETCH(QString, steps);
        const QImage picture = Quadrants(7, 4);
        QImage expected = picture;
        PictureShape shape;
        const QStringList words = steps.split(QLatin1Char(' '));
        for (qsizetype i = 0; i < words.size(); ++i) {
            const QString& word = words[i];
            if (word == QLatin1String("c")) {
                QRect part(words[i + 1].toInt(), words[i + 2].toInt(), words[i + 3].toInt(), words[i + 4].toInt());
                i += 4;
                shape = Cropped(shape, picture.size(), part);
                // What is cut: within the picture, at least a pixel each way.
                const int left = std::clamp(part.left(), 0, expected.width() - 1);
                const int top = std::clamp(part.top(), 0, expected.height() - 1);
                const int right = std::clamp(part.left() + part.width(), left + 1, expected.width());
                const int bottom = std::clamp(part.top() + part.height(), top + 1, expected.height());
                expected = expected.copy(left, top, right - left, bottom - top);
                continue;
            }
            for (const QChar step : word) {
                switch (step.toLatin1()) {
                case 'R': shape = Reoriented(shape, Reorientation::TurnRight); expected = TurnedRight(expected); break;
                case 'L': shape = Reoriented(shape, Reorientation::TurnLeft); expected = TurnedLeft(expected); break;
                case 'H':
                    shape = Reoriented(shape, Reorientation::FlipHorizontal);
                    expected = Flipped(expected, true);
                    break;
                case 'V':
                    shape = Reoriented(shape, Reorientation::FlipVertical);
                    expected = Flipped(expected, false);
                    break;
                default: QFAIL("unknown step");
                }
            }
        }
        QCOMPARE(ShapedSize(picture.size(), shape), expected.size());
        QCOMPARE(Shaped(picture, shape), expected);
        // Four turns come back to nothing at all.
        if (steps == QLatin1String("RRRR"))
            QVERIFY(shape.Plain());
    }

    void a_crop_cuts_the_picture_pixels_it_touches_at_any_zoom_data()
    {
        QTest::addColumn<QRect>("target");    // where the shaped picture lies in the box
        QTest::addColumn<QSize>("shaped");    // its own pixels
        QTest::addColumn<QRect>("onScreen");  // the rectangle drawn
        QTest::addColumn<QRect>("part");      // the picture pixels cut
        QTest::addColumn<QRect>("partShown"); // where they were on screen
        const QRect zoom1(0, 0, 100, 80), zoom2(0, 0, 200, 160);
        const QSize own(100, 80);
        QTest::newRow("zoom 1") << zoom1 << own << QRect(10, 20, 30, 40) << QRect(10, 20, 30, 40)
                                << QRect(10, 20, 30, 40);
        QTest::newRow("zoom 2, on pixel edges") << zoom2 << own << QRect(50, 40, 100, 60) << QRect(25, 20, 50, 30)
                                               << QRect(50, 40, 100, 60);
        // 51..150 touches pixels 25..74; 41..100 touches 20..49.
        QTest::newRow("zoom 2, between edges") << zoom2 << own << QRect(51, 41, 99, 59) << QRect(25, 20, 50, 30)
                                              << QRect(50, 40, 100, 60);
        QTest::newRow("zoom 1/2") << QRect(0, 0, 50, 40) << own << QRect(5, 5, 10, 10) << QRect(10, 10, 20, 20)
                                  << QRect(5, 5, 10, 10);
        // One press of 放大+: 11/1.1 = 10, 33/1.1 = 30.
        QTest::newRow("zoom 1.1") << QRect(0, 0, 110, 88) << own << QRect(11, 11, 22, 22) << QRect(10, 10, 20, 20)
                                  << QRect(11, 11, 22, 22);
        QTest::newRow("centred, dragged past it") << QRect(10, 5, 100, 80) << own << QRect(-40, -40, 300, 300)
                                                  << QRect(0, 0, 100, 80) << QRect(10, 5, 100, 80);
        QTest::newRow("dragged to nothing at the corner") << zoom1 << own << QRect(100, 80, 0, 0)
                                                          << QRect(99, 79, 1, 1) << QRect(99, 79, 1, 1);
        QTest::newRow("dragged to nothing, zoom 2") << zoom2 << own << QRect(50, 50, 0, 0) << QRect(25, 25, 1, 1)
                                                    << QRect(50, 50, 2, 2);
        QTest::newRow("a 30000-pixel-wide picture shown 300 wide")
            << QRect(0, 0, 300, 20) << QSize(30000, 2000) << QRect(150, 10, 3, 5) << QRect(15000, 1000, 300, 500)
            << QRect(150, 10, 3, 5);
    }
    void a_crop_cuts_the_picture_pixels_it_touches_at_any_zoom()
    {
        QFETCH(QRect, target);
        QFETCH(QSize, shaped);
        QFETCH(QRect, onScreen);
        QFETCH(QRect, part);
        QFETCH(QRect, partShown);
        QCOMPARE(PartUnder(target, shaped, onScreen), part);
        QCOMPARE(PartOnScreen(target, shaped, part), partShown);
    }

    void a_crop_is_a_view_into_the_pictures_own_pixels()
    {
        const QImage wide = Quadrants(3000, 20);
        PictureShape shape = Cropped({}, wide.size(), QRect(1500, 10, 300, 5));
        const QImage part = PartView(wide, shape);
        QCOMPARE(part.size(), QSize(300, 5));
        QCOMPARE(part.constBits(), wide.constScanLine(10) + 1500 * 4); // no copy
        QCOMPARE(part.copy(), wide.copy(1500, 10, 300, 5));
        // The whole picture needs no cut at all.
        QVERIFY(Cropped({}, wide.size(), wide.rect()).Plain());
    }

    void a_shaped_picture_paints_as_its_shaped_pixels_fitted_to_the_box_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QSize>("box");
        QTest::newRow("own size") << QStringLiteral("R") << QSize(24, 30);
        QTest::newRow("shrunk") << QStringLiteral("R") << QSize(12, 15);
        QTest::newRow("shrunk, cut and mirrored") << QStringLiteral("Hc") << QSize(9, 7);
        QTest::newRow("enlarged") << QStringLiteral("Lc") << QSize(40, 50);
    }
    void a_shaped_picture_paints_as_its_shaped_pixels_fitted_to_the_box()
    {
        QFETCH(QString, how);
        QFETCH(QSize, box);
        QImage picture(30, 24, QImage::Format_RGB32);
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 30; ++x)
                picture.setPixel(x, y, qRgb(8 * x, 10 * y, 128));
        PictureShape shape;
        QImage expected = picture;
        if (how.contains(QLatin1Char('R'))) {
            shape = Reoriented(shape, Reorientation::TurnRight);
            expected = TurnedRight(expected);
        }
        if (how.contains(QLatin1Char('L'))) {
            shape = Reoriented(shape, Reorientation::TurnLeft);
            expected = TurnedLeft(expected);
        }
        if (how.contains(QLatin1Char('H'))) {
            shape = Reoriented(shape, Reorientation::FlipHorizontal);
            expected = Flipped(expected, true);
        }
        if (how.contains(QLatin1Char('c'))) {
            shape = Cropped(shape, picture.size(), QRect(2, 3, 18, 14));
            expected = expected.copy(2, 3, 18, 14);
        }
        // Stretched over the box, as the work area shows pictures.
        expected = expected.scaled(box, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QImage painted(box, QImage::Format_RGB32);
        painted.fill(Qt::black);
        QImage kept;
        {
            QPainter painter(&painted);
            PaintPicture(painter, box, Qt::black, picture, PictureFit::Stretch, true, kept, shape);
        }
        // Shrinking averages before the turn: the same pixels within rounding.
        for (int y = 0; y < box.height(); ++y)
            for (int x = 0; x < box.width(); ++x) {
                const QRgb got = painted.pixel(x, y), want = expected.pixel(x, y);
                QVERIFY2(std::abs(qRed(got) - qRed(want)) <= 3 && std::abs(qGreen(got) - qGreen(want)) <= 3
                             && std::abs(qBlue(got) - qBlue(want)) <= 3,
                         qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
            }
        // What the box's frames are prepared as paints the same.
        // Made ahead (for a frame) when it is averaged down, else drawn as it is.
        QImage ready = ShrunkPicture(box, PictureFit::Stretch, true, picture, shape);
        QCOMPARE(ready.isNull(), box.width() >= 18);
        QImage again(box, QImage::Format_RGB32);
        {
            QPainter painter(&again);
            PaintPicture(painter, box, Qt::black, picture, PictureFit::Stretch, true, ready, shape);
        }
        QCOMPARE(again, painted);
    }
};

QTEST_MAIN(PictureShapeTest)
#include "test_picture_shape.moc"
