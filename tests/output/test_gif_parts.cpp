// The GIF encoder's parts that stand alone: the lossy LZW coder, read back
// through giflib, and the viewer's canvas that finds what a frame changes.
#include "GifReadBack.h"

#include "output/gif/GifWriter.h"
#include "output/gif/LossyLzw.h"
#include "output/gif/Rgb.h"
#include "output/gif/ViewerCanvas.h"

#include <QTest>

#include <cmath>
#include <random>

using namespace mugrove;
using namespace mugrove::testing;

namespace {

struct Coded {
    QByteArray file;
    std::vector<std::uint8_t> symbols; // as the coder says it wrote them
    std::size_t codeBytes = 0;
};

// One w × h image of `symbols` coded by the lossy coder inside a GIF whose
// colour table is `palette` (the viewer's canvas beneath is black).
Coded Code(std::vector<std::uint8_t> symbols, int w, int h, const std::vector<std::uint32_t>& palette,
           int transparent, const std::vector<std::uint32_t>& wanted, const std::vector<std::uint8_t>& text,
           int tolerance)
{
    Coded coded;
    const std::vector<std::uint32_t> black(wanted.size(), 0);
    const QRect rect(0, 0, w, h);
    gif::GifWriter writer;
    const bool open = writer.Open(w, h, 1, [&](std::span<const std::uint8_t> b) {
        coded.file.append(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
        return true;
    }, {});
    const int codeSize = open ? writer.StartImage(rect, palette, transparent, 10, true) : 0;
    const gif::LossyImage image{rect,          symbols.data(), std::size_t(w), wanted.data(),
                                black.data(),  text.empty() ? nullptr : text.data(), palette, transparent};
    gif::LossyLzw coder;
    const std::vector<std::uint8_t> blocks = coder.Encode(image, codeSize, tolerance);
    coded.codeBytes = blocks.size();
    if (codeSize == 0 || !writer.PutCodeBlocks(blocks) || !writer.Close())
        coded.file.clear();
    coded.symbols = std::move(symbols);
    return coded;
}

double Distance(QRgb a, std::uint32_t b)
{
    return std::sqrt(double(gif::Distance2(qRed(a), qGreen(a), qBlue(a), b)));
}

} // namespace

class GifPartsTest : public QObject {
    Q_OBJECT

private slots:
    void lzw_codes_read_back_within_their_tolerance_data()
    {
        QTest::addColumn<int>("colours");
        QTest::addColumn<bool>("transparency");
        QTest::addColumn<int>("tolerance");
        QTest::addColumn<bool>("text");
        // Noise over many colours fills the string table again and again:
        // the code width grows to 12 bits and the table is cleared.
        QTest::newRow("exact, 256 colours") << 256 << false << 0 << false;
        QTest::newRow("exact, 2 colours") << 2 << false << 0 << false;
        QTest::newRow("exact, 5 colours and transparency") << 5 << true << 0 << true;
        QTest::newRow("lossy, grey ramp and transparency") << 16 << true << 20 << true;
        QTest::newRow("lossy, 256 colours") << 256 << false << 60 << true;
    }

