// What is saved and copied holds the picture and its captions, never the
// window's own controls that a picture larger than its frame lies under.
#include "GifReadBack.h"
#include "tests/support/HandTimer.h"
#include "tests/support/ShownForm.h"

#include "app/model/Button.h"
#include "controls/decoders/DecodedPicture.h"
#include "sandbox/Decode.h"
#include "output/BmpLayout.h"
#include "output/GifEncoder.h"
#include "output/SaveToDesktop.h"
#include "templates/PhotoDrop.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>

using namespace mugrove;
using namespace mugrove::testing;

namespace {

constexpr int kWidth = 640, kHeight = 360;
// The stripes of tools/make-test-data.py's stripes_640x360.mp4, left first.
constexpr QRgb kStripes[] = {qRgb(200, 40, 40), qRgb(40, 160, 60), qRgb(40, 60, 200), qRgb(220, 200, 40)};

QRgb Stripe(int x, bool reversed)
{
    const int i = x * 4 / kWidth;
    return kStripes[reversed ? 3 - i : i];
}

QImage Stripes(bool reversed)
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            image.setPixel(x, y, Stripe(x, reversed));
    return image;
}

int Distance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

// Checks `shot` against the stripes: within `tolerance` everywhere outside
// `caption` (but for `edge` pixels each side of a stripe's border and
// around the caption, which a lossy coding blurs), and the caption's text
// inside it.
void CheckOnlyTheMeme(const QImage& shot, bool reversed, const QRect& caption, int tolerance, int edge,
                      const char* what)
{
    const QRect blurred = caption.adjusted(-edge, -edge, edge, edge);
    QVERIFY2(shot.size() == QSize(kWidth, kHeight), what);
    int text = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const int distance = Distance(shot.pixel(x, y), Stripe(x, reversed));
            if (caption.contains(x, y)) {
                text += distance > 60;
                continue;
            }
            if (std::abs((x + kWidth / 8) % (kWidth / 4) - kWidth / 8) < edge || blurred.contains(x, y))
                continue;
            if (distance > tolerance)
                QFAIL(qPrintable(QStringLiteral("%1: (%2, %3) is %4").arg(what).arg(x).arg(y).arg(shot.pixel(x, y), 8, 16)));
        }
    QVERIFY2(text > 20, what);
}

QByteArray ReadAll(const QString& name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QImage DecodeStill(const QByteArray& bytes)
{
    DecodedPicture decoded;
    if (DecodePicture({reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())},
                      decoded) != DecodeError::None)
        return {};
    const Image& image = decoded.image;
    QImage out(image.width, image.height, QImage::Format_RGB32);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            out.setPixel(x, y, image.pixels[std::size_t(y) * std::size_t(image.width) + std::size_t(x)] | 0xFF000000u);
    return out;
}

PictureBytes AnimatedStripes()
{
    PictureBytes file;
    GifEncoder encoder;
    const ByteSink sink = [&file](std::span<const std::uint8_t> bytes) {
        file.insert(file.end(), bytes.begin(), bytes.end());
        return true;
    };
    if (!encoder.Begin(kWidth, kHeight, 0, sink) || !encoder.AddFrame(Stripes(false), 100)
        || !encoder.AddFrame(Stripes(true), 100) || !encoder.Finish())
        return {};
    return file;
}

} // namespace

class MemeOnlyTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir home_;

private slots:
    void outputs_hold_the_picture_and_captions_and_nothing_of_the_window_data()
    {
        QTest::addColumn<QString>("kind");
        // Stripes exact in a still's PNG and in GIFs of four colours; a
        // JPEG and a clip's frames come within a few levels of them.
        QTest::addColumn<int>("tolerance");
        QTest::newRow("still") << QStringLiteral("still") << 0;
        QTest::newRow("animated") << QStringLiteral("animated") << 0;
        QTest::newRow("clip") << QStringLiteral("clip") << 8;
    }
    void outputs_hold_the_picture_and_captions_and_nothing_of_the_window()
    {
        QFETCH(QString, kind);
        QFETCH(int, tolerance);
        const QString desktop = home_.filePath(kind);
        QVERIFY(QDir().mkpath(desktop));
        auto form = ShowForm({[] { return QDateTime(QDate(2026, 12, 9), QTime(12, 0, 0)); },
                              [desktop] { return desktop; }});
        QVERIFY(form);
        auto* timer = new HandTimer;
        form->workArea->SetFrameTimer(std::unique_ptr<FrameTimer>(timer));
        if (kind == QLatin1String("still"))
            QVERIFY(ShowPictureBytes(*form, PackBmp24(ShownPicture(Stripes(false)))));
        else if (kind == QLatin1String("animated"))
            QVERIFY(ShowPictureBytes(*form, AnimatedStripes()));
        else
            QVERIFY(ShowFirstPicture(*form, {QStringLiteral(MUGROVE_TEST_DATA "/clips/stripes_640x360.mp4")}));
        // A clip opens fitted to the frame; zoomed back it is wider than it.
        form->workArea->SetWidth(kWidth);
        form->workArea->SetHeight(kHeight);
        timer->Fire();
        const bool reversed = kind == QLatin1String("animated") && FrameOnShow(*form->workArea) % 2 == 1;

        // The caption lies over the picture beyond the frame's right edge,
        // where the window's edit box, buttons and list lie over it too.
        TransLabel& caption = *form->captionOverlay;
        caption.SetCaption(QStringLiteral("MEME 表情包"));
        const QPoint box = Box(*form).pos();
        caption.SetLeft(box.x() + 420);
        caption.SetTop(box.y() + 100);
        const QRect captionArea = caption.geometry().translated(-box);
        const int edge = tolerance ? 3 : 0;

        QGuiApplication::clipboard()->clear();
        QTest::mouseClick(form->copyButton, Qt::LeftButton);
        QCOMPARE(form->copyButton->Caption(), QStringLiteral("复制成功!!"));
        CheckOnlyTheMeme(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), reversed,
                         captionArea, tolerance, edge, "copy");

        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QVERIFY(WaitForAnimatedSave(*form));
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存成功!!"));
        const QStringList saved = QDir(desktop).entryList(QDir::Files);
        QCOMPARE(saved.size(), 1);
        const QByteArray file = ReadAll(desktop + u'/' + saved.front());
        if (kind == QLatin1String("still")) {
            QVERIFY(saved.front().endsWith(QLatin1String(".jpg")));
            // A JPEG block reaches 8 pixels from the text.
            CheckOnlyTheMeme(DecodeStill(file), false, captionArea, 6, 8, "JPEG");
            return;
        }
        QVERIFY(saved.front().endsWith(QLatin1String(".gif")));
        const PlayedGif gif = PlayGif(file);
        QVERIFY(gif.ok);
        QVERIFY(!gif.frames.empty());
        for (std::size_t i = 0; i < gif.frames.size(); ++i)
            CheckOnlyTheMeme(gif.frames[i].convertToFormat(QImage::Format_RGB32), kind == QLatin1String("animated") && i % 2 == 1,
                             captionArea, tolerance ? tolerance + 6 : 0, edge, "GIF frame");
    }
};

QTEST_MAIN(MemeOnlyTest)
#include "test_meme_only.moc"
