// Saving moving pictures as MP4 through the real window: the save button's
// menu chooses the format, the save writes the frames as the window shows
// them (captions included) with a clip's own sound, and the file is read
// back through libavformat as a player reads it. flash_beep.mp4 is 3 s of
// 160 × 96 at 25 frames a second, dark but white at 1 s and 2 s, when a
// 40 ms 1 kHz beep starts on both channels.
#include "tests/mp4/Mp4ReadBack.h"
#include "tests/output/TestAnimation.h"
#include "tests/support/ShownForm.h"
#include "tests/support/StderrCapture.h"

#include "app/model/Button.h"
#include "app/program/SizeLimitMenu.h"
#include "output/mp4/Mp4Loader.h"
#include "templates/PhotoDrop.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QSemaphore>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstdlib>

using namespace mugrove;
using namespace mugrove::testing;
using mugrove::test::ReadBack;
using mugrove::test::ReadMp4;
using mugrove::test::ReadPicture;

namespace {

const QString kFlashBeep = QStringLiteral(MUGROVE_TEST_DATA "/clips/flash_beep.mp4");
constexpr double kFrameSeconds = 0.04;

QDateTime Moment()
{
    return QDateTime(QDate(2026, 12, 9), QTime(17, 0, 1));
}

QAction* MenuEntry(Form& form, const QString& text)
{
    for (QAction* action : form.saveButton->findChild<QMenu*>(QStringLiteral("sizeLimitMenu"))->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

void ChooseMp4(Form& form)
{
    MenuEntry(form, QStringLiteral("MP4 视频(&M)"))->trigger();
}

// Sets a limit in KB through the menu's last size entry and its dialog.
void ChooseLimitKb(Form& form, int kb)
{
    MenuEntry(form, QStringLiteral("自定义大小(&C)..."))->trigger();
    for (auto* dialog : form.saveButton->findChildren<QDialog*>(QStringLiteral("sizeLimitDialog")))
        if (dialog->isVisible()) {
            dialog->findChild<QSpinBox*>()->setValue(kb);
            dialog->accept();
        }
}

std::vector<std::uint8_t> ReadFile(const QString& name)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return {bytes.begin(), bytes.end()};
}

double Brightness(const ReadPicture& p)
{
    double sum = 0;
    for (const std::uint32_t c : p.rgb)
        sum += qGreen(c);
    return sum / double(p.rgb.size());
}

// Pixels of the caption's green in the rows from `top` down.
int GreenPixels(const ReadPicture& p, int top)
{
    int count = 0;
    for (int y = top; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const std::uint32_t c = p.At(x, y);
            count += qGreen(c) > 160 && qRed(c) < 110 && qBlue(c) < 110;
        }
    return count;
}

// When the sound first gets loud at or after `from` seconds (before `to`).
double Onset(const ReadMp4& r, double from, double to)
{
    for (std::size_t i = 0; i < r.sound.size(); ++i) {
        const double t = r.soundStart + double(i) / r.sampleRate;
        if (t >= from && t < to && std::abs(r.sound[i]) > 0.2f)
            return t;
    }
    return -1;
}

// The pitch of the sound from 0.5 s to 1.5 s, from its zero crossings.
double Pitch(const ReadMp4& r)
{
    int crossings = 0;
    for (std::size_t i = std::size_t(r.sampleRate / 2) + 1; i < std::size_t(r.sampleRate * 3 / 2) && i < r.sound.size(); ++i)
        crossings += (r.sound[i - 1] < 0) != (r.sound[i] < 0);
    return crossings / 2.0;
}

} // namespace

class Mp4SaveTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir home_;

    QString NewDesktop()
    {
        const QString desktop = home_.filePath(QStringLiteral("desk%1").arg(std::rand()));
        QDir().mkpath(desktop);
        return desktop;
    }

