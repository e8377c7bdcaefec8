// Emoji in the colour face whatever face a caption has: the stretches that
// take it, the layout that gives it them, and the caption's pixels.
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

Q_DECLARE_METATYPE(std::vector<TextRun>)

namespace {

int Saturated(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()}) > 80;
        }
    return count;
}

} // namespace

class EmojiTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        RegisterFontSubstitutions();
        QVERIFY2(QRawFont::fromFont(QFont(kColourEmojiFamily)).familyName() == kColourEmojiFamily,
                 "the colour emoji face is not installed");
    }

    void sequences_make_one_run_each_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::vector<TextRun>>("runs");
        const auto u = [](std::initializer_list<char32_t> points) {
            return QString::fromUcs4(std::data(points), qsizetype(points.size()));
        };
        QTest::newRow("ASCII and CJK") << u({'a', '1', '#', ' ', 0x7B11, 0x6B7B, 0xA9}) << std::vector<TextRun>{};
        QTest::newRow("touching emoji merge") << u({0x7B11, 0x1F602, 0x1F44D, 'x'}) << std::vector<TextRun>{{1, 4}};
        QTest::newRow("family") << u({0x1F468, 0x200D, 0x1F469, 0x200D, 0x1F467, 'a'}) << std::vector<TextRun>{{0, 8}};
        QTest::newRow("flag") << u({'a', 0x1F1E8, 0x1F1F3}) << std::vector<TextRun>{{1, 4}};
        QTest::newRow("tag flag") << u({0x1F3F4, 0xE0067, 0xE0062, 0xE0065, 0xE006E, 0xE0067, 0xE007F})
                                  << std::vector<TextRun>{{0, 14}};
        QTest::newRow("keycap") << u({'x', '1', 0xFE0F, 0x20E3, '2'}) << std::vector<TextRun>{{1, 3}};
        QTest::newRow("skin tone") << u({0x1F44D, 0x1F3FD, ' '}) << std::vector<TextRun>{{0, 4}};
        QTest::newRow("heart as picture") << u({0x2764, 0xFE0F, ' ', 0x2764}) << std::vector<TextRun>{{0, 2}, {3, 1}};
        QTest::newRow("heart as text") << u({0x2764, 0xFE0E, 0x1F602, 0xFE0E}) << std::vector<TextRun>{};
        QTest::newRow("text symbol asked for") << u({0xA9, 0xFE0F, 0xA9}) << std::vector<TextRun>{{0, 2}};
        QTest::newRow("joiner between letters") << u({'a', 0x200D, 0x4E00, 0x1F602, 0x200D, 'b'})
                                                << std::vector<TextRun>{{3, 2}};
        QTest::newRow("not in the face") << u({0x1FAFF, 0x2610}) << std::vector<TextRun>{};
    }
    void sequences_make_one_run_each()
    {
        QFETCH(QString, text);
        QFETCH(std::vector<TextRun>, runs);
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
        QTest::newRow("bottom right, spaces") << (single | Qt::AlignRight | Qt::AlignBottom)
                                              << QStringLiteral("  tail  \tend  ");
        QTest::newRow("wrapped, centred") << (wrap | Qt::AlignHCenter)
                                          << QStringLiteral("a long &caption that wraps\nover 好几行文字 lines");
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
            p.setPen(Qt::darkBlue);
            const QRectF r(7, 5, 160, 100);
            if (ours)
                DrawTextWithRuns(p, r, flags, text, [](QStringView) { return std::vector<TextRun>{}; }, {});
            else
                p.drawText(r, flags, text);
            return image;
        };
        const QImage theirs = draw(false);
        QCOMPARE(draw(true), theirs);
        QVERIFY(theirs != blank);
    }

    // A face with black emoji of its own still gives them in colour, on
    // the caption and in the box it is typed into.
    void emoji_are_coloured_in_a_face_with_black_ones_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("outline");
        QTest::addColumn<bool>("bold");
        for (const QString& text : {QStringLiteral("a😂"), QStringLiteral("❤")})
            for (bool outline : {false, true})
                QTest::addRow("%s%s", qPrintable(text), outline ? ", outlined, bold" : "")
                    << text << outline << outline;
    }
    void emoji_are_coloured_in_a_face_with_black_ones()
    {
        QFETCH(QString, text);
        QFETCH(bool, outline);
        QFETCH(bool, bold);
        LogFont font;
        font.faceName = QStringLiteral("DejaVu Sans");
        font.height = -40;
        font.weight = bold ? kWeightBold : 0;
        CaptionLook look;
        look.font = ToQFont(font);
        const QRawFont face = QRawFont::fromFont(look.font);
        QVERIFY(face.supportsCharacter(0x1F602) && face.supportsCharacter(0x2764));
        look.text = text;
        look.colour = Qt::black;
        look.outline = outline;
        look.size = QSize(160, 70);
        QImage image(look.size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        PaintCaption(painter, look, QPoint());
        painter.end();
        QVERIFY2(Saturated(image) > 150, qPrintable(QString::number(Saturated(image))));

        EditBox box(EditBox::Lines::Multi, nullptr);
        box.resize(160, 70);
        box.setFont(look.font);
        box.SetContent(text);
        QVERIFY(Saturated(box.grab().toImage()) > 150);
    }
};

QTEST_MAIN(EmojiTest)
#include "test_emoji.moc"
