// A clip's segment through the real window: the work area's menu, the
// "截取片段" dialog, the GIF a save writes of the segment (read back with
// giflib) and the save button's progress. Frame n of sixty_fps.mp4 tells its
// number: the left half grey at 20 + 10 (n / 10), the right at 20 + 20 (n % 10).
#include "tests/output/GifReadBack.h"
#include "tests/output/TestAnimation.h"
#include "tests/support/HandTimer.h"
#include "tests/support/ShownForm.h"

#include "app/model/Button.h"
#include "app/model/Label.h"
#include "app/model/MainWindow.h"
#include "app/program/SegmentDialog.h"
#include "controls/PicturePaint.h"
#include "output/GifPacing.h"
#include "templates/PhotoDrop.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <algorithm>
#include <any>
#include <cmath>
#include <cstdlib>
#include <numeric>

using namespace mugrove;
using namespace mugrove::testing;

namespace {

QString ClipFile(const char* name)
{
    return QStringLiteral(MUGROVE_TEST_DATA "/clips/") + QString::fromUtf8(name);
}

// The number the frame tells, read in the band of rows [top, top + height).
int FrameNumber(const QImage& image, int top, int height)
{
    const int y = top + height / 2;
    const int left = qGreen(image.pixel(image.width() / 4, y));
    const int right = qGreen(image.pixel(image.width() * 3 / 4, y));
    return int(std::lround((left - 20) / 10.0)) * 10 + int(std::lround((right - 20) / 20.0));
}

// The work area's menu, opened as a right-click does.
QMenu* OpenMenu(Form& form)
{
    const QPoint at(10, 10);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, form.workArea->mapToGlobal(at));
    QApplication::sendEvent(form.workArea, &event);
    for (QMenu* menu : form.workArea->findChildren<QMenu*>(QStringLiteral("workAreaMenu")))
        if (menu->isVisible()) {
            menu->close(); // as a menu does before its entry acts
            return menu;
        }
    return nullptr;
}

QStringList MenuTexts(Form& form)
{
    QStringList texts;
    for (const QAction* action : OpenMenu(form)->actions())
        texts << action->text();
    return texts;
}

// Opens the dialog with the menu's entry, and activates it as a desktop would.
SegmentDialog* OpenDialog(Form& form)
{
    for (QAction* action : OpenMenu(form)->actions())
        if (action->text() == QStringLiteral("截取片段(&C)..."))
            action->trigger();
    for (auto* dialog : form.window->findChildren<SegmentDialog*>())
        if (dialog->isVisible()) {
            QApplication::setActiveWindow(dialog);
            return QTest::qWaitForWindowActive(dialog) ? dialog : nullptr;
        }
    return nullptr;
}

QLineEdit& Text(QDoubleSpinBox& field)
{
    return *field.findChild<QLineEdit*>();
}

ClipSegment Playing(Form& form)
{
    return form.workArea->Decoded()->clip->segment;
}

} // namespace

class SegmentTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir home_;

    // The GIF of seconds 0.5 to 2.5 of sixty_fps.mp4 at 192 x 128, a green
    // caption over its lower half.
    void CheckSegmentGif(const PlayedGif& gif)
    {
        QVERIFY(gif.ok);
        QCOMPARE(QSize(gif.width, gif.height), QSize(192, 128));
        // 2 s of a 60 fps clip: 60 frames, every other one, the last included.
        QCOMPARE(int(gif.frames.size()), 60);
        QCOMPARE(std::accumulate(gif.delaysCs.begin(), gif.delaysCs.end(), 0), 200);
        for (std::size_t k = 0; k < gif.frames.size(); ++k) {
            QVERIFY2(gif.delaysCs[k] >= 2, qPrintable(QString::number(k)));
            const int number = FrameNumber(gif.frames[k], 0, 60);
            QCOMPARE(number, k + 1 == gif.frames.size() ? 149 : 30 + 2 * int(k));
            int green = 0;
            for (int y = 64; y < 128; ++y)
                for (int x = 0; x < 192; ++x)
                    green += gif.frames[k].pixel(x, y) == 0xFF00FF00u;
            QVERIFY2(green > 30, qPrintable(QStringLiteral("frame %1: %2").arg(k).arg(green)));
        }
    }

