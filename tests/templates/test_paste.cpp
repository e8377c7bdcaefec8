// Pasting pictures and copied files through the real clipboard, the work
// area's menu, and starting with file names.
#include "tests/support/ShownForm.h"
#include "tests/support/HandTimer.h"
#include "tests/support/FileList.h"

#include "app/model/Button.h"
#include "app/model/EditBox.h"
#include "app/model/Label.h"
#include "app/model/ListBox.h"
#include "app/program/Startup.h"
#include "output/Snapshot.h"
#include "templates/PhotoDrop.h"

#include <QClipboard>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>

using namespace mugrove;
using mugrove::testing::Files;
using mugrove::testing::kBackground;

namespace {

QString Data(const char* name)
{
    return QStringLiteral(MUGROVE_TEST_DATA "/decoders/") + QString::fromUtf8(name);
}

QByteArray FileBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing test file %s", qPrintable(path));
    return f.readAll();
}

PictureBytes AsPicture(const QByteArray& b)
{
    return PictureBytes(b.begin(), b.end());
}

// Puts data on the clipboard; the clipboard owns it from then on.
void Offer(QMimeData* data)
{
    QGuiApplication::clipboard()->setMimeData(data);
}

QMimeData* Picture(const char* type, const QString& file)
{
    auto* data = new QMimeData;
    data->setData(QLatin1String(type), FileBytes(file));
    return data;
}

// The work area's clock, run by hand: each Start is logged and waits to be fired.
struct HandClock : FrameTimer {
    std::vector<int>* delays;
    std::function<void()> pending;
    explicit HandClock(std::vector<int>* log) : delays(log) {}
    void Start(std::chrono::milliseconds delay, std::function<void()> fire) override
    {
        delays->push_back(static_cast<int>(delay.count()));
        pending = std::move(fire);
    }
    void Stop() override { pending = nullptr; }
};

struct Pasting {
    std::unique_ptr<Form> form = mugrove::testing::ShowForm();

    Pasting()
    {
        if (!form)
            qFatal("the window could not be shown");
        form->window->Created.Raise();
        form->templateList->setCurrentRow(0); // 234 × 234 before any paste
        form->captionBox->SetContent(QStringLiteral("配字"));
        form->copyButton->setText(QStringLiteral("复制成功!!"));
        form->window->activateWindow();
        if (!QTest::qWaitForWindowActive(form->window.get()))
            qFatal("the window did not become active");
    }

    QSize Size() const { return {form->workArea->Width(), form->workArea->Height()}; }
    QWidget* Editor() const { return form->captionBox->focusProxy(); }

    void Press(QWidget* focus, Qt::Key key, Qt::KeyboardModifiers mods)
    {
        focus->setFocus();
        QTest::keyClick(focus, key, mods);
    }

    // The work area as shown, at its own size.
    QImage Shown() const { return CaptureWindow(form->workArea); }

    QMenu* OpenMenu()
    {
        const QPoint at(10, 10);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, form->workArea->mapToGlobal(at));
        QApplication::sendEvent(form->workArea, &event);
        return form->workArea->findChild<QMenu*>(QStringLiteral("workAreaMenu"));
    }
};

// The menu's entries after undo, redo and their separator, which come first.
QList<QAction*> Today(QMenu* menu)
{
    const QList<QAction*> all = menu->actions();
    if (all.size() < 3 || !all[0]->text().startsWith(QStringLiteral("撤销(&U)"))
        || !all[1]->text().startsWith(QStringLiteral("重做(&R)")) || !all[2]->isSeparator())
        return {};
    return all.mid(3);
}

} // namespace

class PasteTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QGuiApplication::clipboard()->clear(); }

    void a_picture_pastes_wherever_the_focus_is_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("inEditBox");
        QTest::addColumn<bool>("shiftInsert");
        QTest::newRow("png, Ctrl+V in the caption box") << "image/png" << Data("good_png_rgb8.png") << true << false;
        QTest::newRow("webp, Shift+Insert in the list") << "image/webp" << Data("good_webp_lossy.webp") << false << true;
        QTest::newRow("animated webp, Ctrl+V in the list") << "image/webp" << Data("good_webp_animated.webp") << false << false;
        QTest::newRow("bmp, Shift+Insert in the caption box") << "image/bmp" << Data("good_bmp24.bmp") << true << true;
        QTest::newRow("avif, Ctrl+V in the list") << "image/avif" << Data("good_avif.avif") << false << false;
        QTest::newRow("heic, Ctrl+V in the caption box") << "image/heic" << Data("good_heic.heic") << true << false;
        QTest::newRow("jxl, Shift+Insert in the list") << "image/jxl" << Data("good_jxl.jxl") << false << true;
    }
    void a_picture_pastes_wherever_the_focus_is()
    {
        QFETCH(QString, type);
        QFETCH(QString, file);
        QFETCH(bool, inEditBox);
        QFETCH(bool, shiftInsert);
        Pasting p;
        Offer(Picture(qPrintable(type), file));
        p.Press(inEditBox ? p.Editor() : static_cast<QWidget*>(p.form->templateList),
                shiftInsert ? Qt::Key_Insert : Qt::Key_V, shiftInsert ? Qt::ShiftModifier : Qt::ControlModifier);
        const QSize own(ImageFileWidth(file), ImageFileHeight(file));
        QVERIFY(own.width() > 0);
        QCOMPARE(p.Size(), own);
        QCOMPARE(p.form->workArea->Picture(), AsPicture(FileBytes(file)));
        QCOMPARE(p.form->widthLabel->Caption(), QStringLiteral("图片宽度：%1").arg(own.width()));
        QCOMPARE(p.form->heightLabel->Caption(), QStringLiteral("图片高度：%1").arg(own.height()));
        // The caption, its text box and the output buttons are untouched.
        QCOMPARE(p.form->captionBox->Content(), QStringLiteral("配字"));
        QCOMPARE(p.form->copyButton->Caption(), QStringLiteral("复制成功!!"));
    }

    void text_goes_to_the_edit_box_as_before()
    {
        Pasting p;
        auto* data = Picture("image/png", Data("good_png_rgb8.png"));
        data->setText(QStringLiteral("文字"));
        Offer(data);
        auto* editor = qobject_cast<QPlainTextEdit*>(p.Editor());
        QVERIFY(editor);
        editor->moveCursor(QTextCursor::End);
        p.Press(editor, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(p.form->captionBox->Content(), QStringLiteral("配字文字"));
        QCOMPARE(p.Size(), QSize(234, 234));
        // Outside an edit box the picture beside the text is pasted.
        p.Press(p.form->templateList, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(p.Size(), QSize(3, 2));
    }

    void copied_files_paste_like_a_drop()
    {
        // In the caption box too: a file manager's copy also carries the
        // paths as text, which the box takes only when no file is a picture.
        Pasting p;
        auto* files = Files({Data("tiff_header.tif"), Data("good_webp_animated.webp"), Data("good_bmp24.bmp")});
        files->setText(QStringLiteral("paths"));
        Offer(files);
        p.Press(p.Editor(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(p.Size(), QSize(4, 3));
        QCOMPARE(p.form->workArea->Picture(), AsPicture(FileBytes(Data("good_webp_animated.webp"))));
        QCOMPARE(p.form->captionBox->Content(), QStringLiteral("配字"));

        auto* unreadable = Files({Data("tiff_header.tif")});
        unreadable->setText(QStringLiteral("路径"));
        Offer(unreadable);
        qobject_cast<QPlainTextEdit*>(p.Editor())->moveCursor(QTextCursor::End);
        p.Press(p.Editor(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(p.form->captionBox->Content(), QStringLiteral("配字路径"));
        QCOMPARE(p.Size(), QSize(4, 3));
    }

    void what_cannot_be_read_changes_nothing_data()
    {
        QTest::addColumn<int>("which");
        QTest::newRow("truncated png") << 0;
        QTest::newRow("tiff bytes as an image type") << 1;
        QTest::newRow("files that hold no picture") << 2;
    }
    void what_cannot_be_read_changes_nothing()
    {
        QFETCH(int, which);
        Pasting p;
        const PictureBytes before = p.form->workArea->Picture();
        if (which == 0)
            Offer(Picture("image/png", Data("png_truncated_idat.png")));
        else if (which == 1)
            Offer(Picture("image/tiff", Data("tiff_header.tif")));
        else
            Offer(Files({Data("tiff_header.tif"), Data("webp_truncated.webp")}));
        p.Press(p.form->templateList, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(p.Size(), QSize(234, 234));
        QVERIFY(p.form->workArea->Picture() == before);
        QCOMPARE(p.form->widthLabel->Caption(), QStringLiteral("图片宽度：234"));
    }

    void pixels_from_this_program_paste_as_png()
    {
        // What the copy button puts there: pixels, no file.
        Pasting p;
        QImage image(5, 4, QImage::Format_RGB32);
        image.fill(QColor(10, 200, 30));
        image.setPixel(4, 3, qRgb(250, 5, 6));
        QGuiApplication::clipboard()->setImage(image);
        p.Press(p.form->templateList, Qt::Key_Insert, Qt::ShiftModifier);
        QCOMPARE(p.Size(), QSize(5, 4));
        QCOMPARE(DetectImageKind(p.form->workArea->Picture()), ImageKind::Png);
        const QImage shown = p.Shown();
        QCOMPARE(shown.pixel(0, 0), qRgb(10, 200, 30));
        QCOMPARE(shown.pixel(4, 3), qRgb(250, 5, 6));
    }

    void alpha_is_drawn_over_the_background()
    {
        Pasting p;
        Offer(Picture("image/png", Data("good_png_rgba8.png")));
        p.Press(p.form->templateList, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(p.Size(), QSize(3, 2));
        const QImage shown = p.Shown();
        // Alpha 255 red, 0 shows the background, 128 blue halfway over it.
        QCOMPARE(shown.pixel(0, 0), qRgb(255, 0, 0));
        QCOMPARE(shown.pixel(1, 0), kBackground.rgb());
        const QColor half = shown.pixelColor(2, 0);
        const auto over = [](int back, int front) { return (back * 127 + front * 128) / 255; };
        QVERIFY2(std::abs(half.red() - over(kBackground.red(), 0)) <= 2, qPrintable(half.name()));
        QVERIFY2(std::abs(half.green() - over(kBackground.green(), 0)) <= 2, qPrintable(half.name()));
        QVERIFY2(std::abs(half.blue() - over(kBackground.blue(), 255)) <= 2, qPrintable(half.name()));
    }

    void the_work_area_menu_pastes()
    {
        Pasting p;
        Offer(new QMimeData); // nothing
        QMenu* menu = p.OpenMenu();
        QVERIFY(menu);
        QCOMPARE(Today(menu).size(), 8);
        QCOMPARE(Today(menu)[0]->text(), QStringLiteral("粘贴图片(&V)"));
        QCOMPARE(Today(menu)[1]->text(), QStringLiteral("添加文字(&T)"));
        QCOMPARE(Today(menu)[2]->text(), QStringLiteral("白边文字(&B)"));
        QVERIFY(Today(menu)[2]->isCheckable() && !Today(menu)[2]->isChecked());
        QCOMPARE(Today(menu)[3]->text(), QStringLiteral("适应图框(&F)"));
        QCOMPARE(Today(menu)[4]->text(), QStringLiteral("旋转和翻转(&O)"));
        QCOMPARE(Today(menu)[5]->text(), QStringLiteral("裁剪(&X)..."));
        QVERIFY(Today(menu)[6]->isSeparator());
        QCOMPARE(Today(menu)[7]->text(), QStringLiteral("重新编辑(&E)"));
        QVERIFY(!Today(menu)[7]->isEnabled()); // nothing saved is shown
        QVERIFY(!Today(menu)[0]->isEnabled());
        menu->close();
        delete menu;

        auto* text = new QMimeData;
        text->setText(QStringLiteral("只有文字"));
        Offer(text);
        menu = p.OpenMenu();
        QVERIFY(!Today(menu)[0]->isEnabled());
        delete menu;

        Offer(Files({Data("good_pcx8.pcx")}));
        menu = p.OpenMenu();
        QVERIFY(Today(menu)[0]->isEnabled());
        Today(menu)[0]->trigger();
        QCOMPARE(p.Size(), QSize(3, 2));
        delete menu;
    }

    // A big photo pasted at its own size: one menu click fits it into the
    // frame at the frame's place, the zoom buttons and Ctrl + wheel go on
    // from there, a wheel without Ctrl zooms nothing.
    void the_menu_fits_the_picture_and_ctrl_wheel_zooms()
    {
        Pasting p;
        QImage photo(800, 600, QImage::Format_RGB32);
        photo.fill(Qt::darkCyan);
        auto* data = new QMimeData;
        data->setImageData(photo);
        Offer(data);
        QMenu* menu = p.OpenMenu();
        Today(menu)[0]->trigger();
        delete menu;
        QCOMPARE(p.Size(), QSize(800, 600));
        p.form->workArea->SetLeft(40); // moved: the fit puts it back

        menu = p.OpenMenu();
        QVERIFY(Today(menu)[3]->isEnabled());
        Today(menu)[3]->trigger();
        delete menu;
        QCOMPARE(p.Size(), QSize(379, 284));
        QCOMPARE(p.form->workArea->pos(), QPoint(5, 16));
        QCOMPARE(p.form->widthLabel->Caption(), QStringLiteral("图片宽度：379"));
        QCOMPARE(p.form->heightLabel->Caption(), QStringLiteral("图片高度：284"));
        QTest::mouseClick(p.form->zoomOutButton, Qt::LeftButton);
        QCOMPARE(p.Size(), QSize(341, 255));

        const auto wheel = [&](QWidget* over, int delta, Qt::KeyboardModifiers mods) {
            const QPointF at(over->width() / 2, over->height() / 2);
            QWheelEvent event(at, over->mapToGlobal(at), {}, {0, delta}, Qt::NoButton, mods, Qt::NoScrollPhase, false);
            QApplication::sendEvent(over, &event);
        };
        wheel(p.form->workArea, 120, Qt::ControlModifier);
        QCOMPARE(p.Size(), QSize(375, 280));
        wheel(p.form->workArea, -240, Qt::ControlModifier); // two notches
        QCOMPARE(p.Size(), QSize(303, 226));
        wheel(p.form->workArea, 60, Qt::ControlModifier); // half a notch, then the other half
        QCOMPARE(p.Size(), QSize(303, 226));
        wheel(p.form->captionOverlay, 60, Qt::ControlModifier);
        QCOMPARE(p.Size(), QSize(333, 248));
        wheel(p.form->workArea, 120, Qt::NoModifier);
        QCOMPARE(p.Size(), QSize(333, 248));
        QCOMPARE(p.form->widthLabel->Caption(), QStringLiteral("图片宽度：333"));
    }

    void an_animated_webp_plays_like_a_gif()
    {
        Pasting p;
        Offer(Picture("image/webp", Data("good_webp_animated.webp")));
        p.Press(p.form->templateList, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(p.Size(), QSize(4, 3));
        QVERIFY(p.form->workArea->Animating());
        std::vector<int> delays;
        auto clock = std::make_unique<HandClock>(&delays);
        HandClock* hand = clock.get();
        p.form->workArea->SetFrameTimer(std::move(clock));
        // Frame 0 for 70 ms, frame 1 for 50 (stored 0), frame 2 for 10
        // (stored 5), then frame 0 again.
        const int want[] = {0, 1, 2, 0};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(FrameOnShow(*p.form->workArea), std::size_t(want[i]));
            QVERIFY(hand->pending);
            if (i == 1)
                QCOMPARE(p.Shown().pixel(2, 0), qRgb(255, 255, 255)); // frame 1 blended over frame 0
            if (i == 2)
                QCOMPARE(p.Shown().pixel(2, 0), kBackground.rgb()); // disposed to transparent
            auto fire = hand->pending;
            fire();
        }
        QCOMPARE(delays, (std::vector<int>{70, 50, 10, 70, 50}));
    }

    void file_names_on_the_command_line()
    {
        QCOMPARE(FilesToOpen({"mugrove"}), QStringList());
        QCOMPARE(FilesToOpen({"mugrove", "file:///tmp/a%20b.png", "rel/c.webp", "/x/file:y"}),
                 QStringList({"/tmp/a b.png", "rel/c.webp", "/x/file:y"}));

        // The first file that decodes shows at its own size when the window opens.
        QSize shown;
        QTimer::singleShot(0, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = w->findChild<PicBox*>(QStringLiteral("图片框1")); box && w->isVisible()) {
                    // The history begins with that picture: undoing a zoom
                    // and then more leaves it.
                    QTest::mouseClick(w->findChild<QWidget*>(QStringLiteral("按钮4")), Qt::LeftButton);
                    QTest::keyClick(w, Qt::Key_Z, Qt::ControlModifier);
                    QTest::keyClick(w, Qt::Key_Z, Qt::ControlModifier);
                    shown = QSize(box->Width(), box->Height());
                }
            QApplication::closeAllWindows();
        });
        QCOMPARE(RunProgram(DefaultWindowDefinition(), {Data("webp_truncated.webp"), Data("good_png_interlaced.png")}), 0);
        QCOMPARE(shown, QSize(11, 9));
    }
};

QTEST_MAIN(PasteTest)
#include "test_paste.moc"