    void lzw_codes_read_back_within_their_tolerance()
    {
        QFETCH(int, colours);
        QFETCH(bool, transparency);
        QFETCH(int, tolerance);
        QFETCH(bool, text);
        const int w = 300, h = 200;
        // Distinct colours 6 apart in every channel, from near black, so
        // neighbours (and the black beneath) lie within a tolerance of 20.
        std::vector<std::uint32_t> palette;
        for (int i = 0; i < colours; ++i)
            palette.push_back(colours <= 16 ? gif::Pack(6 + 6 * i, 6 + 6 * i, 6 + 6 * i)
                                            : gif::Pack(i, (i * 7) & 255, (i * 13) & 255));
        const int transparent = transparency ? colours : -1;
        const auto colourOf = [&](int index) { return index == transparent ? 0u : palette[std::size_t(index)]; };
        std::mt19937 random(11);
        std::vector<std::uint8_t> symbols(std::size_t(w) * h), mask;
        std::vector<std::uint32_t> wanted(symbols.size());
        const int symbolCount = colours + (transparency ? 1 : 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::size_t p = std::size_t(y) * w + std::size_t(x);
                symbols[p] = std::uint8_t((x / 7 + y / 5 + int(random() % 3)) % symbolCount);
                wanted[p] = colourOf(symbols[p]);
            }
        if (text) {
            mask.assign(symbols.size(), 0);
            std::fill(mask.begin() + 40 * w, mask.begin() + 70 * w, std::uint8_t(1));
        }

        const Coded coded = Code(symbols, w, h, palette, transparent, wanted, mask, tolerance);
        const PlayedGif played = PlayGif(coded.file);
        QVERIFY(played.ok);
        QCOMPARE(int(played.frames.size()), 1);
        const QImage& shown = played.frames[0];
        int worst = 0;
        QString wrong; // the first pixel shown otherwise than the coder says, or not kept exact
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::size_t p = std::size_t(y) * w + std::size_t(x);
                const QRgb got = shown.pixel(x, y);
                const bool kept = coded.symbols[p] == symbols[p];
                if (wrong.isEmpty()
                    && (Distance(got, colourOf(coded.symbols[p])) != 0 || (!kept && (tolerance == 0 || (text && mask[p])))))
                    wrong = QStringLiteral("%1,%2").arg(x).arg(y);
                worst = std::max(worst, int(std::ceil(Distance(got, wanted[p]))));
            }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        QVERIFY(worst <= tolerance);
        if (tolerance > 0) {
            // The tolerance is used: the codes are shorter than exact ones.
            const Coded exact = Code(symbols, w, h, palette, transparent, wanted, mask, 0);
            QVERIFY2(coded.codeBytes < exact.codeBytes * 9 / 10,
                     qPrintable(QStringLiteral("%1 vs %2").arg(coded.codeBytes).arg(exact.codeBytes)));
        }
    }

    void canvas_finds_what_a_frame_changes()
    {
        const int w = 40, h = 30, tolerance = 4;
        gif::ViewerCanvas canvas;
        canvas.Reset(w, h);
        QImage frame(w, h, QImage::Format_RGB32);
        frame.fill(qRgb(100, 100, 100));
        std::vector<std::uint8_t> text(std::size_t(w) * h, 0);
        text[std::size_t(20) * w + 20] = 1;

        // Everything of the first frame is new.
        QCOMPARE(canvas.Compare(frame, text.data(), tolerance), QRect(0, 0, w, h));
        QVERIFY(!canvas.HasHoles(QRect(0, 0, w, h)));
        std::vector<std::uint8_t> grey(std::size_t(w) * h, 0);
        const std::vector<std::uint32_t> palette = {gif::Pack(100, 100, 100), gif::Pack(200, 0, 0)};
        canvas.Show(QRect(0, 0, w, h), grey.data(), palette, -1);
        QCOMPARE(canvas.Image().pixel(5, 5), qRgb(100, 100, 100));

        // The same frame again changes nothing.
        QVERIFY(canvas.Compare(frame, text.data(), tolerance).isEmpty());

        // Within the tolerance nothing changes, except on text; beyond it the
        // rectangle spans the changes and has holes between them.
        frame.setPixel(3, 4, qRgb(104, 96, 100));
        frame.setPixel(20, 20, qRgb(101, 100, 100));
        QCOMPARE(canvas.Compare(frame, text.data(), tolerance), QRect(20, 20, 1, 1));
        QCOMPARE(canvas.Compare(frame, nullptr, tolerance), QRect()); // as the last frame: no change

        frame.setPixel(3, 4, qRgb(105, 100, 100));
        frame.setPixel(30, 9, qRgb(200, 0, 0));
        const QRect changed = canvas.Compare(frame, nullptr, tolerance);
        QCOMPARE(changed, QRect(3, 4, 28, 6));
        QVERIFY(canvas.HasHoles(changed));

        // The viewer shows the image's colours, and what was there under its
        // transparent pixels.
        std::vector<std::uint8_t> indices(std::size_t(changed.width()) * changed.height(), 2);
        indices.back() = 1;
        canvas.Show(changed, indices.data(), palette, 2);
        QCOMPARE(canvas.Image().pixel(30, 9), qRgb(200, 0, 0));
        QCOMPARE(canvas.Image().pixel(3, 4), qRgb(100, 100, 100));
    }
};

QTEST_MAIN(GifPartsTest)
#include "test_gif_parts.moc"
