// The caption band through the real window: ticked from the work area's
// menu, its height against the text laid out here, the picture below it
// unchanged pixel for pixel, its caption chosen but never dragged, taken
// off again, and in a saved JPEG and every frame of a saved GIF.
#include "tests/output/BmpRead.h"
#include "tests/output/GifReadBack.h"
#include "tests/support/HandTimer.h"
#include "tests/support/ShownForm.h"

#include "app/model/Button.h"
#include "app/model/CheckBox.h"
#include "app/model/EditBox.h"
#include "app/model/Label.h"
#include "app/model/SliderBar.h"
#include "controls/decoders/DecodedPicture.h"
#include "sandbox/Decode.h"
#include "output/Clipboard.h"
#include "output/GifEncoder.h"
#include "output/Snapshot.h"
#include "templates/PhotoDrop.h"

#include <QApplication>
#include <QBuffer>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>

#include <cmath>

using namespace mugrove;
using namespace mugrove::testing;

namespace {

constexpr int kW = 300, kH = 200;
// A twentieth and a tenth of the picture's width.
constexpr int kMargin = 15, kPixels = 30;

// A picture with something different in every pixel row and column.
QImage Picture(int width, int height, int shift = 0)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 5 + shift) & 0xFF, (y * 3 + shift) & 0xFF, ((x + y) * 2) & 0xFF));
    return image;
}

QByteArray Png(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The height of `text`'s lines wrapped within `width`, laid out as a
// painter stacks them (each line on a whole pixel, a leading apart), and
// their count.
std::pair<int, int> LaidOut(const QString& text, const QFont& font, int width)
{
    QImage device(1, 1, QImage::Format_ARGB32_Premultiplied);
    device.setDotsPerMeterX(qRound(ScreenDpiY() / 0.0254));
    device.setDotsPerMeterY(qRound(ScreenDpiY() / 0.0254));
    QTextLayout layout(text, font, &device);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    const qreal leading = QFontMetricsF(font, &device).leading();
    qreal height = -leading;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        height = std::ceil(height + leading);
        height += line.height();
    }
    layout.endLayout();
    return {int(std::ceil(height)), layout.lineCount()};
}

bool Dark(QRgb c)
{
    return qRed(c) + qGreen(c) + qBlue(c) < 3 * 96;
}

// The rectangle of the dark pixels in `image` within `area`.
QRect DarkPixels(const QImage& image, const QRect& area)
{
    QRect found;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (Dark(image.pixel(x, y)))
                found |= QRect(x, y, 1, 1);
    return found;
}

// Pixels of `image` in `area` outside `except` further than `tolerance`
// from white.
int NotWhite(const QImage& image, const QRect& area, const QRect& except, int tolerance)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb c = image.pixel(x, y);
            n += !except.contains(x, y)
                && (255 - qRed(c) > tolerance || 255 - qGreen(c) > tolerance || 255 - qBlue(c) > tolerance);
        }
    return n;
}

