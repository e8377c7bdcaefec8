// Saving within a size limit: the menu that sets it, JPEGs that give up
// quality before size, GIFs that fit and still play as long, and limits
// nothing fits.
#include "tests/support/ShownForm.h"
#include "tests/support/StderrCapture.h"

#include "GifReadBack.h"
#include "TestAnimation.h"
#include "app/model/Button.h"
#include "app/program/SizeLimitMenu.h"
#include "output/GifFit.h"
#include "output/JpegEncoder.h"
#include "output/SizeLimit.h"

#include <QContextMenuEvent>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <map>
#include <numeric>
#include <optional>
#include <random>
#include <vector>

using namespace mugrove;
using namespace mugrove::testing;

namespace {

QImage Still(bool noisy)
{
    QImage image(640, 480, QImage::Format_RGB32);
    std::mt19937 random(7);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            // A cartoon: flat areas with hard edges; a photo: grain over light.
            const QRgb flat = (x / 80 + y / 60) % 2 ? qRgb(250, 200, 40) : qRgb(30, 90, 200);
            const int grain = int(random() % 96);
            image.setPixel(x, y, noisy ? qRgb(x * 255 / 640 / 2 + grain, y * 255 / 480 / 2 + grain, 100 + grain / 2)
                                       : flat);
        }
    return image;
}

QSize JpegSize(const EncodedBytes& bytes)
{
    return QImage::fromData(bytes.data(), int(bytes.size()), "JPG").size();
}

QByteArray ReadAll(const QString& name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QAction* Entry(Form& form, int index)
{
    return form.saveButton->findChild<QMenu*>(QStringLiteral("sizeLimitMenu"))->actions().at(index);
}

// The limit dialog on show (one closed before may not be gone yet).
QDialog* LimitDialog(Form& form)
{
    for (auto* dialog : form.saveButton->findChildren<QDialog*>(QStringLiteral("sizeLimitDialog")))
        if (dialog->isVisible())
            return dialog;
    return nullptr;
}

} // namespace

class SizeLimitTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir home_;
    QString desktop_;

    // Saves a film under `limit` and returns the file's bytes (empty
    // when the save failed).
    QByteArray SaveFilm(Form& form, ByteLimit limit)
    {
        const QString name = QStringLiteral("%1.gif").arg(limit);
        if (limit == 0)
            Entry(form, 0)->trigger();
        else {
            Entry(form, 4)->trigger();
            auto* dialog = LimitDialog(form);
            dialog->findChild<QSpinBox*>()->setValue(int(limit / 1000));
            dialog->accept();
        }
        if (form.events->StartAnimatedSave(std::make_unique<TestAnimation>(240, 180, std::vector<int>(12, 50)), desktop_, name).kind
            != OutputOutcome::Kind::Working)
            return {};
        if (!WaitForAnimatedSave(form))
            return {};
        return ReadAll(desktop_ + u'/' + name);
    }

