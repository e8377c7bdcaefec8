// The real program on a real (virtual) X display, used as a person would:
// mouse and keyboard through xdotool, results read from the screen, the
// clipboard and the desktop folder.
#include "tests/e2e/Desktop.h"

#include <QBuffer>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QRegularExpression>
#include <QTest>

using namespace mugrove::e2e;

namespace {

// How long the screen, the clipboard or the desktop folder may take to show
// what the program was asked to do. Generous: a loaded machine is slow, and a
// check that passes waits only as long as it must.
constexpr int kPatience = 10000;

// Client-area positions of the controls the tests use (window definition).
const QPoint kWorkAreaOrigin(5, 16);
const QRect kCaption(32, 216, 168, 24);
const QPoint kListFirstRow(460, 154);
const QPoint kListSecondRow(460, 144 + 35);
const QPoint kZoomIn(185, 428);
const QPoint kZoomOut(319, 428);
const QPoint kCaptionBox(490, 54);
const QPoint kColourPicker(492, 106);
const QPoint kBoldBox(538, 108);
// Sliders take clicks on their groove only, not on the tick marks: the
// horizontal ones' groove runs 7 pixels below their top, the upright one's
// 7 pixels right of its left edge.
const QRect kFontSizeSlider(603, 11, 24, 115);
const QPoint kWidthBox(472, 340);
const QRect kWidthSlider(482, 328, 143, 24);
const QPoint kHeightBox(472, 378);
const QRect kHeightSlider(482, 362, 143, 24);
const QPoint kCopy(457, 417);
const QPoint kSave(568, 417);

// The work area's size as the screen shows it: the picture box covers the
// grey of its group box from (5, 16), sampled right of the box's start size.
// Rows below the group box's frame line (y 24, 25) and above the caption,
// and the columns left of the caption, are free of other ink.
QSize WorkAreaSize(const QImage& shot)
{
    if (shot.isNull())
        return {};
    const QRgb group = shot.pixel(388, 300);
    int right = -1;
    for (int x = 5; x < 384; ++x)
        for (int y = 28; y < 210; ++y)
            if (shot.pixel(x, y) != group) {
                right = x;
                break;
            }
    int bottom = -1;
    for (int y = 28; y < 400; ++y)
        for (int x = 5; x < 31; ++x)
            if (shot.pixel(x, y) != group) {
                bottom = y;
                break;
            }
    return QSize(right < 0 ? 0 : right - 4, bottom < 0 ? 0 : bottom - 15);
}

// The name a save at `t` gets: date, then the time down to its last non-zero unit.
QString DateTimeName(const QDateTime& t)
{
    const QDate d = t.date();
    const QTime c = t.time();
    QString name = QString("%1年%2月%3日").arg(d.year()).arg(d.month()).arg(d.day());
    if (c.second() != 0)
        name += QString("%1时%2分%3秒").arg(c.hour()).arg(c.minute()).arg(c.second());
    else if (c.minute() != 0)
        name += QString("%1时%2分").arg(c.hour()).arg(c.minute());
    else if (c.hour() != 0)
        name += QString("%1时").arg(c.hour());
    return name;
}

QImage ReadImage(const QByteArray& bytes, const char* format)
{
    QImage image;
    image.loadFromData(bytes, format);
    return image.convertToFormat(QImage::Format_RGB32);
}

} // namespace

class EndToEnd : public QObject {
    Q_OBJECT

    std::unique_ptr<Desktop> desktop_;

    Desktop& D() { return *desktop_; }

    QSize ShownWorkArea() { return WorkAreaSize(D().Screenshot()); }

    // Picks a template with the keyboard: the list takes the focus with a
    // click on its first row, then Home and Down keys walk to the entry.
    void PickTemplate(int index, QSize expected)
    {
        QVERIFY(D().Click(kListFirstRow));
        QVERIFY(D().Key({"Home"}));
        if (index > 0)
            QVERIFY(D().Key({"Down"}, index));
        QTRY_COMPARE_WITH_TIMEOUT(ShownWorkArea(), expected, kPatience);
    }

    // Replaces the caption box's text by pasting: Chinese text typed through
    // xdotool needs keys remapped on the fly, which can lose characters.
    void PasteCaption(const QString& text)
    {
        QVERIFY(D().SetClipboardText(text));
        QVERIFY(D().Click(kCaptionBox));
        QVERIFY(D().Key({"ctrl+a", "ctrl+v"}));
    }

    // The pop-up opens under the button: 7 columns of 18-pixel cells after a
    // 2-pixel margin.
    static QPoint PaletteCell(int index)
    {
        return QPoint(476, 120) + QPoint(2 + (index % 7) * 18 + 9, 2 + (index / 7) * 18 + 9);
    }

    // Whether the colour pop-up shows: its red cell lies over the list.
    bool PaletteShown() { return IsRed(D().Screenshot().pixel(PaletteCell(12))); }

    // Opens the colour pop-up and clicks the cell of the given palette index.
    void ChooseColour(int index)
    {
        QVERIFY(D().Click(kColourPicker));
        QTRY_VERIFY_WITH_TIMEOUT(PaletteShown(), kPatience);
        QVERIFY(D().MoveTo(PaletteCell(index)));
        QVERIFY(D().Click(PaletteCell(index)));
        QTRY_VERIFY_WITH_TIMEOUT(!PaletteShown(), kPatience);
    }