private slots:
    void a_gif_keeps_the_segments_time_at_thirty_frames_a_second_at_most()
    {
        const auto rate = [](int n, double fps) {
            std::vector<int> starts;
            for (int i = 0; i < n; ++i)
                starts.push_back(int(std::lround(i * 1000.0 / fps)));
            return starts;
        };
        struct Case {
            const char* name;
            std::vector<int> starts;
            int end, frames;
        };
        const Case cases[] = {{"30 fps stamped in ms", rate(30, 30), 1000, 30}, {"48 fps", rate(48, 48), 1000, 30},
                              {"first cut by the start", {0, 10, 50, 90, 130}, 170, 5},
                              {"last cut by the end", {0, 100, 200}, 205, 3}, {"one frame", {0}, 500, 1}};
        for (const Case& c : cases) {
            const std::vector<PacedFrame> paced = PaceForGif(c.starts, c.end);
            // The first and the last frame show, in order, none under 2 cs, for as long as the segment.
            QVERIFY2(int(paced.size()) == c.frames && paced.front().source == 0 &&
                         paced.back().source == c.starts.size() - 1, c.name);
            int total = 0;
            for (std::size_t k = 0; k < paced.size(); ++k) {
                QVERIFY2(paced[k].delayCs >= 2 && (k == 0 || paced[k].source > paced[k - 1].source), c.name);
                total += paced[k].delayCs;
            }
            QVERIFY2(total == int(std::lround(c.end / 10.0)), c.name);
        }
    }

    void a_segment_chosen_in_the_dialog_saves_as_a_gif_of_its_frames_and_time()
    {
        const QString desktop = home_.filePath(QStringLiteral("desk"));
        QVERIFY(QDir().mkpath(desktop));
        auto form = ShowForm({[] { return QDateTime(QDate(2026, 12, 9), QTime(17, 0, 1)); }, [desktop] { return desktop; }});
        QVERIFY(form);
        form->window->Created.Raise();
        QVERIFY(!MenuTexts(*form).contains(QStringLiteral("截取片段(&C)..."))); // a template: no clip
        QVERIFY(ShowFirstPicture(*form, {ClipFile("sixty_fps.mp4")}));
        const QStringList texts = MenuTexts(*form);
        QCOMPARE(texts.mid(texts.size() - 6),
                 (QStringList{QStringLiteral("适应图框(&F)"), QStringLiteral("旋转和翻转(&O)"), QStringLiteral("裁剪(&X)..."),
                              QStringLiteral("截取片段(&C)..."), QString(), QStringLiteral("重新编辑(&E)")}));
        QCOMPARE(Playing(*form).end, 3.0);

        SegmentDialog* dialog = OpenDialog(*form);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("截取片段"));
        QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("lengthLabel"))->text(), QStringLiteral("片长 3.0 秒"));
        QDoubleSpinBox& start = dialog->StartField();
        QDoubleSpinBox& end = dialog->EndField();
        QVERIFY(start.hasFocus());
        QCOMPARE(Text(start).selectedText(), QStringLiteral("0.0"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(end.hasFocus());
        QCOMPARE(Text(end).selectedText(), QStringLiteral("3.0"));
        // A start at or after the end cannot be confirmed, not even with Enter.
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("1"));
        start.setValue(1.0);
        QVERIFY(!dialog->OkButton().isEnabled());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(dialog->isVisible());
        start.setValue(0.5);
        QVERIFY(dialog->OkButton().isEnabled());
        // The preview shows the frame at the start once it is decoded.
        QSignalSpy previews(dialog, &SegmentDialog::PreviewShown);
        while (previews.isEmpty() || previews.last().at(0).toDouble() != 0.5)
            QVERIFY(previews.wait(10000));
        const QImage preview = dialog->Preview().pixmap().toImage();
        QVERIFY(!preview.isNull());
        QCOMPARE(FrameNumber(preview, 0, preview.height()), 30);
        // Esc leaves the clip as it played.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(Playing(*form).start, 0.0);
        QCOMPARE(Playing(*form).end, 3.0);

        // Typed and confirmed with Enter, the segment plays.
        dialog = OpenDialog(*form);
        QVERIFY(dialog);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("0.5"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("2.5"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(Playing(*form).start, 0.5);
        QCOMPARE(Playing(*form).end, 2.5);
        QVERIFY(form->workArea->Animating());
        QCOMPARE(QSize(form->workArea->width(), form->workArea->height()), QSize(48, 32));

        // Four times the clip's size, with a caption over the lower half.
        form->workArea->SetWidth(192);
        form->workArea->SetHeight(128);
        TransLabel& caption = *form->captionOverlay;
        caption.SetCaption(QStringLiteral("字幕字幕"));
        caption.SetTextColour(0x0000FF00);
        caption.SetLeft(Box(*form).x() + 10);
        caption.SetTop(Box(*form).y() + 70);

        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QVERIFY(WaitForAnimatedSave(*form));
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存成功!!"));
        QFile file(desktop + QStringLiteral("/2026年12月9日17时0分1秒.gif"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        CheckSegmentGif(PlayGif(file.readAll()));
    }

    // The clip's worker averages each frame down to the box ahead of time;
    // the box must still show exactly what its own paint makes of the frame.
    void a_clip_shrunk_on_its_worker_paints_as_the_box_would()
    {
        auto form = ShowForm();
        QVERIFY(form);
        form->window->Created.Raise();
        auto* timer = new HandTimer;
        form->workArea->SetFrameTimer(std::unique_ptr<FrameTimer>(timer));
        QVERIFY(ShowFirstPicture(*form, {ClipFile("sixty_fps.mp4")}));
        form->workArea->SetWidth(20); // the clip is 48 x 32
        form->workArea->SetHeight(13);
        const Animation& clip = *form->workArea->Decoded()->animation;
        bool worked = false;
        for (int k = 0; k < 12; ++k) {
            timer->Fire();
            const BoxLook look = form->workArea->Look();
            QImage want(look.size, QImage::Format_RGB32), shrunk;
            QPainter painter(&want);
            PaintPicture(painter, look.size, look.background, PictureView(clip.Canvas(), look.frameFormat), look.fit,
                         look.smooth, shrunk);
            painter.end();
            worked = worked || std::any_cast<PreparedFrame>(&clip.TaskResult()) != nullptr;
            QCOMPARE(Box(*form).grab().toImage().convertToFormat(QImage::Format_RGB32), want);
        }
        QVERIFY(worked);
    }

    void a_clip_larger_than_the_frame_opens_fitted_to_it_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QSize>("opened");
        // The largest size with the clip's proportions within 379 x 384:
        // 1080 * 379 / 1920 = 213.2 rows; 360 * 384 / 640 = 216 columns.
        QTest::newRow("1920 x 1080") << QStringLiteral("big_1920x1080.mp4") << QSize(379, 213);
        QTest::newRow("360 x 640") << QStringLiteral("tall_360x640.mp4") << QSize(216, 384);
        QTest::newRow("320 x 180") << QStringLiteral("small_320x180.mp4") << QSize(320, 180);
    }
    void a_clip_larger_than_the_frame_opens_fitted_to_it()
    {
        QFETCH(QString, file);
        QFETCH(QSize, opened);
        auto form = ShowForm();
        QVERIFY(form);
        QVERIFY(ShowFirstPicture(*form, {ClipFile(file.toUtf8().constData())}));
        QCOMPARE(QSize(form->workArea->Width(), form->workArea->Height()), opened);
        QCOMPARE(form->widthLabel->Caption(), QStringLiteral("图片宽度：%1").arg(opened.width()));
        QCOMPARE(form->heightLabel->Caption(), QStringLiteral("图片高度：%1").arg(opened.height()));
        // Zoom goes on from there as for any picture.
        QTest::mouseClick(form->zoomInButton, Qt::LeftButton);
        QCOMPARE(form->workArea->Width(), int(opened.width() * 1.1));
    }

    void a_frame_the_size_of_the_preview_shows_as_it_is()
    {
        // small_320x180.mp4 opens with a flat grey 20 frame that fills the
        // preview exactly, so the preview is that frame, not a scaled copy.
        auto form = ShowForm();
        QVERIFY(form);
        QVERIFY(ShowFirstPicture(*form, {ClipFile("small_320x180.mp4")}));
        SegmentDialog* dialog = OpenDialog(*form);
        QVERIFY(dialog);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->Preview().pixmap().isNull(), 10000);
        const QImage preview = dialog->Preview().pixmap().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(preview.size(), QSize(320, 180));
        int worst = 0;
        for (int y = 0; y < preview.height(); ++y)
            for (int x = 0; x < preview.width(); ++x) {
                const QRgb p = preview.pixel(x, y);
                worst = std::max({worst, std::abs(qRed(p) - 20), std::abs(qGreen(p) - 20), std::abs(qBlue(p) - 20)});
            }
        QVERIFY2(worst <= 4, qPrintable(QString::number(worst)));
        dialog->reject();
    }

    void the_save_button_shows_how_far_a_save_has_come()
    {
        const QString desktop = home_.filePath(QStringLiteral("progress"));
        QVERIFY(QDir().mkpath(desktop));
        auto form = ShowForm();
        QVERIFY(form);
        // The worker waits before the third of four frames until let go.
        auto go = std::make_shared<QSemaphore>();
        auto player = std::make_unique<TestAnimation>(40, 30, std::vector<int>(4, 100));
        player->HoldBeforeEachFrame([go](std::size_t index) {
            if (index == 2)
                go->tryAcquire(1, 60000);
        });
        const OutputOutcome started =
            form->events->StartAnimatedSave(std::move(player), desktop, QStringLiteral("p.gif"));
        QCOMPARE(started.kind, OutputOutcome::Kind::Working);
        QTRY_COMPARE_WITH_TIMEOUT(form->saveButton->Caption(), QStringLiteral("保存中... 50%"), 30000);
        go->release();
        QVERIFY(WaitForAnimatedSave(*form));
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存成功!!"));
    }
};

QTEST_MAIN(SegmentTest)
#include "test_segment.moc"