private slots:
    void init()
    {
        desktop_ = home_.filePath(QStringLiteral("desk%1").arg(std::rand()));
        QVERIFY(QDir().mkpath(desktop_));
    }

    void the_menu_sets_one_limit_and_the_tooltip_names_it()
    {
        auto form = ShowForm();
        QVERIFY(form);
        auto* menu = form->saveButton->findChild<QMenu*>(QStringLiteral("sizeLimitMenu"));
        QVERIFY(menu);
        // A right-click on the button opens it.
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5), form->saveButton->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(form->saveButton, &click);
        QTRY_VERIFY_WITH_TIMEOUT(menu->isVisible(), 2000);
        menu->close();
        QStringList texts;
        for (QAction* action : menu->actions())
            texts << action->text();
        QCOMPARE(texts, (QStringList{QStringLiteral("不限大小(&N)"), QStringLiteral("1 MB 以内（微信表情）(&W)"),
                                     QStringLiteral("5 MB 以内(&5)"), QStringLiteral("10 MB 以内（Discord）(&D)"),
                                     QStringLiteral("自定义大小(&C)...")}));
        const struct {
            int entry;
            ByteLimit limit;
            const char* tip;
        } cases[] = {{0, 0, "不限"}, {1, 1000000, "1 MB"}, {2, 5000000, "5 MB"}, {3, 10000000, "10 MB"}};
        for (const auto& c : cases) {
            Entry(*form, c.entry)->trigger();
            QCOMPARE(form->events->Limits().Limit(), c.limit);
            QCOMPARE(form->saveButton->toolTip(), QStringLiteral("大小上限：") + QString::fromUtf8(c.tip));
            for (int i = 0; i < 5; ++i)
                QCOMPARE(Entry(*form, i)->isChecked(), i == c.entry);
        }

        // The custom entry: a focused number field with its text selected;
        // Esc keeps the old limit, Enter takes the new one in KB.
        for (const bool confirm : {false, true}) {
            Entry(*form, 4)->trigger();
            auto* dialog = LimitDialog(*form);
            QVERIFY(dialog);
            auto* field = dialog->findChild<QSpinBox*>();
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            QTRY_VERIFY_WITH_TIMEOUT(field->hasFocus(), 2000);
            QVERIFY(field->findChild<QLineEdit*>()->hasSelectedText());
            QTest::keyClicks(field, QStringLiteral("250"));
            QTest::keyClick(field, confirm ? Qt::Key_Return : Qt::Key_Escape);
            QTRY_VERIFY_WITH_TIMEOUT(!dialog->isVisible(), 2000);
            QCOMPARE(form->events->Limits().Limit(), confirm ? ByteLimit(250000) : ByteLimit(10000000));
            QCOMPARE(Entry(*form, confirm ? 4 : 3)->isChecked(), true);
        }
        QCOMPARE(form->saveButton->toolTip(), QStringLiteral("大小上限：250 KB"));
    }

    void a_still_gives_up_quality_before_size_data()
    {
        QTest::addColumn<bool>("noisy");
        // Of the way from quality 40's size (tables made for the picture) to
        // 95's (as an unlimited save makes it); below 0: of 40's.
        QTest::addColumn<double>("share");
        QTest::newRow("cartoon, room") << false << 1.5;
        QTest::newRow("cartoon, between") << false << 0.5;
        QTest::newRow("cartoon, below") << false << -0.8;
        QTest::newRow("photo, between") << true << 0.3;
        QTest::newRow("photo, below") << true << -0.4;
        QTest::newRow("photo, nothing") << true << -0.002;
    }
    void a_still_gives_up_quality_before_size()
    {
        QFETCH(bool, noisy);
        QFETCH(double, share);
        const ShownPicture shown(Still(noisy));
        const double low = double(EncodeShownAsJpeg(shown, 40, true).size());
        const double high = double(EncodeShownAsJpeg(shown, 95).size());
        const ByteLimit limit = ByteLimit(share >= 0 ? low + share * (high - low) : -share * low);
        QString why;
        const EncodedBytes fitted = FitJpeg(shown, limit, &why);
        if (share < 0 && share > -0.01) { // a picture shrunk to a quarter is still some hundreds of bytes
            QVERIFY(fitted.empty());
            QVERIFY(why.contains(QStringLiteral("fits in")));
            return;
        }
        QVERIFY(!fitted.empty());
        QVERIFY(fitted.size() <= limit);
        // Below quality 40's size a smaller picture may look better than
        // coarser blocks, never smaller than a quarter.
        const QSize size = JpegSize(fitted);
        if (size.width() < 640) {
            QVERIFY(share < 0);
            QVERIFY(size.width() >= 160);
            QCOMPARE(size.height(), (size.width() * 480 + 320) / 640);
            return;
        }
        // The box's size: the full-quality file as an unlimited save makes
        // it when that fits, else the one quality that fits (with tables made
        // for the picture) while the next does not.
        QCOMPARE(size, QSize(640, 480));
        if (share > 1) {
            QVERIFY(fitted == EncodeShownAsJpeg(shown, 95));
            return;
        }
        // (Colour at full or half resolution, whichever looks more like the
        // unlimited save.)
        int quality = 95;
        bool half = false;
        while (quality >= 1 && EncodeShownAsJpeg(shown, quality, true, half) != fitted) {
            half = !half;
            quality -= half ? 0 : 1;
        }
        QVERIFY(quality >= (share < 0 ? 1 : 40));
        QVERIFY(quality == 95 || EncodeShownAsJpeg(shown, quality + 1, true, half).size() > limit);
        // The tables lose nothing: they decode to the same pixels.
        const EncodedBytes plain = EncodeShownAsJpeg(shown, quality, false, half);
        QVERIFY(plain.size() > fitted.size());
        QCOMPARE(QImage::fromData(plain.data(), int(plain.size()), "JPG"),
                 QImage::fromData(fitted.data(), int(fitted.size()), "JPG"));
    }

    void the_search_keeps_the_best_look_that_fits_data()
    {
        // A film whose file grows with the square of its scale, by a factor
        // for each palette, and looks worse the smaller it is and the fewer
        // its colours; `base` is its unreduced size in limits.
        QTest::addColumn<double>("base");
        QTest::addColumn<double>("fullGrowth"); // full files against their predictions
        QTest::newRow("fits as it is") << 0.9 << 1.0;
        QTest::newRow("smaller and fewer colours") << 6.0 << 1.0;
        QTest::newRow("predictions ran low") << 6.0 << 1.15;
        QTest::newRow("predictions ran high") << 6.0 << 0.8;
        QTest::newRow("frames go") << 40.0 << 1.0;
        QTest::newRow("nothing fits") << 1000.0 << 1.0;
    }
    void the_search_keeps_the_best_look_that_fits()
    {
        QFETCH(double, base);
        QFETCH(double, fullGrowth);
        const ByteLimit limit = 1000000;
        const std::map<int, std::pair<double, double>> palettes = {
            {256, {1.0, 0}}, {128, {0.8, 0.01}}, {64, {0.55, 0.02}}, {32, {0.35, 0.03}}, {16, {0.3, 0.1}}};
        const auto predicted = [&](const Reduction& r) {
            return base * double(limit) * r.scale * r.scale * palettes.at(r.colours).first / r.step;
        };
        ReductionSearch search(limit, [&](const Reduction& r) {
            return Trial{predicted(r), r.scale - palettes.at(r.colours).second - 0.1 * (r.step - 1)};
        });
        // The best look by this model: each palette at the largest scale
        // whose full file fits.
        double bestLook = -1;
        for (const auto& [colours, palette] : palettes) {
            const double scale = std::min(1.0, std::sqrt(1 / (base * fullGrowth * palette.first)));
            if (scale >= 0.5)
                bestLook = std::max(bestLook, scale - palette.second);
        }
        std::optional<Reduction> written;
        int encodings = 0;
        while (const std::optional<Reduction> r = search.Next()) {
            QVERIFY(++encodings <= 4);
            QVERIFY(r->scale >= 0.5 && r->scale <= 1);
            const double bytes = predicted(*r) * fullGrowth;
            if (bytes > double(limit)) {
                search.TooBig(std::size_t(bytes));
                continue;
            }
            written = r;
            if (!search.Fits(std::size_t(bytes)))
                break;
        }
        if (base >= 1000) {
            QVERIFY(!written);
            return;
        }
        QVERIFY(written);
        const double look = written->scale - palettes.at(written->colours).second;
        if (bestLook < 0) { // not even half size with the fewest colours fits
            QVERIFY(written->step > 1);
            QCOMPARE(written->colours, 16);
            return;
        }
        QCOMPARE(written->step, 1);
        // Within a few hundredths of the best, using most of the limit.
        QVERIFY2(look > bestLook - 0.03, qPrintable(QStringLiteral("%1 against %2").arg(look).arg(bestLook)));
        QVERIFY(predicted(*written) * fullGrowth > 0.85 * double(limit) || written->scale == 1);
    }

    void a_film_fits_and_plays_as_long()
    {
        auto form = ShowForm();
        QVERIFY(form);
        form->captionOverlay->SetCaption(QStringLiteral("动起来"));
        form->captionOverlay->SetTextColour(0x0000FF00);
        const QByteArray unlimited = SaveFilm(*form, 0);
        QVERIFY(unlimited.size() > 20000);
        const PlayedGif full = PlayGif(unlimited);
        QVERIFY(full.ok);
        for (const ByteLimit limit : {ByteLimit(unlimited.size()) * 6 / 10, ByteLimit(unlimited.size()) / 5}) {
            const QByteArray bytes = SaveFilm(*form, limit / 1000 * 1000);
            QVERIFY(!bytes.isEmpty() && ByteLimit(bytes.size()) <= limit);
            const PlayedGif gif = PlayGif(bytes);
            QVERIFY(gif.ok);
            QCOMPARE(gif.loops, full.loops);
            QCOMPARE(std::accumulate(gif.delaysCs.begin(), gif.delaysCs.end(), 0), 12 * 5);
            QVERIFY(gif.width * 2 >= full.width && gif.width <= full.width);
            // The caption's colour is still there, exact.
            bool green = false;
            for (int y = 0; y < gif.height && !green; ++y)
                for (int x = 0; x < gif.width && !green; ++x)
                    green = gif.frames[0].pixel(x, y) == 0xFF00FF00u;
            QVERIFY(green);
        }
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存成功!!"));
    }

    void a_limit_nothing_fits_fails_visibly_and_writes_nothing()
    {
        auto form = ShowForm();
        QVERIFY(form);
        StderrCapture stderrText;
        QVERIFY(SaveFilm(*form, 1000).isEmpty());
        QCOMPARE(form->saveButton->Caption(), QStringLiteral("保存失败!!"));
        QVERIFY(stderrText.Text().contains("fits in 1 KB"));
        QCOMPARE(QDir(desktop_).entryList(QDir::Files), QStringList{});
    }

    void unlimited_still_save_is_the_full_quality_jpeg()
    {
        const ShownPicture shown(Still(true));
        QVERIFY(FitJpeg(shown, 0) == EncodeShownAsJpeg(shown, 95));
    }
};

QTEST_MAIN(SizeLimitTest)
#include "test_size_limit.moc"