    // The text of an edit box, read the way a person would take it: select
    // all, copy, paste elsewhere (here: read the clipboard). The clipboard
    // holds a marker first, so an old text is never taken for the box's.
    QString BoxText(QPoint box)
    {
        const QByteArray marker("(nothing copied yet)");
        if (!D().SetClipboardText(QString::fromLatin1(marker)) || !D().Click(box)
            || !D().Key({"ctrl+a", "ctrl+c"}))
            return "(no input)";
        QByteArray text = marker;
        QDeadlineTimer deadline(kPatience);
        while (text == marker && !deadline.hasExpired()) {
            QTest::qWait(50);
            text = D().Clipboard("UTF8_STRING");
        }
        return QString::fromUtf8(text);
    }

    // The program answers a copy asked for after everything sent before, so
    // it has handled all of that (an unchanged window then means nothing
    // happened, not that it has yet to happen).
    bool EverythingSentIsHandled()
    {
        const QString text = BoxText(kWidthBox);
        return text != QStringLiteral("(no input)") && text != QStringLiteral("(nothing copied yet)");
    }

    QStringList SavedFiles() const
    {
        return QDir(desktop_->DesktopFolder()).entryList(QDir::Files, QDir::Name);
    }

private slots:
    void init()
    {
        desktop_ = std::make_unique<Desktop>();
        const QString started = D().Start();
        if (!started.isEmpty())
            QFAIL(qPrintable(started));
        const QString launched = D().LaunchApp(MUGROVE_BINARY);
        if (!launched.isEmpty())
            QFAIL(qPrintable(launched));
    }

    void cleanup()
    {
        // For a failed case, what the screen showed at the end, when asked for.
        const QString shots = qEnvironmentVariable("MUGROVE_E2E_SHOTS");
        if (QTest::currentTestFailed() && !shots.isEmpty() && D().AppRunning()) {
            QDir().mkpath(shots);
            D().Screenshot().save(
                QDir(shots).filePath(QString(QTest::currentTestFunction()) + ".png"));
        }
        desktop_.reset();
    }

    void window_shows_fixed_client_area_with_empty_work_area()
    {
        QCOMPARE(D().ClientSize(), Desktop::kClientSize);
        // Before any template the work area is an empty box of its defined size.
        QCOMPARE(ShownWorkArea(), QSize(379, 384));
        // Centred: the client area lies in the middle of the screen, give or
        // take the frame a window manager would add.
        const QPoint centre = D().ClientOrigin() + QPoint(318, 225);
        QVERIFY(std::abs(centre.x() - Desktop::kScreenWidth / 2) <= 8);
        QVERIFY(std::abs(centre.y() - Desktop::kScreenHeight / 2) <= 20);
    }

    void template_picked_with_the_mouse_sizes_the_work_area()
    {
        QVERIFY(D().Click(kListFirstRow));
        QTRY_COMPARE_WITH_TIMEOUT(ShownWorkArea(), QSize(234, 234), kPatience); // 短发1
        QVERIFY(D().Click(kListSecondRow));
        QTRY_COMPARE_WITH_TIMEOUT(ShownWorkArea(), QSize(218, 218), kPatience); // 短发2
    }

    void template_picked_with_the_keyboard_sizes_the_work_area()
    {
        PickTemplate(11, QSize(347, 231)); // Orrick
        QVERIFY(D().Key({"End"}));
        QTRY_COMPARE_WITH_TIMEOUT(ShownWorkArea(), QSize(198, 187), kPatience); // 茫然
        QVERIFY(D().Key({"Up"}, 22));
        QTRY_COMPARE_WITH_TIMEOUT(ShownWorkArea(), QSize(265, 265), kPatience); // 蠢猫1
    }