    std::unique_ptr<Form> FormOn(const QString& desktop)
    {
        return ShowForm({Moment, [desktop] { return desktop; }});
    }

private slots:
    void the_menu_chooses_the_format_and_the_tooltip_names_it()
    {
        auto form = ShowForm();
        QVERIFY(form);
        QMenu* menu = form->saveButton->findChild<QMenu*>(QStringLiteral("sizeLimitMenu"));
        const QList<QAction*> actions = menu->actions();
        // After the size entries, a separator and the two formats, GIF first and checked.
        QVERIFY(actions.size() >= 3);
        QVERIFY(actions[actions.size() - 3]->isSeparator());
        QAction* gif = actions[actions.size() - 2];
        QAction* mp4 = actions.back();
        QCOMPARE(gif->text(), QStringLiteral("GIF 动图(&G)"));
        QCOMPARE(mp4->text(), QStringLiteral("MP4 视频(&M)"));
        QVERIFY(gif->isChecked() && !mp4->isChecked());
        QCOMPARE(form->events->Limits().Format(), MovingFormat::Gif);
        QCOMPARE(form->saveButton->toolTip(), QStringLiteral("大小上限：不限；格式：GIF"));
        // Each group keeps its own choice.
        const struct {
            QString entry;
            MovingFormat format;
            QString tip;
        } steps[] = {
            {QStringLiteral("MP4 视频(&M)"), MovingFormat::Mp4, QStringLiteral("大小上限：不限；格式：MP4")},
            {QStringLiteral("1 MB 以内（微信表情）(&W)"), MovingFormat::Mp4, QStringLiteral("大小上限：1 MB；格式：MP4")},
            {QStringLiteral("GIF 动图(&G)"), MovingFormat::Gif, QStringLiteral("大小上限：1 MB；格式：GIF")},
            {QStringLiteral("MP4 视频(&M)"), MovingFormat::Mp4, QStringLiteral("大小上限：1 MB；格式：MP4")},
        };
        for (const auto& step : steps) {
            MenuEntry(*form, step.entry)->trigger();
            QCOMPARE(form->events->Limits().Format(), step.format);
            QCOMPARE(form->saveButton->toolTip(), step.tip);
            QCOMPARE(gif->isChecked(), step.format == MovingFormat::Gif);
            QCOMPARE(mp4->isChecked(), step.format == MovingFormat::Mp4);
        }
    }