double MeanError(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return 1e9;
    double total = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            total += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return total / (3.0 * a.width() * a.height());
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class BandTest : public QObject {
    Q_OBJECT

    QTemporaryDir desktop_;
    std::unique_ptr<Form> form;

    QWidget* Editor() { return form->captionBox->focusProxy(); }
    QImage Shot() { return DecodeToImage(TakeSnapshot(&Box(*form), 0, 0)).value_or(QImage()); }

    void Show(const QByteArray& file)
    {
        QVERIFY(ShowPictureBytes(*form, PictureBytes(file.begin(), file.end())));
    }
    // A caption of its own over the picture, so that its pixels show
    // whether it stays over the same part of it.
    void PlaceFirstCaption()
    {
        TransLabel& first = *form->captionOverlay;
        first.SetCaption(QStringLiteral("Over 上面"));
        first.SetTextColour(0x0000D0);
        first.setGeometry(QRect(form->workArea->pos() + QPoint(20, 120), QSize(200, 40)));
    }

    // The work area's menu entry, as a right-click at `at` opens the menu.
    QAction* Entry(const QString& text, QPoint at = QPoint(10, 10))
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // menus closed before
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, form->workArea->mapToGlobal(at));
        QApplication::sendEvent(form->workArea, &event);
        for (QMenu* menu : form->workArea->findChildren<QMenu*>(QStringLiteral("workAreaMenu")))
            if (menu->isVisible()) {
                menu->close();
                const QList<QAction*> actions = menu->actions();
                for (qsizetype i = 0; i < actions.size(); ++i)
                    if (actions[i]->text() == text)
                        return actions[i];
            }
        return nullptr;
    }
    QAction* BandEntry() { return Entry(QStringLiteral("白边文字(&B)")); }

    void Press(QPoint at, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseMove(form->window->windowHandle(), at);
        QTest::mousePress(form->window->windowHandle(), button, {}, at);
    }

    // Ticks the band and types `text` over its first words.
    TransLabel* Tick(const QString& text)
    {
        QAction* entry = BandEntry();
        if (!entry || !entry->isEnabled())
            return nullptr;
        entry->trigger();
        TransLabel* band = form->bandCaption;
        if (band == nullptr || form->captionBox->Content() != QStringLiteral("新的文字"))
            return nullptr;
        QTest::keyClicks(Editor(), text); // replaces the selected text
        return band;
    }