    void template_picture_is_drawn_in_the_work_area()
    {
        // 熊猫1 is a progressive JPEG shown at its own size; 蠢猫1 (266 × 266)
        // is stretched into 265 × 265.
        const struct {
            int index;
            QSize shown;
            const char* file;
        } cases[] = {{2, {160, 155}, "02.jpg"}, {15, {265, 265}, "15.jpg"}};
        for (const auto& c : cases) {
            PickTemplate(c.index, c.shown);
            const QImage area = D().Screenshot().copy(QRect(kWorkAreaOrigin, c.shown));
            QImage expected(QString(MUGROVE_SOURCE_DIR "/assets/templates/") + c.file);
            QVERIFY(!expected.isNull());
            expected = expected.convertToFormat(QImage::Format_RGB32)
                           .scaled(c.shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            const double difference = MeanDifference(area, expected);
            QVERIFY2(difference >= 0 && difference < 4,
                     qPrintable(QString("%1: %2").arg(c.file).arg(difference)));
        }
    }

    void zoom_buttons_scale_the_work_area()
    {
        PickTemplate(2, QSize(160, 155)); // 熊猫1
        QVERIFY(D().Click(kZoomIn));
        QTRY_COMPARE_WITH_TIMEOUT(ShownWorkArea(), QSize(176, 170), kPatience);
        QVERIFY(D().Click(kZoomIn));
        QTRY_COMPARE_WITH_TIMEOUT(ShownWorkArea(), QSize(193, 187), kPatience);
        QVERIFY(D().Click(kZoomOut));
        QTRY_COMPARE_WITH_TIMEOUT(ShownWorkArea(), QSize(173, 168), kPatience);
    }

    void chinese_caption_reaches_box_and_picture()
    {
        const QRect band(0, kCaption.top() - 4, 392, kCaption.height() + 8);
        int before = 0;
        InkBox(D().Screenshot(), band, IsDark, &before);
        QVERIFY(before > 20); // the caption from the window definition

        const QString text = QStringLiteral("周一早上的我");
        PasteCaption(text);
        // The box holds exactly the pasted characters: copy them out.
        QCOMPARE(BoxText(kCaptionBox), text);
        // The caption follows: six characters give less ink than the ten
        // of the start text, centred on the caption's box.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                int now = 0;
                const QRect box = InkBox(D().Screenshot(), band, IsDark, &now);
                return now > 20 && now < before * 8 / 10
                       && std::abs(box.center().x() - kCaption.center().x()) <= 3;
            }(),
            kPatience);
    }

    void width_and_height_follow_their_sliders()
    {
        PasteCaption(QStringLiteral("好"));
        const QRect region(5, 150, 379, 250);
        auto ink = [&] { return InkBox(D().Screenshot(), region, IsDark); };
        QTRY_VERIFY_WITH_TIMEOUT(ink().isValid() && ink().width() < 30, kPatience);
        // The text is centred across the caption's box, which starts 168 wide.
        const QPoint start = ink().center();

        // A number typed into the box moves only the thumb; the caption
        // follows at the next step of the slider made by the user.
        QVERIFY(D().Click(kWidthBox));
        QVERIFY(D().Key({"ctrl+a", "BackSpace"}));
        QVERIFY(D().Type("299"));
        // The box reads back what was typed: the program has handled it.
        QCOMPARE(BoxText(kWidthBox), QStringLiteral("299"));
        QCOMPARE(ink().center(), start);
        // A click on the slider's far end pages up, four steps back with
        // the arrow keys: the box next to it shows where the slider stands,
        // and the box's middle moves half the change of the caption's width.
        QVERIFY(D().Click(QPoint(kWidthSlider.right() - 2, kWidthSlider.top() + 7)));
        QVERIFY(D().Key({"Left"}, 4));
        const int width = BoxText(kWidthBox).toInt();
        QVERIFY2(width > 290 && width < 320, qPrintable(QString::number(width)));
        QVERIFY(std::abs(ink().center().x() - start.x() - (width - 168) / 2) <= 1);
        QCOMPARE(ink().center().y(), start.y());

        // Wrapped text starts at the top and is cut at the box's lower edge:
        // 30 characters make two lines, of which 24 pixels show one.
        PasteCaption(QString(30, QChar(0x597D)));
        QTRY_VERIFY_WITH_TIMEOUT(ink().isValid() && ink().width() > 200 && ink().height() <= 24,
                                 kPatience);
        QVERIFY(D().Click(kHeightBox));
        QVERIFY(D().Key({"ctrl+a", "BackSpace"}));
        QVERIFY(D().Type("99"));
        QVERIFY(D().Click(QPoint(kHeightSlider.right() - 2, kHeightSlider.top() + 7)));
        QVERIFY(D().Key({"Left"}, 4));
        QTRY_VERIFY_WITH_TIMEOUT(ink().height() > 30, kPatience);
        QVERIFY(ink().bottom() < 216 + 100);
    }

    void font_size_and_bold_restyle_the_caption()
    {
        PasteCaption(QStringLiteral("大字"));
        // Room for a big caption: 300 × 120 (typed, then one page up by the user).
        QVERIFY(D().Click(kWidthBox));
        QVERIFY(D().Key({"ctrl+a", "BackSpace"}));
        QVERIFY(D().Type("295"));
        QVERIFY(D().Click(QPoint(kWidthSlider.right() - 2, kWidthSlider.top() + 7)));
        QVERIFY(D().Click(kHeightBox));
        QVERIFY(D().Key({"ctrl+a", "BackSpace"}));
        QVERIFY(D().Type("115"));
        QVERIFY(D().Click(QPoint(kHeightSlider.right() - 2, kHeightSlider.top() + 7)));
        const QRect region(5, 150, 379, 250);
        auto ink = [&](int* count = nullptr) {
            return InkBox(D().Screenshot(), region, IsDark, count);
        };
        QTRY_VERIFY_WITH_TIMEOUT(ink().isValid(), kPatience);
        const int startHeight = ink().height();

        // The font-size slider's top is the largest size. One click near the
        // top pages from 100 to 95: 5 points.
        const QPoint top(kFontSizeSlider.left() + 7, kFontSizeSlider.top() + 3);
        QVERIFY(D().Click(top));
        QTRY_VERIFY_WITH_TIMEOUT(ink().isValid() && ink().height() < startHeight, kPatience);
        const int small = ink().height();
        // Six more pages: 65, 35 points.
        for (int i = 0; i < 6; ++i) {
            QVERIFY(D().Click(top));
            QTest::qWait(150);
        }
        QTRY_VERIFY_WITH_TIMEOUT(ink().height() > 3 * small && ink().height() > 30, kPatience);

        int bold = 0;
        ink(&bold);
        QVERIFY(D().Click(kBoldBox)); // unticks: regular weight
        QTRY_VERIFY_WITH_TIMEOUT([&] { int n = 0; ink(&n); return n < bold * 9 / 10; }(), kPatience);
        QVERIFY(D().Click(kBoldBox)); // ticked again
        QTRY_VERIFY_WITH_TIMEOUT([&] { int n = 0; ink(&n); return n == bold; }(), kPatience);
    }

    void colour_picker_colours_the_caption()
    {
        const QRect swatch(476, 92, 47, 28);
        auto redIn = [&](const QRect& area) {
            int n = 0;
            InkBox(D().Screenshot(), area, IsRed, &n);
            return n;
        };
        QCOMPARE(redIn(kCaption.adjusted(-4, -4, 4, 4)), 0);
        QCOMPARE(redIn(swatch), 0);
        // Escape closes the palette and changes nothing.
        QVERIFY(D().Click(kColourPicker));
        QTRY_VERIFY_WITH_TIMEOUT(PaletteShown(), kPatience);
        QVERIFY(D().Key({"Escape"}));
        QTRY_VERIFY_WITH_TIMEOUT(!PaletteShown(), kPatience);
        QVERIFY(D().AppRunning()); // the Escape went to the palette, not the window
        QCOMPARE(redIn(swatch), 0);

        ChooseColour(12); // 红色
        QTRY_VERIFY_WITH_TIMEOUT(redIn(swatch) > 300, kPatience);
        QTRY_VERIFY_WITH_TIMEOUT(redIn(kCaption.adjusted(-4, -4, 4, 4)) > 30, kPatience);
        // No black ink is left on the caption.
        int dark = 0;
        InkBox(D().Screenshot(), kCaption, IsDark, &dark);
        QVERIFY2(dark < redIn(kCaption) / 4, qPrintable(QString::number(dark)));
    }

    void caption_follows_a_mouse_drag()
    {
        // The picture group's inside, below its title.
        const QRect inside(5, 28, 379, 370);
        const QRect start = InkBox(D().Screenshot(), inside, IsDark);
        QVERIFY(start.isValid());
        // Grab the caption 10 pixels right of its left edge and move it 60
        // right and 120 up.
        const QPoint grab = kCaption.topLeft() + QPoint(10, 12);
        const QPoint offset(60, -120);
        QVERIFY(D().Drag(grab, grab + offset));
        QTRY_COMPARE_WITH_TIMEOUT(InkBox(D().Screenshot(), inside, IsDark),
                                  start.translated(offset), kPatience);
        // Press and release without moving: the caption stays.
        QVERIFY(D().Drag(grab + offset, grab + offset));
        QVERIFY(EverythingSentIsHandled());
        QCOMPARE(InkBox(D().Screenshot(), inside, IsDark), start.translated(offset));
        // Past the window's left edge: the caption slides partly out of view.
        // (Wait first: a second press within Qt's 400 ms would count as a
        // double-click, which does not start a drag.)
        QTest::qWait(700);
        QVERIFY(D().Drag(grab + offset, QPoint(-20, 300)));
        QTRY_VERIFY_WITH_TIMEOUT(InkBox(D().Screenshot(), inside, IsDark).left() <= 10, kPatience);
        QVERIFY(InkBox(D().Screenshot(), inside, IsDark).width() < start.width());
    }

    // A caption added, typed into, dragged and deleted: each Ctrl+Z, from
    // the text box or a number box, shows the picture as it was before that
    // step; Ctrl+Y and Ctrl+Shift+Z take the steps again.
    void three_ctrl_z_bring_back_a_typed_dragged_and_deleted_caption()
    {
        PickTemplate(29, QSize(300, 300)); // 女生3
        const auto shown = [this] { return D().Screenshot().copy(QRect(kWorkAreaOrigin, QSize(300, 300))); };
        QVERIFY(EverythingSentIsHandled());
        const QImage plain = shown();
        // 添加文字 from the picture's menu: a caption centred where it opened.
        const QPoint at(150, 100);
        QVERIFY(D().MoveTo(at));
        QVERIFY(D().Xdotool({"click", "3"}).ok);
        QTRY_VERIFY_WITH_TIMEOUT(shown() != plain, kPatience);
        QVERIFY(D().Key({"t"}));
        QVERIFY(EverythingSentIsHandled());
        const QRect added(at - QPoint(84, 12), kCaption.size());
        const QImage withAdded = shown();
        QVERIFY(withAdded.copy(added.translated(-kWorkAreaOrigin)) != plain.copy(added.translated(-kWorkAreaOrigin)));

        QVERIFY(D().Click(kCaptionBox));
        QVERIFY(D().Key({"ctrl+a"}));
        QVERIFY(D().Type(QStringLiteral("Fix me")));
        QVERIFY(EverythingSentIsHandled());
        const QImage typed = shown();
        QVERIFY(typed != withAdded);
        QVERIFY(D().Drag(at, at + QPoint(40, 90)));
        QVERIFY(EverythingSentIsHandled());
        const QImage dragged = shown();
        QVERIFY(dragged != typed);
        QVERIFY(D().MoveTo(at + QPoint(40, 90)));
        QVERIFY(D().Xdotool({"click", "3"}).ok);
        QTRY_VERIFY_WITH_TIMEOUT(shown() != dragged, kPatience);
        QVERIFY(D().Key({"Up", "Return"})); // the menu's last entry: 删除文字
        QTRY_VERIFY_WITH_TIMEOUT(shown() == plain, kPatience);

        QVERIFY(D().Click(kCaptionBox));
        QVERIFY(D().Key({"ctrl+z"}));
        QTRY_VERIFY_WITH_TIMEOUT(shown() == dragged, kPatience);
        QVERIFY(D().Click(kWidthBox));
        QVERIFY(D().Key({"ctrl+z"}));
        QTRY_VERIFY_WITH_TIMEOUT(shown() == typed, kPatience);
        QVERIFY(D().Key({"ctrl+z"}));
        QTRY_VERIFY_WITH_TIMEOUT(shown() == withAdded, kPatience);
        // The caption the step changed is the one the text box shows.
        QCOMPARE(BoxText(kCaptionBox), QStringLiteral("新的文字"));

        QVERIFY(D().Key({"ctrl+y"}));
        QTRY_VERIFY_WITH_TIMEOUT(shown() == typed, kPatience);
        QCOMPARE(BoxText(kCaptionBox), QStringLiteral("Fix me"));
        QVERIFY(D().Key({"ctrl+shift+z", "ctrl+shift+z"}));
        QTRY_VERIFY_WITH_TIMEOUT(shown() == plain, kPatience);
        QVERIFY(D().AppRunning());
    }

    // Saved, closed, the saved file dropped into a new window: 重新编辑
    // brings the caption back as text in the box, and it can be fixed.
    void a_saved_meme_opened_in_a_new_window_is_edited_again()
    {
        PickTemplate(29, QSize(300, 300)); // 女生3
        QVERIFY(D().Click(kCaptionBox));
        QVERIFY(D().Key({"ctrl+a"}));
        QVERIFY(D().Type(QStringLiteral("Fix me")));
        QVERIFY(EverythingSentIsHandled());
        const auto shown = [this] { return D().Screenshot().copy(QRect(kWorkAreaOrigin, QSize(300, 300))); };
        const QImage meme = shown();
        QVERIFY(D().Click(kSave));
        QTRY_COMPARE_WITH_TIMEOUT(SavedFiles().size(), 1, kPatience);
        const QString saved = QDir(D().DesktopFolder()).filePath(SavedFiles().front());
        QVERIFY(D().Click(QPoint(390, 410)));
        QVERIFY(D().Key({"Escape"}));
        QCOMPARE(D().WaitForAppExit(kPatience), 0);

        const QString launched = D().LaunchApp(MUGROVE_BINARY);
        QVERIFY2(launched.isEmpty(), qPrintable(launched));
        QCOMPARE(D().DropFiles(MUGROVE_E2E_DRAG, QPoint(150, 150), {saved}), 0);
        QTRY_COMPARE_WITH_TIMEOUT(ShownWorkArea(), QSize(300, 300), kPatience);
        QCOMPARE(BoxText(kCaptionBox), QStringLiteral("这里修改文字,可拖动")); // a picture; the caption as the window opened
        const QImage picture = shown();
        QVERIFY(D().MoveTo(QPoint(150, 100)));
        QVERIFY(D().Xdotool({"click", "3"}).ok);
        QTRY_VERIFY_WITH_TIMEOUT(shown() != picture, kPatience); // the menu is open
        QVERIFY(D().Key({"e"}));
        QTRY_COMPARE_WITH_TIMEOUT(shown(), meme, kPatience);
        QCOMPARE(BoxText(kCaptionBox), QStringLiteral("Fix me"));

        QVERIFY(D().Key({"ctrl+a"}));
        QVERIFY(D().Type(QStringLiteral("Fixed")));
        QVERIFY(EverythingSentIsHandled());
        QVERIFY(shown() != meme);
        QCOMPARE(BoxText(kCaptionBox), QStringLiteral("Fixed"));
        QVERIFY(D().AppRunning());
    }

    void save_writes_a_jpeg_named_after_the_click_to_the_desktop()
    {
        QVERIFY(!QDir(D().DesktopFolder()).exists());
        PickTemplate(29, QSize(300, 300)); // 女生3
        QVERIFY(D().Click(kZoomIn));
        QTRY_COMPARE_WITH_TIMEOUT(ShownWorkArea(), QSize(330, 330), kPatience);
        const QImage shown = D().Screenshot().copy(QRect(kWorkAreaOrigin, QSize(330, 330)));

        const QDateTime before = QDateTime::currentDateTime();
        QVERIFY(D().Click(kSave));
        QTRY_COMPARE_WITH_TIMEOUT(SavedFiles().size(), 1, kPatience);
        const QDateTime after = QDateTime::currentDateTime();

        // In the desktop folder, made for it, named after the time of the click.
        const QString name = SavedFiles().front();
        QStringList expected;
        for (QDateTime t = before.addSecs(-1); t <= after.addSecs(1); t = t.addSecs(1))
            expected << DateTimeName(t) + ".jpg";
        QVERIFY2(expected.contains(name), qPrintable(name + " not in " + expected.join(' ')));

        // A real JPEG of the work area's size, showing what the screen showed.
        QFile file(QDir(D().DesktopFolder()).filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("\xFF\xD8\xFF"));
        QCOMPARE(QImageReader(file.fileName()).format(), QByteArray("jpeg"));
        const QImage saved = ReadImage(bytes, "JPG");
        QCOMPARE(saved.size(), QSize(330, 330));
        const double difference = MeanDifference(saved, shown);
        QVERIFY2(difference >= 0 && difference < 3, qPrintable(QString::number(difference)));

        // Quick saves never overwrite: each gets a file of its own.
        QVERIFY(D().Xdotool({"click", "--repeat", "3", "--delay", "120", "1"}).ok);
        QTRY_COMPARE_WITH_TIMEOUT(SavedFiles().size(), 4, kPatience);
        const QRegularExpression pattern(
            "^\\d{4}年\\d{1,2}月\\d{1,2}日(\\d{1,2}时(\\d{1,2}分(\\d{1,2}秒)?)?)?( \\(\\d+\\))?\\.jpg$");
        for (const QString& each : SavedFiles()) {
            QVERIFY2(pattern.match(each).hasMatch(), qPrintable(each));
            QFile other(QDir(D().DesktopFolder()).filePath(each));
            QVERIFY(other.open(QIODevice::ReadOnly));
            QCOMPARE(ReadImage(other.readAll(), "JPG").size(), QSize(330, 330));
        }
    }

    void saved_picture_holds_the_caption_where_it_was_dragged()
    {
        PickTemplate(29, QSize(300, 300)); // 女生3
        PasteCaption(QStringLiteral("配字"));
        ChooseColour(12); // 红色
        // Drag the caption 40 right and 150 up: its box then starts at
        // (72, 66) of the window, (67, 50) of the picture.
        const QPoint grab = kCaption.topLeft() + QPoint(10, 12);
        QVERIFY(D().Drag(grab, grab + QPoint(40, -150)));
        const QRect captionInPicture(67, 50, 168, 24);
        QTRY_VERIFY_WITH_TIMEOUT(
            InkBox(D().Screenshot(), captionInPicture.translated(kWorkAreaOrigin), IsRed).isValid(),
            kPatience);
        const QImage shown = D().Screenshot().copy(QRect(kWorkAreaOrigin, QSize(300, 300)));

        QVERIFY(D().Click(kSave));
        QTRY_COMPARE_WITH_TIMEOUT(SavedFiles().size(), 1, kPatience);
        QFile file(QDir(D().DesktopFolder()).filePath(SavedFiles().front()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QImage saved = ReadImage(file.readAll(), "JPG");
        const double difference = MeanDifference(saved, shown);
        QVERIFY2(difference >= 0 && difference < 3, qPrintable(QString::number(difference)));
        // The caption sits where it was dragged, and not where it was.
        int red = 0;
        InkBox(saved, captionInPicture, IsRed, &red);
        QVERIFY2(red > 30, qPrintable(QString::number(red)));
        int left = 0;
        InkBox(saved, kCaption.translated(-kWorkAreaOrigin), IsRed, &left);
        QVERIFY(left < red / 5);
    }

    void copy_puts_the_saved_picture_on_the_clipboard()
    {
        PickTemplate(12, QSize(225, 225)); // 黑人问号
        // Text on the clipboard before: the copy replaces it.
        QVERIFY(D().Run("xclip", {"-selection", "clipboard", "-i"}, 5000, "old text").ok);
        QTRY_COMPARE_WITH_TIMEOUT(D().Clipboard("UTF8_STRING"), QByteArray("old text"), kPatience);

        QVERIFY(D().Click(kCopy));
        QTRY_VERIFY_WITH_TIMEOUT(D().ClipboardTargets().contains("image/png"), kPatience);
        QVERIFY(!D().ClipboardTargets().contains("UTF8_STRING"));
        // The first type after the selection protocol's own is the PNG.
        QStringList offered = D().ClipboardTargets();
        offered.removeIf([](const QString& t) { return t == "TARGETS" || t == "MULTIPLE" || t == "TIMESTAMP"; });
        QCOMPARE(offered.value(0), QStringLiteral("image/png"));
        const QImage copied = ReadImage(D().Clipboard("image/png"), "PNG");
        QCOMPARE(copied.size(), QSize(225, 225));
        const QImage shown = D().Screenshot().copy(QRect(kWorkAreaOrigin, QSize(225, 225)));
        QVERIFY(MeanDifference(copied, shown) < 0.5);

        // The same picture a save writes, within what JPEG changes.
        QVERIFY(D().Click(kSave));
        QTRY_COMPARE_WITH_TIMEOUT(SavedFiles().size(), 1, kPatience);
        QFile file(QDir(D().DesktopFolder()).filePath(SavedFiles().front()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const double difference = MeanDifference(ReadImage(file.readAll(), "JPG"), copied);
        QVERIFY2(difference >= 0 && difference < 3, qPrintable(QString::number(difference)));
    }

    void caption_menu_outline_shows_in_the_saved_and_copied_picture()
    {
        // A mid-grey photo under the caption, so that a white edge stands out.
        QImage photo(379, 300, QImage::Format_RGB32);
        photo.fill(qRgb(128, 128, 128));
        const QString path = D().TempPath("files/grey.bmp");
        QVERIFY(photo.save(path, "BMP"));
        QCOMPARE(D().DropFiles(MUGROVE_E2E_DRAG, QPoint(150, 150), {path}), 0);
        QTRY_COMPARE_WITH_TIMEOUT(ShownWorkArea(), QSize(379, 300), kPatience);
        const QRect caption = kCaption.translated(-kWorkAreaOrigin); // in the picture
        const auto lightIn = [](const QImage& image, const QRect& area) {
            int n = 0;
            InkBox(image, area, [](QRgb c) { return qMin(qMin(qRed(c), qGreen(c)), qBlue(c)) > 220; }, &n);
            return n;
        };
        const auto shownPicture = [&] {
            return D().Screenshot().copy(QRect(kWorkAreaOrigin, QSize(379, 300)));
        };
        QCOMPARE(lightIn(shownPicture(), caption), 0); // black text, no edge

        // Right-click the caption, then the menu's last entry: the outline.
        QVERIFY(D().MoveTo(kCaption.center()));
        const QRect menuArea(kCaption.center(), QSize(60, 60)); // the menu opens below the cursor
        const QImage closed = D().Screenshot().copy(menuArea);
        QVERIFY(D().Xdotool({"click", "3"}).ok);
        QTRY_VERIFY_WITH_TIMEOUT(D().Screenshot().copy(menuArea) != closed, kPatience);
        QVERIFY(D().Key({"Up", "Return"}));
        QTRY_VERIFY_WITH_TIMEOUT(lightIn(shownPicture(), caption) > 60, kPatience);
        QVERIFY(D().AppRunning());
        // The closed menu's place is painted again before the picture is
        // taken as the one shown.
        QVERIFY(EverythingSentIsHandled());
        const QImage shown = shownPicture();
        int dark = 0;
        InkBox(shown, caption, IsDark, &dark);
        QVERIFY(dark > 20); // the black text over its white edge

        QVERIFY(D().Click(kSave));
        QTRY_COMPARE_WITH_TIMEOUT(SavedFiles().size(), 1, kPatience);
        QFile file(QDir(D().DesktopFolder()).filePath(SavedFiles().front()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QImage saved = ReadImage(file.readAll(), "JPG");
        QCOMPARE(saved.size(), QSize(379, 300));
        const double difference = MeanDifference(saved, shown);
        QVERIFY2(difference >= 0 && difference < 3, qPrintable(QString::number(difference)));
        QVERIFY(lightIn(saved, caption) > lightIn(shown, caption) / 2);

        QVERIFY(D().Click(kCopy));
        QTRY_VERIFY_WITH_TIMEOUT(D().ClipboardTargets().contains("image/png"), kPatience);
        const QImage copied = ReadImage(D().Clipboard("image/png"), "PNG");
        QVERIFY(MeanDifference(copied, shown) < 0.5);
        QCOMPARE(lightIn(copied, caption), lightIn(shown, caption));
    }

    void dropped_photo_takes_its_own_size()
    {
        // A photo with a space and Chinese characters in its path.
        QImage photo(123, 87, QImage::Format_RGB32);
        for (int y = 0; y < photo.height(); ++y)
            for (int x = 0; x < photo.width(); ++x)
                photo.setPixel(x, y, qRgb(x * 2, 60 + y, 200 - x));
        const QString path = D().TempPath(QStringLiteral("files/我的 照片.jpg"));
        QVERIFY(photo.save(path, "JPG", 95));
        QCOMPARE(D().DropFiles(MUGROVE_E2E_DRAG, QPoint(150, 150), {path}), 0);
        QTRY_COMPARE_WITH_TIMEOUT(ShownWorkArea(), QSize(123, 87), kPatience);
        const QImage shown = D().Screenshot().copy(QRect(kWorkAreaOrigin, QSize(123, 87)));
        const double difference = MeanDifference(shown, ReadImage([&] {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }(), "JPG"));
        QVERIFY2(difference >= 0 && difference < 3, qPrintable(QString::number(difference)));
        // Saved at that size too.
        QVERIFY(D().Click(kSave));
        QTRY_COMPARE_WITH_TIMEOUT(SavedFiles().size(), 1, kPatience);
        QFile saved(QDir(D().DesktopFolder()).filePath(SavedFiles().front()));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(ReadImage(saved.readAll(), "JPG").size(), QSize(123, 87));

        // A file that does not decode loses nothing.
        const QString tiff = D().TempPath("files/picture.tif");
        QVERIFY(photo.save(tiff, "TIFF") || [&] {
            QFile f(tiff);
            return f.open(QIODevice::WriteOnly) && f.write(QByteArray("II*\0\x08\0\0\0", 8)) == 8;
        }());
        QCOMPARE(D().DropFiles(MUGROVE_E2E_DRAG, QPoint(50, 50), {tiff}), 0);
        QVERIFY(EverythingSentIsHandled());
        QCOMPARE(ShownWorkArea(), QSize(123, 87));

        // Of several files the first that decodes is taken.
        const QString bmp = D().TempPath("files/picture.bmp");
        QVERIFY(photo.scaled(64, 48).save(bmp, "BMP"));
        QCOMPARE(D().DropFiles(MUGROVE_E2E_DRAG, QPoint(50, 50), {tiff, bmp}), 0);
        QTRY_COMPARE_WITH_TIMEOUT(ShownWorkArea(), QSize(64, 48), kPatience);
        // And zooms like a template.
        QVERIFY(D().Click(kZoomOut));
        QTRY_COMPARE_WITH_TIMEOUT(ShownWorkArea(), QSize(57, 43), kPatience);
    }

    void pasted_and_dropped_png_show_at_their_own_size()
    {
        // A screenshot put on the clipboard by another program, as a PNG.
        QImage shot(90, 70, QImage::Format_RGB32);
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                shot.setPixel(x, y, qRgb(x * 2, 250 - y * 3, (x + y) % 256));
        const QString png = D().TempPath("files/shot.png");
        QVERIFY(shot.save(png, "PNG"));
        QVERIFY(D().Run("sh", {"-c", "xclip -selection clipboard -t image/png -i \"$0\" >/dev/null 2>&1", png}).ok);
        QTRY_VERIFY_WITH_TIMEOUT(D().ClipboardTargets().contains("image/png"), kPatience);
        QVERIFY(D().Key({"ctrl+v"}));
        QTRY_COMPARE_WITH_TIMEOUT(ShownWorkArea(), QSize(90, 70), kPatience);
        const QImage shown = D().Screenshot().copy(QRect(kWorkAreaOrigin, QSize(90, 70)));
        QCOMPARE(MeanDifference(shown, shot), 0.0);

        // A dropped PNG, with transparent pixels, shows at its own size.
        QImage icon(40, 30, QImage::Format_ARGB32);
        icon.fill(qRgba(255, 0, 0, 255));
        const QString dropped = D().TempPath("files/drop.png");
        QVERIFY(icon.save(dropped, "PNG"));
        QCOMPARE(D().DropFiles(MUGROVE_E2E_DRAG, QPoint(30, 30), {dropped}), 0);
        QTRY_COMPARE_WITH_TIMEOUT(ShownWorkArea(), QSize(40, 30), kPatience);
        QVERIFY(IsRed(D().Screenshot().pixel(kWorkAreaOrigin + QPoint(20, 15))));
    }

    void drop_outside_the_work_area_is_refused()
    {
        QImage photo(50, 40, QImage::Format_RGB32);
        photo.fill(qRgb(20, 120, 220));
        const QString path = D().TempPath("files/photo.jpg");
        QVERIFY(photo.save(path, "JPG"));
        // Over the template list: nothing there takes drops.
        QCOMPARE(D().DropFiles(MUGROVE_E2E_DRAG, QPoint(500, 250), {path}), 2);
        QCOMPARE(ShownWorkArea(), QSize(379, 384));
        QVERIFY(D().AppRunning());
    }

    void drop_anywhere_on_the_frame_lands()
    {
        QImage photo(300, 260, QImage::Format_RGB32);
        photo.fill(qRgb(200, 60, 60));
        const QString big = D().TempPath("files/big.bmp"), small = D().TempPath("files/small.png");
        const QString broken = D().TempPath("files/broken.png");
        QVERIFY(photo.save(big, "BMP") && photo.scaled(123, 77).save(small, "PNG"));
        QVERIFY(QFile::copy(small, broken) && QFile::resize(broken, 60));
        // Where it lands (client point) and the size it leaves: on the frame
        // beside the small picture, on the caption lying over the big one.
        const struct { QPoint at; QString file; QSize after; } drops[] = {
            {{150, 150}, small, {123, 77}}, {{370, 390}, big, {300, 260}},
            {kCaption.center(), small, {123, 77}}, {{300, 300}, broken, {123, 77}}};
        for (const auto& d : drops) {
            QCOMPARE(D().DropFiles(MUGROVE_E2E_DRAG, d.at, {d.file}), 0);
            QTRY_COMPARE_WITH_TIMEOUT(ShownWorkArea(), d.after, kPatience);
        }
    }

    void drop_answer_follows_the_keys_held()
    {
        // Not a picture: whatever the drop does, the work area stays.
        const QString path = D().TempPath("files/notes.txt");
        QFile notes(path);
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("not a picture\n");
        notes.close();
        // The drag offers copying only.
        const QPoint area(150, 150);
        QCOMPARE(D().DropFiles(MUGROVE_E2E_DRAG, area, {path}), 0);
        const struct {
            const char* keys;
            int answer;
        } cases[] = {{"ctrl", 0}, {"shift", 2}, {"ctrl+shift", 2}};
        for (const auto& c : cases) {
            QVERIFY(D().Xdotool({"keydown", c.keys}).ok);
            const int answer = D().DropFiles(MUGROVE_E2E_DRAG, area, {path});
            QVERIFY(D().Xdotool({"keyup", c.keys}).ok);
            QVERIFY2(answer == c.answer, c.keys);
        }
        QCOMPARE(ShownWorkArea(), QSize(379, 384));
        QVERIFY(D().AppRunning());
    }

    void runs_natively_on_wayland_and_copies_a_png_first()
    {
        D().StopApp();
        const QString started = D().StartWayland();
        QVERIFY2(started.isEmpty(), qPrintable(started));
        const QString launched = D().LaunchApp(MUGROVE_BINARY);
        QVERIFY2(launched.isEmpty(), qPrintable(launched));
        QVERIFY(!D().Xdotool({"search", "--name", "^Mugrove$"}).ok); // no X window of its own
        PickTemplate(0, QSize(234, 234)); // 短发1
        const QImage shown = D().Screenshot().copy(QRect(kWorkAreaOrigin, QSize(234, 234)));
        const auto offered = [&] {
            return QString::fromUtf8(D().Run("wl-paste", {"--list-types"}).out).split('\n', Qt::SkipEmptyParts);
        };
        QVERIFY(D().Click(kCopy));
        QTRY_COMPARE_WITH_TIMEOUT(offered().value(0), QStringLiteral("image/png"), kPatience);
        QCOMPARE(MeanDifference(ReadImage(D().Run("wl-paste", {"--type", "image/png"}).out, "PNG"), shown), 0.0);
        // The compositor keeps the first offered type once the program has gone.
        QVERIFY(D().Click(QPoint(390, 410)));
        QVERIFY(D().Key({"Escape"}));
        QCOMPARE(D().WaitForAppExit(kPatience), 0);
        QTRY_COMPARE_WITH_TIMEOUT(offered(), QStringList{"image/png"}, kPatience);
    }

    void escape_closes_the_program_with_exit_code_zero()
    {
        QVERIFY(D().Click(QPoint(390, 410))); // the window's own background
        QVERIFY(D().Key({"Escape"}));
        QCOMPARE(D().WaitForAppExit(kPatience), 0);
    }
};

QTEST_GUILESS_MAIN(EndToEnd)
#include "test_e2e.moc"