    void a_clip_with_sound_saves_as_an_mp4_with_its_sound_in_sync_data()
    {
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("end"); // 0: the whole clip as it opens
        QTest::addColumn<int>("frames");
        QTest::addColumn<QList<double>>("flashes"); // in the saved file's time
        QTest::newRow("the whole clip, by the save button") << 0.0 << 0.0 << 75 << QList<double>{1.0, 2.0};
        QTest::newRow("a segment") << 0.6 << 2.6 << 50 << QList<double>{0.4, 1.4};
        QTest::newRow("a segment from a key frame") << 1.0 << 2.2 << 30 << QList<double>{0.0, 1.0};
    }
    void a_clip_with_sound_saves_as_an_mp4_with_its_sound_in_sync()
    {
        QFETCH(double, start);
        QFETCH(double, end);
        QFETCH(int, frames);
        QFETCH(QList<double>, flashes);
        const QString desktop = NewDesktop();
        auto form = FormOn(desktop);
        QVERIFY(form);
        form->window->Created.Raise();
        QVERIFY(ShowFirstPicture(*form, {kFlashBeep}));
        QVERIFY(form->workArea->Animating());
        ChooseMp4(*form);
        // An odd size, with a green caption over the lower half.
        form->workArea->SetWidth(161);
        form->workArea->SetHeight(97);
        TransLabel& caption = *form->captionOverlay;
        caption.SetCaption(QStringLiteral("字幕字幕"));
        caption.SetTextColour(0x0000FF00);
        caption.SetLeft(Box(*form).x() + 10);
        caption.SetTop(Box(*form).y() + 55);

        if (end == 0) {
            QTest::mouseClick(form->saveButton, Qt::LeftButton);
        } else {
            ShownClip clip = *form->workArea->Decoded()->clip;
            clip.segment = {start, end};
            QCOMPARE(form->events->StartVideoSave(nullptr, clip, desktop, QStringLiteral("2026年12月9日17时0分1秒.mp4")).kind,
                     OutputOutcome::Kind::Working);
        }
        QVERIFY(WaitForAnimatedSave(*form));
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存成功!!"));
        QCOMPARE(QDir(desktop).entryList(QDir::Files), QStringList{QStringLiteral("2026年12月9日17时0分1秒.mp4")});
        const std::vector<std::uint8_t> bytes = ReadFile(desktop + QStringLiteral("/2026年12月9日17时0分1秒.mp4"));
        const ReadMp4 r = ReadBack(bytes);
        QVERIFY(r.opened);

        QCOMPARE(r.streams, 2);
        QCOMPARE(QString::fromStdString(r.videoCodec), QStringLiteral("h264"));
        QCOMPARE(QString::fromStdString(r.soundCodec), QStringLiteral("aac"));
        QVERIFY(r.BoxIndex("moov") >= 0 && r.BoxIndex("moov") < r.BoxIndex("mdat"));
        // The odd side made even by one more row and column.
        QCOMPARE(QSize(r.width, r.height), QSize(162, 98));

        // Every frame, each at its own time, the caption on each.
        const double seconds = frames * kFrameSeconds;
        QCOMPARE(int(r.pictures.size()), frames);
        QVERIFY2(std::abs(r.seconds - seconds) < 0.005, qPrintable(QString::number(r.seconds)));
        QList<double> bright;
        for (int k = 0; k < frames; ++k) {
            const ReadPicture& p = r.pictures[std::size_t(k)];
            QVERIFY2(std::abs(p.seconds - k * kFrameSeconds) < 0.002, qPrintable(QString::number(p.seconds)));
            QVERIFY2(GreenPixels(p, 49) > 40, qPrintable(QString::number(k)));
            if (Brightness(p) > 150) {
                bright << p.seconds;
                // The repeated edge is as bright as the picture beside it.
                QVERIFY(qGreen(p.At(161, 5)) > 200 && qGreen(p.At(5, 97)) > 200);
            }
        }
        QCOMPARE(bright.size(), flashes.size());

        // The sound as long as the pictures, each beep within a frame of its flash.
        QCOMPARE(r.channels, 2);
        QVERIFY2(std::abs(r.soundSeconds - seconds) < 0.03, qPrintable(QString::number(r.soundSeconds)));
        for (qsizetype i = 0; i < flashes.size(); ++i) {
            QVERIFY(std::abs(bright[i] - flashes[i]) < 0.002);
            const double onset = Onset(r, flashes[i] - 0.3, flashes[i] + 0.3);
            QVERIFY2(std::abs(onset - flashes[i]) <= kFrameSeconds,
                     qPrintable(QStringLiteral("%1 against %2").arg(onset).arg(flashes[i])));
        }
    }

