// Emoji in colour whatever face a caption has: their runs, the layout, the pixels.
#include "app/model/EditBox.h"
#include "app/model/EmojiRuns.h"
#include "app/model/LogFont.h"
#include "controls/CaptionLook.h"
#include "controls/RunText.h"

#include <QApplication>
#include <QPainter>
#include <QRawFont>
#include <QTest>

using namespace mugrove;

using Runs = std::vector<TextRun>;
Q_DECLARE_METATYPE(Runs)

namespace {

int Saturated(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, y).hsvSaturation() > 100 && image.pixelColor(x, y).value() > 60;
    return count;
}

} // namespace

class EmojiTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { RegisterFontSubstitutions(); }

    void sequences_make_one_run_each_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Runs>("runs");
        const auto u = [](std::initializer_list<char32_t> points) {
            return QString::fromUcs4(std::data(points), qsizetype(points.size()));
        };
        QTest::newRow("plain, or not in the face") << u({'a', '1', '#', ' ', 0x7B11, 0xA9, 0x1FAFF, 0x2610}) << Runs{};
        QTest::newRow("touching emoji merge") << u({0x7B11, 0x1F602, 0x1F44D, 'x'}) << Runs{{1, 4}};
        QTest::newRow("family") << u({0x1F468, 0x200D, 0x1F469, 0x200D, 0x1F467, 'a'}) << Runs{{0, 8}};
        QTest::newRow("flag, skin tone") << u({'a', 0x1F1E8, 0x1F1F3, ' ', 0x1F44D, 0x1F3FD}) << Runs{{1, 4}, {6, 4}};
        QTest::newRow("tag flag") << u({0x1F3F4, 0xE0067, 0xE0062, 0xE0065, 0xE006E, 0xE0067, 0xE007F}) << Runs{{0, 14}};
        QTest::newRow("keycap") << u({'x', '1', 0xFE0F, 0x20E3, '2'}) << Runs{{1, 3}};
        QTest::newRow("asked for as picture") << u({0x2764, 0xFE0F, ' ', 0x2764, 0xA9, 0xFE0F}) << Runs{{0, 2}, {3, 3}};
        QTest::newRow("asked for as text") << u({0x2764, 0xFE0E, 0x1F602, 0xFE0E}) << Runs{};
        QTest::newRow("joiner after letters") << u({'a', 0x200D, 0x4E00, 0x1F602, 0x200D, 'b'}) << Runs{{3, 2}};
    }
    void sequences_make_one_run_each()
    {
        QFETCH(QString, text);
        QFETCH(Runs, runs);
        QCOMPARE(EmojiRuns(text), runs);
    }

    // Without emoji the laid-out text has drawText's very pixels, so text
    // with emoji sits where drawText would put it.
    void the_layout_draws_as_draw_text_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<QString>("text");
        const int single = Qt::TextSingleLine | Qt::TextShowMnemonic | Qt::TextDontClip;
        const int wrap = Qt::TextWordWrap | Qt::AlignTop | Qt::TextShowMnemonic | Qt::TextDontClip;
        QTest::newRow("centred") << (single | Qt::AlignCenter) << QStringLiteral("这里&A 描边&&x\n&");
        QTest::newRow("bottom right") << (single | Qt::AlignRight | Qt::AlignBottom) << QStringLiteral("  tail  \tend  ");
        QTest::newRow("wrapped, centred") << (wrap | Qt::AlignHCenter) << QStringLiteral("long &caption wraps\n好几行文字 lines");
        QTest::newRow("wrapped, right") << (wrap | Qt::AlignRight) << QStringLiteral("右 aligned words wrap here\r\n");
    }
    void the_layout_draws_as_draw_text()
    {
        QFETCH(int, flags);
        QFETCH(QString, text);
        QFont font = ToQFont(YaHeiBold16());
        font.setPixelSize(23);
        QImage blank(180, 120, QImage::Format_ARGB32_Premultiplied);
        blank.fill(Qt::white);
        const auto draw = [&](bool ours) {
            QImage image = blank;
            QPainter p(&image);
            p.setFont(font);
            const QRectF r(7, 5, 160, 100);
            ours ? DrawTextWithRuns(p, r, flags, text, [](QStringView) { return Runs{}; }, {}) : p.drawText(r, flags, text);
            return image;
        };
        QVERIFY(draw(false) != blank);
        QCOMPARE(draw(true), draw(false));
    }

    // A face with black emoji of its own still gives them in colour, on
    // the caption and in the box it is typed into.
    void emoji_are_coloured_in_a_face_with_black_ones_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("outlinedBold");
        for (const QString& text : {QStringLiteral("a😂"), QStringLiteral("❤")})
            for (bool outlinedBold : {false, true})
                QTest::addRow("%s%s", qPrintable(text), outlinedBold ? ", outlined, bold" : "") << text << outlinedBold;
    }
    void emoji_are_coloured_in_a_face_with_black_ones()
    {
        QFETCH(QString, text);
        QFETCH(bool, outlinedBold);
        const LogFont font{.height = -40, .weight = outlinedBold ? kWeightBold : 0, .faceName = QStringLiteral("DejaVu Sans")};
        const CaptionLook look{.text = text, .font = ToQFont(font), .colour = Qt::black, .outline = outlinedBold,
                               .size = QSize(160, 70)};
        const QRawFont face = QRawFont::fromFont(look.font);
        QVERIFY(face.supportsCharacter(0x1F602) && face.supportsCharacter(0x2764));
        QImage image(look.size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        PaintCaption(painter, look, QPoint());
        painter.end();
        QVERIFY(Saturated(image) > 150);

        EditBox box(EditBox::Lines::Multi, nullptr);
        box.resize(160, 70);
        box.setFont(look.font);
        box.SetContent(text);
        QVERIFY(Saturated(box.grab().toImage()) > 150);
    }
};

QTEST_MAIN(EmojiTest)
#include "test_emoji.moc"
