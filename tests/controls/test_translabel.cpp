// The transparent label: its stored font record, setting writes, painting
// over what lies beneath, repainting and mouse input.
#include "tests/support/PaintCounter.h"
#include "app/model/LogFont.h"
#include "app/model/MulDiv.h"
#include "controls/Outline.h"
#include "controls/TransLabel.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QMenu>
#include <QSet>
#include <QTest>

#include <limits>

using namespace mugrove;

namespace {

// Stands for the picture beneath the caption: a checkerboard of two greys,
// or one flat grey.
class Backdrop : public QWidget {
public:
    explicit Backdrop(bool flat) : flat_(flat) { resize(300, 200); }

    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override
    {
        ++paints;
        QPainter p(this);
        for (int y = 0; y < height(); y += 8)
            for (int x = 0; x < width(); x += 8)
                p.fillRect(x, y, 8, 8, flat_ || ((x + y) / 8) % 2 ? QColor(128, 128, 128)
                                                                   : QColor(96, 112, 160));
    }

private:
    bool flat_;
};

LogFont Stored(const TransLabel& label)
{
    return label.StoredFont().value();
}

QImage Shot(QWidget& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The bounding box of the pixels where two shots differ.
QRect DiffBox(const QImage& a, const QImage& b)
{
    QRect box;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                box |= QRect(x, y, 1, 1);
    return box;
}

QRect ColourBox(const QImage& image, QRgb colour)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFFu) == (colour & 0xFFFFFFu))
                box |= QRect(x, y, 1, 1);
    return box;
}

LogFont BigBold(int pixels = 24)
{
    LogFont f = YaHeiBold16();
    f.height = -pixels;
    return f;
}

} // namespace

class TransLabelTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        RegisterFontSubstitutions();
        // Aliased glyphs have exact colours, which the effect checks compare.
        QFont font = QApplication::font();
        font.setStyleStrategy(QFont::NoAntialias);
        QApplication::setFont(font);
    }

    // ---- the stored font record ----

    void the_screen_has_96_dots_per_inch() { QCOMPARE(ScreenDpiY(), 96); }

    void muldiv_rounds_half_away_from_zero()
    {
        QCOMPARE(MulDiv(12, 96, 72), 16);
        QCOMPARE(MulDiv(9, 96, 72), 12);
        QCOMPARE(MulDiv(20, 96, 72), 27);  // 26.67
        QCOMPARE(MulDiv(7, 1, 2), 4);
        QCOMPARE(MulDiv(-7, 1, 2), -4);
        QCOMPARE(MulDiv(7, 1, -2), -4);
        QCOMPARE(MulDiv(4, 1, 3), 1);
        QCOMPARE(MulDiv(1, 2, 0), -1);
        QCOMPARE(MulDiv(2147483647, 96, 72), -1); // the quotient overflows
        QCOMPARE(MulDiv(2147483647, 2147483647, 2147483647), 2147483647);
    }

    void whole_record_converts_into_a_description()
    {
        OverlayFont record;
        record.Size = 12;
        record.Bold = 5;
        record.Italic = -1;
        record.Angle = 450;
        record.FaceName = QStringLiteral("微软雅黑");
        LogFont f = ToLogFont(record, 96);
        QCOMPARE(f.height, -16);
        QCOMPARE(f.weight, 700);
        QCOMPARE(f.italic, 1);
        QCOMPARE(f.underline, 0);
        QCOMPARE(f.strikeOut, 0);
        QCOMPARE(f.escapement, 450);
        QCOMPARE(f.orientation, 450);
        QCOMPARE(f.faceName, QStringLiteral("微软雅黑"));
        QCOMPARE(f.charSet, 0);
        QCOMPARE(f.quality, 0);
        QCOMPARE(f.pitchAndFamily, 0);

        record.Bold = 0;
        record.Size = 9;
        QCOMPARE(ToLogFont(record, 96).weight, 0); // not 400
        QCOMPARE(ToLogFont(record, 96).height, -12);
        QCOMPARE(ToLogFont(record, 120).height, -15);
        record.Size = 0;
        QCOMPARE(ToLogFont(record, 96).height, 0);
        record.Size = -30;
        QCOMPARE(ToLogFont(record, 96).height, 0);
    }

    void faces_that_do_not_fit_become_song()
    {
        const QString song = QStringLiteral("宋体");
        OverlayFont record;
        record.FaceName = std::nullopt;
        QCOMPARE(ToLogFont(record, 96).faceName, song);
        record.FaceName = QString();
        QCOMPARE(ToLogFont(record, 96).faceName, song);
        // The limit counts code page 936 bytes: 31 fit, 32 do not.
        record.FaceName = QString(31, QLatin1Char('x'));
        QCOMPARE(ToLogFont(record, 96).faceName, QString(31, QLatin1Char('x')));
        record.FaceName = QString(32, QLatin1Char('x'));
        QCOMPARE(ToLogFont(record, 96).faceName, song);
        record.FaceName = QString(15, QChar(0x9ED1)); // 30 bytes
        QCOMPARE(ToLogFont(record, 96).faceName, QString(15, QChar(0x9ED1)));
        record.FaceName = QString(16, QChar(0x9ED1)); // 32 bytes
        QCOMPARE(ToLogFont(record, 96).faceName, song);
    }

    void description_has_the_60_byte_little_endian_layout()
    {
        const LogFontBytes b = ToBytes(YaHeiBold16());
        const std::uint8_t head[] = {0xF0, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                     0xBC, 0x02, 0, 0, 0, 0, 0, 134, 3, 2, 1, 0x22};
        for (std::size_t i = 0; i < sizeof head; ++i)
            QCOMPARE(b[i], head[i]);
        // "微软雅黑" in code page 936, then the terminator.
        const std::uint8_t face[] = {0xCE, 0xA2, 0xC8, 0xED, 0xD1, 0xC5, 0xBA, 0xDA, 0};
        for (std::size_t i = 0; i < sizeof face; ++i)
            QCOMPARE(b[28 + i], face[i]);
        QCOMPARE(FromBytes(b), YaHeiBold16());
    }

    void a_long_face_is_cut_whole_characters_and_terminated()
    {
        LogFont f;
        f.faceName = QString(20, QChar(0x9ED1)); // 40 bytes
        const LogFontBytes b = ToBytes(f);
        QCOMPARE(b[28 + 30], 0); // 15 characters, never half of one
        QCOMPARE(FromBytes(b).faceName, QString(15, QChar(0x9ED1)));
    }

    void reading_the_font_back()
    {
        QWidget parent;
        TransLabel label(&parent);
        label.SetLogFont(YaHeiBold16());
        const OverlayFont f = label.Font();
        QCOMPARE(f.Angle, 0);
        QCOMPARE(f.Bold, 1);
        QCOMPARE(f.Italic, 0);
        QCOMPARE(f.Size, 12);
        QCOMPARE(f.FaceName, std::optional<QString>(QStringLiteral("微软雅黑")));

        LogFont noFace = YaHeiBold16();
        noFace.faceName.clear();
        noFace.weight = 699;
        noFace.height = 20; // a cell height reads back by its size too
        label.SetLogFont(noFace);
        QCOMPARE(label.Font().FaceName, std::optional<QString>());
        QCOMPARE(label.Font().Bold, 0);
        QCOMPARE(label.Font().Size, 15);

        // Without a description the label answers with the default GUI font's.
        const QFont app = QApplication::font();
        QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 11));
        label.SetLogFont(std::nullopt);
        const OverlayFont gui = label.Font();
        QApplication::setFont(app);
        // 11 points are 15 pixels at 96 dots per inch, which read back as 11.
        QCOMPARE(gui, (OverlayFont{0, 0, 0, 0, 0, 11, QStringLiteral("DejaVu Sans")}));
    }

    void field_writes_change_only_their_bytes()
    {
        QWidget parent;
        TransLabel label(&parent);
        label.SetLogFont(YaHeiBold16());

        const auto changedBytes = [&](const LogFontBytes& before) {
            const LogFontBytes now = ToBytes(Stored(label));
            QList<int> changed;
            for (std::size_t i = 0; i < kLogFontSize; ++i)
                if (now[i] != before[i])
                    changed << int(i);
            return changed;
        };

        LogFontBytes before = ToBytes(Stored(label));
        label.SetFontBold(0);
        QCOMPARE(Stored(label).weight, 0);
        QCOMPARE(changedBytes(before), (QList<int>{16, 17}));

        before = ToBytes(Stored(label));
        label.SetFontSize(95);
        QCOMPARE(Stored(label).height, -127);
        label.SetFontSize(-4);
        QCOMPARE(Stored(label).height, 0);
        QCOMPARE(changedBytes(before), (QList<int>{0, 1, 2, 3}));
        QCOMPARE(Stored(label).charSet, kCharSetGb2312);
        QCOMPARE(Stored(label).quality, 1);
    }

    void a_field_write_without_a_description_starts_from_the_gui_font()
    {
        QWidget parent;
        TransLabel label(&parent);
        QVERIFY(!label.StoredFont());
        const QFont app = QApplication::font();
        QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 11));
        label.SetFontBold(true);
        QApplication::setFont(app);
        LogFont expected;
        expected.height = -15; // 11 points at 96 dots per inch
        expected.weight = 700;
        expected.charSet = 1; // the default character set
        expected.faceName = QStringLiteral("DejaVu Sans");
        QCOMPARE(Stored(label), expected);
    }

    // ---- settings ----

    void settings_start_values_and_clamps()
    {
        QWidget parent;
        TransLabel label(&parent);
        QCOMPARE(label.Caption(), QStringLiteral("透明标签"));
        QCOMPARE(label.TextEffect(), 0);
        QCOMPARE(label.TextColour(), 0u);
        QCOMPARE(label.HorizontalAlignment(), 0);
        QCOMPARE(label.VerticalAlignment(), 1);
        QVERIFY(!label.WordWrap());
        QVERIFY(!label.StoredFont());
        QVERIFY(!label.Outline());

        label.SetTextEffect(9);
        QCOMPARE(label.TextEffect(), 3);
        label.SetTextEffect(-1);
        QCOMPARE(label.TextEffect(), 0);
        label.SetHorizontalAlignment(3);
        QCOMPARE(label.HorizontalAlignment(), 2);
        label.SetVerticalAlignment(-8);
        QCOMPARE(label.VerticalAlignment(), 0);
        label.SetCaption(QStringLiteral("字"));
        QCOMPARE(label.windowTitle(), QStringLiteral("字"));
    }

    // ---- painting over what lies beneath ----

    void glyphs_only_inside_the_label_and_nothing_filled()
    {
        Backdrop backdrop(false);
        TransLabel label(&backdrop);
        label.setGeometry(40, 50, 120, 40);
        label.SetLogFont(BigBold());
        label.SetCaption(QStringLiteral("这里显示文字,可拖动,这里显示文字"));
        label.SetTextColour(0x000000FFu);
        label.hide();
        const QImage beneath = Shot(backdrop);
        label.show();
        const QImage shown = Shot(backdrop);

        const QRect changed = DiffBox(beneath, shown);
        QVERIFY(!changed.isEmpty());
        QVERIFY2(label.geometry().contains(changed), "glyph pixels outside the label");
        // Between the glyphs the checkerboard stays: far from all pixels changed.
        int same = 0;
        for (int y = 50; y < 90; ++y)
            for (int x = 40; x < 160; ++x)
                same += beneath.pixel(x, y) == shown.pixel(x, y);
        QVERIFY(same > 120 * 40 / 4);
    }

    void empty_caption_draws_nothing()
    {
        Backdrop backdrop(false);
        TransLabel label(&backdrop);
        label.setGeometry(40, 50, 120, 40);
        label.SetCaption(QString());
        const QImage empty = Shot(backdrop);
        label.hide();
        QCOMPARE(empty, Shot(backdrop));
    }

    void wrapped_text_starts_at_the_top_and_is_cut_at_the_bottom()
    {
        Backdrop backdrop(true);
        TransLabel label(&backdrop);
        label.setGeometry(40, 50, 100, 30);
        label.SetLogFont(YaHeiBold16());
        label.SetWordWrap(true);
        label.SetCaption(QStringLiteral("这里显示文字这里显示文字这里显示文字这里显示文字"));
        label.hide();
        const QImage beneath = Shot(backdrop);
        label.show();

        label.SetVerticalAlignment(1);
        const QImage centred = Shot(backdrop);
        const QRect changed = DiffBox(beneath, centred);
        QVERIFY(changed.top() <= 50 + 6);
        QCOMPARE(changed.bottom(), 50 + 30 - 1); // the second line is cut
        QVERIFY(label.geometry().contains(changed));
        for (int alignment : {0, 2}) {
            label.SetVerticalAlignment(alignment);
            QCOMPARE(Shot(backdrop), centred);
        }
    }

    void single_line_ignores_line_breaks()
    {
        Backdrop backdrop(true);
        TransLabel label(&backdrop);
        label.setGeometry(10, 40, 280, 100);
        label.SetLogFont(YaHeiBold16());
        label.SetHorizontalAlignment(0);
        label.SetWordWrap(false);
        label.hide();
        const QImage beneath = Shot(backdrop);
        label.show();

        label.SetCaption(QStringLiteral("AB"));
        const QRect ab = DiffBox(beneath, Shot(backdrop));
        label.SetCaption(QStringLiteral("AB\nCD\r\nEF"));
        const QRect all = DiffBox(beneath, Shot(backdrop));
        const int lineHeight = QFontMetrics(ToQFont(YaHeiBold16())).height();
        QVERIFY(all.height() <= lineHeight);
        QVERIFY(all.width() > 2 * ab.width()); // CD and EF on the same line
        // Centred vertically as one line.
        QVERIFY(qAbs(all.center().y() - label.geometry().center().y()) <= lineHeight / 2);
    }

    void ampersand_underlines_and_doubled_draws_one()
    {
        Backdrop backdrop(true);
        TransLabel label(&backdrop);
        label.setGeometry(10, 40, 280, 60);
        label.SetLogFont(BigBold());
        label.SetHorizontalAlignment(0);
        label.hide();
        const QImage beneath = Shot(backdrop);
        label.show();

        label.SetCaption(QStringLiteral("AB"));
        const QImage ab = Shot(backdrop);
        const QRect abBox = DiffBox(beneath, ab);
        label.SetCaption(QStringLiteral("A"));
        const QRect aBox = DiffBox(beneath, Shot(backdrop));

        label.SetCaption(QStringLiteral("A&B"));
        const QImage marked = Shot(backdrop);
        // The ampersand is not drawn: only an underline beneath the B is added.
        const QRect underline = DiffBox(ab, marked);
        QVERIFY(!underline.isEmpty());
        QVERIFY(underline.left() >= aBox.right() - 1);
        QVERIFY(underline.top() > abBox.center().y());
        QCOMPARE(DiffBox(beneath, marked).left(), abBox.left());

        label.SetCaption(QStringLiteral("A&&B"));
        const QImage doubled = Shot(backdrop);
        const QRect doubledBox = DiffBox(beneath, doubled);
        QVERIFY(doubledBox.width() > abBox.width() + 5); // one ampersand between
        QVERIFY(doubledBox.bottom() <= abBox.bottom() + 1); // and no underline
    }

    void effects_draw_their_extra_pass_offset()
    {
        Backdrop backdrop(true);
        TransLabel label(&backdrop);
        label.setGeometry(20, 20, 200, 60);
        label.SetLogFont(BigBold());
        label.SetCaption(QStringLiteral("AB"));
        label.SetTextColour(0x000000FFu); // red
        label.show();
        const QRgb red = qRgb(255, 0, 0), white = qRgb(255, 255, 255), black = qRgb(0, 0, 0);

        label.SetTextEffect(0);
        const QImage none = Shot(backdrop);
        const QRect text = ColourBox(none, red);
        QVERIFY(!text.isEmpty());
        QVERIFY(ColourBox(none, white).isEmpty());
        QVERIFY(ColourBox(none, black).isEmpty());

        label.SetTextEffect(1); // white one pixel down and right, text in place
        QImage shot = Shot(backdrop);
        QCOMPARE(ColourBox(shot, red), text);
        QCOMPARE(ColourBox(shot, white).bottomRight(), text.bottomRight() + QPoint(1, 1));

        label.SetTextEffect(2); // white in place, text one pixel down and right
        shot = Shot(backdrop);
        QCOMPARE(ColourBox(shot, red), text.translated(1, 1));
        QCOMPARE(ColourBox(shot, white).topLeft(), text.topLeft());

        label.SetTextEffect(3); // black two pixels down and right, text in place
        shot = Shot(backdrop);
        QCOMPARE(ColourBox(shot, red), text);
        QCOMPARE(ColourBox(shot, black).bottomRight(), text.bottomRight() + QPoint(2, 2));
        QVERIFY(ColourBox(shot, white).isEmpty());
    }

    void shifted_passes_are_not_cut_at_the_left_and_top_edges()
    {
        // Right- and bottom-aligned text is laid out from the label's lower
        // right corner, so a larger label with the same corner shows the
        // whole of what a smaller one cuts: that is where every pass's
        // pixels belong.
        Backdrop backdrop(true);
        TransLabel whole(&backdrop), cut(&backdrop);
        whole.setGeometry(10, 10, 200, 100);
        cut.setGeometry(150, 98, 60, 12); // the text is wider and taller than this
        for (TransLabel* label : {&whole, &cut}) {
            label->SetLogFont(BigBold());
            label->SetWordWrap(false);
            label->SetHorizontalAlignment(2);
            label->SetVerticalAlignment(2);
            label->SetCaption(QStringLiteral("ABCDEFG"));
            label->SetTextColour(0x000000FFu);
        }
        const QRgb red = qRgb(255, 0, 0), white = qRgb(255, 255, 255), black = qRgb(0, 0, 0);
        cut.hide();
        const QImage full = Shot(backdrop);
        whole.hide();
        cut.show();

        // The pixels of a colour moved by an offset, those inside the small label.
        const QRect inside = cut.geometry();
        const auto pixelsOf = [&](const QImage& image, QRgb colour, QPoint offset) {
            QSet<QPoint> pixels;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (image.pixel(x, y) == colour && inside.contains(QPoint(x, y) + offset))
                        pixels.insert(QPoint(x, y) + offset);
            return pixels;
        };
        // What a pass clipped to its own shifted rectangle would lose: some
        // pixels within `reach` columns of the left and rows of the top.
        const auto nearLeftAndTop = [&](const QSet<QPoint>& pixels, int reach) {
            const auto any = [&](auto near) { return std::any_of(pixels.begin(), pixels.end(), near); };
            return any([&](QPoint p) { return p.x() < inside.left() + reach; })
                   && any([&](QPoint p) { return p.y() < inside.top() + reach; });
        };
        QVERIFY(nearLeftAndTop(pixelsOf(full, red, {0, 0}), 1));
        const struct {
            int effect;
            QPoint extra, text;
            QRgb extraColour;
        } cases[] = {{1, {1, 1}, {0, 0}, white}, {2, {0, 0}, {1, 1}, white}, {3, {2, 2}, {0, 0}, black}};
        for (const auto& c : cases) {
            cut.SetTextEffect(c.effect);
            const QSet<QPoint> text = pixelsOf(full, red, c.text);
            const QSet<QPoint> extra = pixelsOf(full, red, c.extra) - text; // the text lies on top
            const bool textShifted = c.text != QPoint(0, 0);
            QVERIFY(nearLeftAndTop(textShifted ? text : extra, textShifted ? c.text.x() : c.extra.x()));
            const QImage shot = Shot(backdrop);
            QCOMPARE(pixelsOf(shot, red, {0, 0}), text);
            QCOMPARE(pixelsOf(shot, c.extraColour, {0, 0}), extra);
        }
    }

    void outline_rings_the_glyphs_in_the_contrasting_colour()
    {
        QCOMPARE(OutlineWidth(16), 1);
        QCOMPARE(OutlineWidth(17), 1);
        QCOMPARE(OutlineWidth(18), 2); // 1.5 rounds up
        QCOMPARE(OutlineWidth(48), 4);
        QCOMPARE(OutlineWidth(127), 11); // 95 points at 96 dots per inch
        QCOMPARE(OutlineWidth(5), 1);
        QCOMPARE(OutlineWidth(0), 1);
        const QColor black(0, 0, 0), white(255, 255, 255);
        QCOMPARE(OutlineColour(white), black);
        QCOMPARE(OutlineColour(QColor(255, 255, 0)), black); // yellow: 0.886
        QCOMPARE(OutlineColour(QColor(128, 128, 128)), black); // just above one half
        QCOMPARE(OutlineColour(QColor(127, 127, 127)), white); // just below
        QCOMPARE(OutlineColour(QColor(255, 0, 0)), white); // red: 0.299
        QCOMPARE(OutlineColour(QColor(0, 255, 0)), black); // green: 0.587
        QCOMPARE(OutlineColour(black), white);

        Backdrop backdrop(true); // mid-grey
        TransLabel label(&backdrop);
        label.setGeometry(20, 20, 240, 120);
        label.SetLogFont(BigBold(48)); // an edge of 4 pixels
        label.SetCaption(QStringLiteral("这里A"));
        label.SetHorizontalAlignment(1);
        label.SetTextColour(0x00FFFFFFu);
        label.show();
        const QImage plain = Shot(backdrop);
        label.SetOutline(true);
        const QImage edged = Shot(backdrop);

        const QRgb textRgb = qRgb(255, 255, 255), grey = qRgb(128, 128, 128);
        QList<QPoint> glyphs;
        for (int y = 0; y < plain.height(); ++y)
            for (int x = 0; x < plain.width(); ++x)
                if (plain.pixel(x, y) == textRgb)
                    glyphs << QPoint(x, y);
        QVERIFY(glyphs.size() > 200);
        const auto nearest = [&](QPoint p) {
            int best = std::numeric_limits<int>::max();
            for (const QPoint& g : glyphs) {
                const QPoint d = p - g;
                best = std::min(best, d.x() * d.x() + d.y() * d.y());
            }
            return best; // squared
        };
        const int e = 4;
        int ring = 0;
        for (int y = 0; y < edged.height(); ++y)
            for (int x = 0; x < edged.width(); ++x) {
                const QRgb now = edged.pixel(x, y);
                if (plain.pixel(x, y) == textRgb) {
                    QCOMPARE(now, textRgb); // the text lies over its edge
                    continue;
                }
                const int d2 = nearest(QPoint(x, y));
                if (d2 <= e * e) {
                    QCOMPARE(now, qRgb(0, 0, 0)); // wholly inside the edge
                    ++ring;
                } else if (d2 > (e + 1) * (e + 1)) {
                    QCOMPARE(now, grey); // nothing beyond it
                } else {
                    QVERIFY(qGray(now) <= 128); // the fading rim
                }
            }
        QVERIFY(ring > glyphs.size() / 2);
        QVERIFY(ColourBox(plain, qRgb(0, 0, 0)).isEmpty());

        // The effect pass lies beneath the edge: a white relief one pixel
        // off is covered by it. Off again, the plain text comes back.
        label.SetTextEffect(1);
        QCOMPARE(Shot(backdrop), edged);
        label.SetTextEffect(0);
        label.SetOutline(false);
        QCOMPARE(Shot(backdrop), plain);
    }

    void a_rotated_font_turns_the_text()
    {
        Backdrop backdrop(true);
        TransLabel label(&backdrop);
        label.setGeometry(50, 20, 100, 100);
        // 18 points are the 24 pixels of BigBold at 96 dots per inch.
        const OverlayFont flatFont{0, 1, 0, 0, 0, 18, QStringLiteral("微软雅黑")};
        label.SetFont(flatFont);
        label.SetHorizontalAlignment(1);
        label.SetCaption(QStringLiteral("ABCD"));
        label.hide();
        const QImage beneath = Shot(backdrop);
        label.show();
        const QRect flat = DiffBox(beneath, Shot(backdrop));
        OverlayFont turned = flatFont;
        turned.Angle = 900;
        label.SetFont(turned);
        const QRect upright = DiffBox(beneath, Shot(backdrop));
        QVERIFY(flat.width() > flat.height());
        QVERIFY(upright.height() > upright.width());
        QVERIFY(label.geometry().contains(upright));
    }

    // ---- repainting and mouse input ----

    void every_write_and_move_repaints_beneath_at_once()
    {
        Backdrop backdrop(false);
        TransLabel label(&backdrop);
        label.setGeometry(40, 50, 120, 40);
        PaintCounter labelPaints;
        label.installEventFilter(&labelPaints);
        backdrop.show();
        QVERIFY(QTest::qWaitForWindowExposed(&backdrop));
        QCoreApplication::processEvents();

        const auto repaintsNow = [&](auto&& write) {
            const int beneath = backdrop.paints, own = labelPaints.paints;
            write();
            return backdrop.paints > beneath && labelPaints.paints > own;
        };
        QVERIFY(repaintsNow([&] { label.SetTextColour(label.TextColour()); }));
        QVERIFY(repaintsNow([&] { label.SetCaption(label.Caption()); }));
        QVERIFY(repaintsNow([&] { label.SetTextEffect(7); }));
        QVERIFY(repaintsNow([&] { label.SetWordWrap(false); }));
        QVERIFY(repaintsNow([&] { label.SetHorizontalAlignment(1); }));
        QVERIFY(repaintsNow([&] { label.SetVerticalAlignment(1); }));
        QVERIFY(repaintsNow([&] { label.SetFontBold(1); }));
        QVERIFY(repaintsNow([&] { label.SetFont(OverlayFont{}); }));
        QVERIFY(repaintsNow([&] { label.SetLeft(70); }));
        QVERIFY(repaintsNow([&] { label.SetTop(10); }));
    }

    void right_click_opens_the_caption_menu()
    {
        QWidget top;
        top.resize(300, 150);
        TransLabel label(&top);
        label.setGeometry(20, 20, 200, 40);
        int downs = 0;
        label.MouseDown.Bind([&](int, int, int) { ++downs; });
        top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&top));

        const auto open = [&]() -> QMenu* {
            QTest::mouseClick(top.windowHandle(), Qt::RightButton, {}, QPoint(40, 30));
            return qobject_cast<QMenu*>(QApplication::activePopupWidget());
        };
        // The entries as they read, a marked or ticked one with a "*" before it.
        const auto entries = [](QMenu* menu) {
            QStringList texts;
            for (QAction* action : menu->actions())
                if (!action->isSeparator())
                    texts << (action->isChecked() ? "*" : "") + action->text();
            return texts;
        };
        const auto choose = [](QMenu* menu, const QString& text) {
            for (QAction* action : menu->actions())
                if (action->text() == text)
                    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        };

        QMenu* menu = open();
        QVERIFY(menu);
        QCOMPARE(entries(menu), (QStringList{"*无效果", "浅色浮雕", "凸起", "深色阴影", "描边"}));
        choose(menu, "深色阴影");
        QVERIFY(!menu->isVisible());
        QCOMPARE(label.TextEffect(), 3);
        QVERIFY(!label.Outline());
        QVERIFY((menu = open()));
        QCOMPARE(entries(menu), (QStringList{"无效果", "浅色浮雕", "凸起", "*深色阴影", "描边"}));
        choose(menu, "描边");
        QVERIFY(label.Outline());
        QCOMPARE(label.TextEffect(), 3);

        // A click elsewhere closes the menu and changes nothing.
        QVERIFY((menu = open()));
        QCOMPARE(entries(menu), (QStringList{"无效果", "浅色浮雕", "凸起", "*深色阴影", "*描边"}));
        QTest::mouseClick(top.windowHandle(), Qt::LeftButton, {}, QPoint(280, 130));
        QVERIFY(!QApplication::activePopupWidget());
        QCOMPARE(label.TextEffect(), 3);
        QVERIFY(label.Outline());
        QCOMPARE(downs, 0); // no right-click was a press of the caption
    }

    void double_click_raises_no_second_mouse_down()
    {
        QWidget top;
        top.resize(200, 100);
        TransLabel label(&top);
        label.setGeometry(20, 20, 100, 30);
        QList<QPoint> downs;
        label.MouseDown.Bind([&](int x, int y, int) { downs << QPoint(x, y); });
        top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&top));

        QTest::mouseDClick(top.windowHandle(), Qt::LeftButton, {}, QPoint(30, 25));
        QCOMPARE(downs, (QList<QPoint>{QPoint(10, 5)}));
        QTest::mouseClick(top.windowHandle(), Qt::RightButton, {}, QPoint(30, 25));
        QCOMPARE(downs.size(), 1);
        QWidget* menu = QApplication::activePopupWidget(); // the caption's menu
        QVERIFY(menu);
        QTest::keyClick(menu, Qt::Key_Escape);
        QTest::mouseClick(top.windowHandle(), Qt::LeftButton, {}, QPoint(40, 30));
        QCOMPARE(downs.size(), 2);
        QCOMPARE(downs.last(), QPoint(20, 10));
    }
};

QTEST_MAIN(TransLabelTest)
#include "test_translabel.moc"