    void clips_of_every_kind_save_upright_with_their_sound_or_without_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<double>("pitch"); // 0: no sound stream
        QTest::addColumn<QByteArray>("said"); // on standard error
        QTest::newRow("no sound") << "count_h264.mp4" << QSize(48, 32) << 0.0 << QByteArray();
        QTest::newRow("sound") << "count_with_sound.mp4" << QSize(48, 32) << 440.0 << QByteArray();
        QTest::newRow("two sounds, the second the default") << "two_sounds.mkv" << QSize(48, 32) << 1000.0 << QByteArray();
        QTest::newRow("sound no decoder knows") << "sound_unknown_codec.mp4" << QSize(48, 32) << 0.0
                                                << QByteArray("sound cannot be decoded");
        // Stored 48 × 32 with a white top left quarter, shown turned a quarter.
        QTest::newRow("turned a quarter") << "rotated_90.mp4" << QSize(32, 48) << 0.0 << QByteArray();
    }
    void clips_of_every_kind_save_upright_with_their_sound_or_without()
    {
        QFETCH(QString, file);
        QFETCH(QSize, size);
        QFETCH(double, pitch);
        QFETCH(QByteArray, said);
        const QString desktop = NewDesktop();
        auto form = FormOn(desktop);
        QVERIFY(form);
        form->window->Created.Raise();
        QVERIFY(ShowFirstPicture(*form, {QStringLiteral(MUGROVE_TEST_DATA "/clips/") + file}));
        ChooseMp4(*form);
        StderrCapture errors;
        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QVERIFY(WaitForAnimatedSave(*form));
        const QByteArray written = errors.Text();
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存成功!!"));
        const ReadMp4 r = ReadBack(ReadFile(desktop + QStringLiteral("/2026年12月9日17时0分1秒.mp4")));
        QCOMPARE(QSize(r.width, r.height), size);
        QCOMPARE(r.streams, pitch > 0 ? 2 : 1);
        if (pitch > 0)
            QVERIFY2(std::abs(Pitch(r) - pitch) < pitch * 0.03, qPrintable(QString::number(Pitch(r))));
        if (said.isEmpty())
            QVERIFY2(!written.contains("sound"), written.constData());
        else
            QCOMPARE(written.count(said), 1);
        if (file.startsWith(QStringLiteral("rotated"))) {
            // The white quarter turned to the top right.
            const ReadPicture& p = r.pictures.front();
            QVERIFY(qGreen(p.At(24, 12)) > 200 && qGreen(p.At(8, 12)) < 50);
        }
    }

    void an_animation_saves_as_an_mp4_without_sound_in_its_own_time()
    {
        const QString desktop = NewDesktop();
        auto form = FormOn(desktop);
        QVERIFY(form);
        ChooseMp4(*form);
        // The worker waits before the third of four frames until let go:
        // half the frames are done, and the button says so.
        auto go = std::make_shared<QSemaphore>();
        const std::vector<int> delays{100, 50, 200, 70};
        auto player = std::make_unique<TestAnimation>(40, 30, delays);
        player->HoldBeforeEachFrame([go](std::size_t index) {
            if (index == 2)
                go->tryAcquire(1, 60000);
        });
        QCOMPARE(form->events->StartVideoSave(std::move(player), std::nullopt, desktop, QStringLiteral("a.mp4")).kind,
                 OutputOutcome::Kind::Working);
        QTRY_COMPARE_WITH_TIMEOUT(form->saveButton->Caption(), QStringLiteral("保存中... 50%"), 30000);
        QVERIFY(QDir(desktop).entryList(QDir::Files | QDir::Hidden).isEmpty()); // nothing before it is whole
        go->release();
        QVERIFY(WaitForAnimatedSave(*form));
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存成功!!"));
        const ReadMp4 r = ReadBack(ReadFile(desktop + QStringLiteral("/a.mp4")));
        QCOMPARE(r.streams, 1);
        QVERIFY(r.soundCodec.empty());
        QCOMPARE(int(r.pictures.size()), 4);
        double at = 0;
        for (std::size_t k = 0; k < delays.size(); ++k) {
            QVERIFY2(std::abs(r.pictures[k].seconds - at) < 0.002, qPrintable(QString::number(r.pictures[k].seconds)));
            at += delays[k] / 1000.0;
        }
        QVERIFY(std::abs(r.seconds - at) < 0.005);
    }

    // The writer is a module loaded on the first MP4 save: one that cannot
    // be loaded fails the save visibly, says why and writes nothing; with
    // the module back in its place the next save is written.
    void an_encoder_that_cannot_be_loaded_fails_the_save_visibly()
    {
        const QString desktop = NewDesktop();
        auto form = FormOn(desktop);
        QVERIFY(form);
        ChooseMp4(*form);
        QTemporaryDir scratch;
        const QString garbage = scratch.filePath(QStringLiteral("mugrove-mp4.so"));
        QFile file(garbage);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a library\n") > 0);
        file.close();
        const struct {
            QString module; // empty: its usual places
            const char* said; // null: saved
        } cases[] = {
            {scratch.filePath(QStringLiteral("missing.so")), "was not found"},
            {garbage, "could not be loaded"},
            {QString(), nullptr},
        };
        for (const auto& c : cases) {
            mp4::LoadModuleFrom(c.module.toStdString());
            StderrCapture errors;
            auto player = std::make_unique<TestAnimation>(40, 30, std::vector<int>{100, 60});
            QCOMPARE(form->events->StartVideoSave(std::move(player), std::nullopt, desktop, QStringLiteral("b.mp4")).kind,
                     OutputOutcome::Kind::Working);
            QVERIFY(WaitForAnimatedSave(*form));
            const QByteArray said = errors.Text();
            if (c.said != nullptr) {
                QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存失败!!"));
                QVERIFY(QDir(desktop).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
                QVERIFY2(said.contains("save failed") && said.contains("MP4 encoder") && said.contains(c.said),
                         said.constData());
            } else {
                QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存成功!!"));
                QCOMPARE(int(ReadBack(ReadFile(desktop + QStringLiteral("/b.mp4"))).pictures.size()), 2);
            }
        }
    }

    void a_still_saves_as_a_jpeg_whatever_is_chosen()
    {
        const QString desktop = NewDesktop();
        auto form = FormOn(desktop);
        QVERIFY(form);
        form->window->Created.Raise();
        ChooseMp4(*form);
        QVERIFY(!form->workArea->Animating());
        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存成功!!"));
        QCOMPARE(QDir(desktop).entryList(QDir::Files), QStringList{QStringLiteral("2026年12月9日17时0分1秒.jpg")});
    }

    void a_limit_is_met_or_the_save_fails_visibly()
    {
        const QString desktop = NewDesktop();
        auto form = FormOn(desktop);
        QVERIFY(form);
        form->window->Created.Raise();
        QVERIFY(ShowFirstPicture(*form, {kFlashBeep}));
        ChooseMp4(*form);
        const QString name = desktop + QStringLiteral("/2026年12月9日17时0分1秒.mp4");

        // 40 KB: less than the sound's full rate would take for 3 s (128
        // kbit/s, 48 KB), so both streams are coded at rates chosen for it.
        ChooseLimitKb(*form, 40);
        QCOMPARE(form->events->Limits().Limit(), ByteLimit(40000));
        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QVERIFY(WaitForAnimatedSave(*form));
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存成功!!"));
        const std::vector<std::uint8_t> limited = ReadFile(name);
        QVERIFY2(!limited.empty() && limited.size() <= 40000, qPrintable(QString::number(limited.size())));
        const ReadMp4 r = ReadBack(limited);
        QCOMPARE(r.streams, 2);
        QCOMPARE(QSize(r.width, r.height), QSize(160, 96));
        QCOMPARE(int(r.pictures.size()), 75);
        QVERIFY(std::abs(r.soundSeconds - 3.0) < 0.03);
        QVERIFY(r.BoxIndex("moov") < r.BoxIndex("mdat"));
        QVERIFY(QFile::remove(name));

        // 5 KB holds not even the sound: nothing is written, and why is said.
        ChooseLimitKb(*form, 5);
        QCOMPARE(form->events->Limits().Limit(), ByteLimit(5000));
        StderrCapture errors;
        QTest::mouseClick(form->saveButton, Qt::LeftButton);
        QVERIFY(WaitForAnimatedSave(*form));
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存失败!!"));
        QVERIFY(QDir(desktop).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
        const QByteArray said = errors.Text();
        QVERIFY2(said.contains("save failed") && said.contains("limit"), said.constData());
    }
};

QTEST_MAIN(Mp4SaveTest)
#include "test_mp4_save.moc"