private slots:
    void init()
    {
        SaveEnvironment save;
        save.now = [] { return QDateTime(QDate(2026, 12, 8), QTime(5, 39, 33)); };
        save.desktopFolder = [this] { return desktop_.path(); };
        form = ShowForm(std::move(save));
        QVERIFY(form);
        form->window->Created.Raise();
        QApplication::setActiveWindow(form->window.get());
        for (const QString& name : QDir(desktop_.path()).entryList(QDir::Files))
            QFile::remove(desktop_.filePath(name));
    }
    void cleanup() { form.reset(); }

    void the_entry_follows_the_picture_and_the_band()
    {
        form->workArea->SetPicture({});
        QAction* entry = BandEntry();
        QVERIFY(entry);
        QVERIFY(entry->isCheckable());
        QVERIFY(!entry->isEnabled()); // greyed without a picture
        // Right after 添加文字.
        QMenu* menu = qobject_cast<QMenu*>(entry->parent());
        QVERIFY(menu);
        const QList<QAction*> all = menu->actions();
        const qsizetype at = all.indexOf(entry);
        QCOMPARE(all.at(at - 1)->text(), QStringLiteral("添加文字(&T)"));

        Show(Png(Picture(kW, kH)));
        QVERIFY(Tick(QStringLiteral("Hi")));
        entry = BandEntry();
        QVERIFY(entry->isEnabled() && entry->isChecked());
    }

    void the_band_fits_its_text_and_moves_the_picture_down_data()
    {
        QTest::addColumn<int>("lines");
        QTest::newRow("one line") << 1;
        QTest::newRow("two lines") << 2;
        QTest::newRow("three lines") << 3;
    }
    void the_band_fits_its_text_and_moves_the_picture_down()
    {
        QFETCH(int, lines);
        Show(Png(Picture(kW, kH)));
        PlaceFirstCaption();
        const QImage before = Shot();
        QCOMPARE(before.size(), QSize(kW, kH));
        const QRect firstBefore = form->captionOverlay->geometry();

        TransLabel* band = Tick(QStringLiteral("Top"));
        QVERIFY(band);
        // Words added until the text takes `lines` lines here.
        const QFont start = band->Look().font;
        QString text = QStringLiteral("Top");
        while (LaidOut(text, start, kW - 2 * kMargin).second < lines)
            text += QStringLiteral(" text");
        QTest::keyClicks(Editor(), text.mid(3));
        QCOMPARE(band->Caption(), text);
        QCOMPARE(form->currentCaption, band);
        QCOMPARE(band->TextColour(), 0u);
        const QFont font = band->Look().font;
        QCOMPARE(font.pixelSize(), kPixels);

        const auto [textHeight, count] = LaidOut(text, font, kW - 2 * kMargin);
        QCOMPARE(count, lines);
        const int rows = form->workArea->Band();
        QVERIFY2(std::abs(rows - (textHeight + 2 * kMargin)) <= 1,
                 qPrintable(QStringLiteral("band %1, text %2").arg(rows).arg(textHeight)));
        QCOMPARE(form->workArea->Height(), kH + rows);
        QCOMPARE(form->workArea->Width(), kW);
        QCOMPARE(form->heightLabel->Caption(), QStringLiteral("图片高度：%1").arg(kH + rows));
        QCOMPARE(form->widthLabel->Caption(), QStringLiteral("图片宽度：%1").arg(kW));
        QCOMPARE(form->captionOverlay->geometry(), firstBefore.translated(0, rows));

        // The picture and its caption below the band, pixel for pixel.
        const QImage after = Shot();
        QCOMPARE(after.size(), QSize(kW, kH + rows));
        QVERIFY(after.copy(0, rows, kW, kH) == before);

        // The band is white but for its text: black, centred, within the
        // margins, as many lines high as laid out.
        const QRect bandArea(0, 0, kW, rows);
        const QRect dark = DarkPixels(after, bandArea);
        QVERIFY(!dark.isEmpty());
        QVERIFY(dark.left() >= kMargin && dark.right() < kW - kMargin);
        QVERIFY(dark.top() >= kMargin - 1 && dark.bottom() <= rows - kMargin);
        QVERIFY2(std::abs((dark.left() + dark.right()) / 2 - kW / 2) <= 3, "centred");
        const int lineSpacing = QFontMetrics(font).lineSpacing();
        QVERIFY(dark.height() > (lines - 1) * lineSpacing);
        QVERIFY(dark.height() <= lines * lineSpacing);
        QCOMPARE(NotWhite(after, bandArea, dark.adjusted(-2, -2, 2, 2), 0), 0);
        bool black = false;
        for (int y = dark.top(); y <= dark.bottom() && !black; ++y)
            for (int x = dark.left(); x <= dark.right() && !black; ++x)
                black = after.pixel(x, y) == qRgb(0, 0, 0);
        QVERIFY(black);
    }

    // Typing more grows the band, taking it back shrinks it; emoji lie in
    // it as in any caption.
    void the_band_follows_typing_and_shows_emoji()
    {
        Show(Png(Picture(kW, kH)));
        TransLabel* band = Tick(QStringLiteral("Short"));
        QVERIFY(band);
        const int one = form->workArea->Band();
        QTest::keyClicks(Editor(), QStringLiteral(" and then a much longer line of text"));
        const int more = form->workArea->Band();
        QVERIFY(more > one);
        QCOMPARE(form->workArea->Height(), kH + more);
        for (int i = 0; i < 36; ++i)
            QTest::keyClick(Editor(), Qt::Key_Backspace);
        QCOMPARE(band->Caption(), QStringLiteral("Short"));
        QCOMPARE(form->workArea->Band(), one);
        QCOMPARE(form->workArea->Height(), kH + one);

        band->SetCaption(QStringLiteral("😂👍😂"));
        const QImage shot = Shot();
        int colour = 0;
        for (int y = 0; y < form->workArea->Band(); ++y)
            for (int x = 0; x < kW; ++x) {
                const QColor c = shot.pixelColor(x, y);
                colour += c.hsvSaturation() > 120 && c.value() > 60;
            }
        QVERIFY(colour > 50);
    }

    // Pressed, the band's caption becomes current and stays where it is;
    // the font controls act on it, the width and height sliders do not; a
    // zoom lays it out over the new width.
    void the_band_caption_is_chosen_not_dragged()
    {
        Show(Png(Picture(kW, kH)));
        PlaceFirstCaption();
        TransLabel* band = Tick(QStringLiteral("Hold"));
        QVERIFY(band);
        const QRect where = band->geometry();
        Press(form->captionOverlay->geometry().center());
        QTest::mouseRelease(form->window->windowHandle(), Qt::LeftButton, {}, form->captionOverlay->geometry().center());
        QCOMPARE(form->currentCaption, form->captionOverlay);

        const QPoint grab = where.center();
        Press(grab);
        for (int i = 1; i <= 3; ++i)
            QTest::mouseMove(form->window->windowHandle(), grab + QPoint(20 * i, 15 * i));
        QTest::mouseRelease(form->window->windowHandle(), Qt::LeftButton, {}, grab + QPoint(60, 45));
        QCOMPARE(form->currentCaption, band);
        QCOMPARE(band->geometry(), where);
        QCOMPARE(form->captionBox->Content(), QStringLiteral("Hold"));

        QTest::keyClick(form->widthSlider, Qt::Key_Right);
        QTest::keyClick(form->heightSlider, Qt::Key_Right);
        QCOMPARE(band->geometry(), where);

        const int rows = form->workArea->Band();
        const int size = band->Font().Size;
        QTest::keyClick(form->fontSizeSlider, Qt::Key_PageUp);
        QVERIFY(band->Font().Size > size);
        QVERIFY(form->workArea->Band() > rows);
        QCOMPARE(form->workArea->Height(), kH + form->workArea->Band());
        QTest::mouseClick(form->boldBox, Qt::LeftButton);
        QCOMPARE(band->Font().Bold != 0, form->boldBox->Checked() == 1);

        QTest::mouseClick(form->zoomInButton, Qt::LeftButton);
        const int wide = int(kW * 1.1), high = int(kH * 1.1);
        QCOMPARE(form->workArea->Width(), wide);
        QCOMPARE(form->workArea->Height(), high + form->workArea->Band());
        QCOMPARE(band->Left(), form->workArea->Left() + int(std::lround(wide / 20.0)));
        QCOMPARE(band->Width(), wide - 2 * int(std::lround(wide / 20.0)));
    }

    void taking_the_band_off_puts_everything_back_data()
    {
        QTest::addColumn<bool>("untick");
        QTest::newRow("untick") << true;
        QTest::newRow("删除文字") << false;
    }
    void taking_the_band_off_puts_everything_back()
    {
        QFETCH(bool, untick);
        Show(Png(Picture(kW, kH)));
        PlaceFirstCaption();
        const QImage before = Shot();
        const QRect first = form->captionOverlay->geometry();
        TransLabel* band = Tick(QStringLiteral("Gone soon"));
        QVERIFY(band);
        if (untick) {
            QAction* entry = BandEntry();
            QVERIFY(entry && entry->isChecked());
            entry->trigger();
        } else {
            Press(band->geometry().center(), Qt::RightButton);
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu);
            QAction* remove = nullptr;
            for (QAction* action : menu->actions())
                if (action->text() == QStringLiteral("删除文字(&D)"))
                    remove = action;
            QVERIFY(remove);
            menu->close();
            remove->trigger();
            QCoreApplication::sendPostedEvents(); // a removal is queued
        }
        QCOMPARE(form->bandCaption, nullptr);
        QCOMPARE(form->currentCaption, form->captionOverlay);
        QCOMPARE(form->workArea->Band(), 0);
        QCOMPARE(form->workArea->Height(), kH);
        QCOMPARE(form->heightLabel->Caption(), QStringLiteral("图片高度：%1").arg(kH));
        QCOMPARE(form->captionOverlay->geometry(), first);
        QVERIFY(Shot() == before);
        QVERIFY(!BandEntry()->isChecked());
    }

    void a_saved_jpeg_holds_the_band()
    {
        Show(Png(Picture(kW, kH)));
        const QImage before = Shot();
        QVERIFY(Tick(QStringLiteral("Saved with its band")));
        const int rows = form->workArea->Band();
        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存成功!!"));
        const QByteArray file = ReadAll(desktop_.filePath(QStringLiteral("2026年12月8日5时39分33秒.jpg")));
        QVERIFY(!file.isEmpty());
        const auto bytes = std::make_shared<const PictureBytes>(file.begin(), file.end());
        const std::unique_ptr<DecodedPicture> decoded = DecodeOrNull(bytes);
        QVERIFY(decoded && decoded->kind == ImageKind::Jpeg);
        const QImage saved = PictureView(decoded->image, QImage::Format_RGB32).copy();
        QCOMPARE(saved.size(), QSize(kW, kH + rows));
        QVERIFY(MeanError(saved.copy(0, rows, kW, kH), before) < 3);
        const QRect dark = DarkPixels(saved, QRect(0, 0, kW, rows));
        QVERIFY(dark.width() > kW / 2);
        // The text's edges ring a little in the JPEG, and so do the blocks
        // of 8 rows that take in the picture's first rows.
        QCOMPARE(NotWhite(saved, QRect(0, 0, kW, rows / 8 * 8), dark.adjusted(-4, -4, 4, 4), 12), 0);
    }

    // Every frame of a saved GIF has the band, white and black exactly,
    // above the frame as it saves without the band.
    void every_frame_of_a_saved_gif_holds_the_band()
    {
        constexpr int kFrames = 4;
        QByteArray source;
        {
            GifEncoder encoder;
            const ByteSink sink = [&source](std::span<const std::uint8_t> bytes) {
                source.append(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
                return true;
            };
            QVERIFY(encoder.Begin(160, 100, 0, sink));
            for (int i = 0; i < kFrames; ++i) {
                QImage frame(160, 100, QImage::Format_RGB32);
                frame.fill(QColor(40, 90, 160));
                for (int y = 0; y < 40; ++y)
                    for (int x = 0; x < 40; ++x)
                        frame.setPixel(20 * i + x, 30 + y, qRgb(230, 120, 20));
                QVERIFY(encoder.AddFrame(frame, 100));
            }
            QVERIFY(encoder.Finish());
        }
        auto* timer = new HandTimer;
        form->workArea->SetFrameTimer(std::unique_ptr<FrameTimer>(timer));
        Show(source);
        QVERIFY(form->workArea->Animating());
        const auto save = [this] {
            for (const QString& name : QDir(desktop_.path()).entryList(QDir::Files))
                QFile::remove(desktop_.filePath(name));
            QTest::mouseClick(form->saveButton, Qt::LeftButton);
            if (!WaitForAnimatedSave(*form))
                return PlayedGif{};
            return PlayGif(ReadAll(desktop_.filePath(QStringLiteral("2026年12月8日5时39分33秒.gif"))));
        };
        const PlayedGif plain = save();
        QVERIFY(plain.ok);
        QCOMPARE(int(plain.frames.size()), kFrames);

        QVERIFY(Tick(QStringLiteral("Every frame")));
        const int rows = form->workArea->Band();
        const PlayedGif banded = save();
        QVERIFY(banded.ok);
        QCOMPARE(banded.width, 160);
        QCOMPARE(banded.height, 100 + rows);
        QCOMPARE(int(banded.frames.size()), kFrames);
        for (std::size_t i = 0; i < banded.frames.size(); ++i) {
            const QImage& frame = banded.frames[i];
            const QRect bandArea(0, 0, 160, rows);
            const QRect dark = DarkPixels(frame, bandArea);
            QVERIFY(!dark.isEmpty());
            // White and the text's black exactly.
            int black = 0;
            for (int y = 0; y < rows; ++y)
                for (int x = 0; x < 160; ++x)
                    black += frame.pixel(x, y) == qRgb(0, 0, 0);
            QVERIFY(black > 0);
            QCOMPARE(NotWhite(frame, bandArea, dark.adjusted(-2, -2, 2, 2), 0), 0);
            QVERIFY(MeanError(frame.copy(0, rows, 160, 100), plain.frames[i]) < 1);
        }
    }
};

QTEST_MAIN(BandTest)
#include "test_band.moc"
