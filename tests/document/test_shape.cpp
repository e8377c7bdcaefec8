// Turning, flipping and cropping through the real window: the work area's
// menu offers them after 适应图框 (greyed without a picture); the picture
// shown, every frame of an animation and the frames a save composes turn;
// a crop drawn with the mouse cuts the picture pixels under it at any zoom
// and the captions follow; Esc changes nothing; each action is one step.
#include "tests/support/HandTimer.h"
#include "tests/support/ShownForm.h"

#include "app/WindowDefinition.h"
#include "app/document/MemeHistory.h"
#include "app/model/Button.h"
#include "app/model/EditBox.h"
#include "app/model/Label.h"
#include "app/program/CropFrame.h"
#include "app/program/SegmentDialog.h"
#include "app/program/Shape.h"
#include "controls/decoders/Animation.h"
#include "output/Clipboard.h"
#include "output/SaveScene.h"
#include "output/Snapshot.h"
#include "overlay/Captions.h"
#include "templates/Zoom.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include <set>

using namespace mugrove;
using namespace mugrove::testing;

namespace {

QImage Quadrants(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int quadrant = (x < w / 2 ? 0 : 1) + (y < h / 2 ? 0 : 2);
            image.setPixel(x, y, qRgb(0x20 + 0x40 * quadrant, 4 * x, 6 * y));
        }
    return image;
}

// The operations on the pixels themselves.
QImage Transformed(const QImage& in, Reorientation how)
{
    const bool turn = how == Reorientation::TurnLeft || how == Reorientation::TurnRight;
    QImage out(turn ? in.size().transposed() : in.size(), QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            QPoint from;
            switch (how) {
            case Reorientation::TurnRight: from = QPoint(y, in.height() - 1 - x); break;
            case Reorientation::TurnLeft: from = QPoint(in.width() - 1 - y, x); break;
            case Reorientation::FlipHorizontal: from = QPoint(in.width() - 1 - x, y); break;
            case Reorientation::FlipVertical: from = QPoint(x, in.height() - 1 - y); break;
            }
            out.setPixel(x, y, in.pixel(from));
        }
    return out;
}

const char* EntryText(Reorientation how)
{
    switch (how) {
    case Reorientation::TurnLeft: return "向左旋转 90°(&L)";
    case Reorientation::TurnRight: return "向右旋转 90°(&R)";
    case Reorientation::FlipHorizontal: return "水平翻转(&H)";
    case Reorientation::FlipVertical: return "垂直翻转(&V)";
    }
    return "";
}

QImage Shown(Form& f)
{
    return DecodeToImage(TakeSnapshot(&Box(f), 0, 0)).value_or(QImage()).convertToFormat(QImage::Format_RGB32);
}

QRect Place(const QWidget& w)
{
    return w.geometry();
}

} // namespace

Q_DECLARE_METATYPE(Reorientation)

class ShapeTest : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;
    QTemporaryDir desktop_;
    std::unique_ptr<Form> form;
    HandTimer* timer = nullptr;

    MemeHistory& History() { return form->events->History(); }

    QMenu* WorkAreaMenu()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // menus closed before
        const QPoint at(10, 10);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, form->workArea->mapToGlobal(at));
        QApplication::sendEvent(form->workArea, &event);
        for (QMenu* menu : form->workArea->findChildren<QMenu*>(QStringLiteral("workAreaMenu")))
            if (menu->isVisible()) {
                menu->close();
                return menu;
            }
        return nullptr;
    }
    static QAction* Entry(QMenu* menu, const QString& text)
    {
        for (QAction* action : menu ? menu->actions() : QList<QAction*>())
            if (action->text() == text)
                return action;
        return nullptr;
    }
    void Reorient(Reorientation how)
    {
        QAction* turns = Entry(WorkAreaMenu(), QStringLiteral("旋转和翻转(&O)"));
        QVERIFY(turns && turns->menu());
        QAction* entry = Entry(turns->menu(), QString::fromUtf8(EntryText(how)));
        QVERIFY(entry && entry->isEnabled());
        entry->trigger();
    }
    CropFrame* StartCropping()
    {
        QAction* crop = Entry(WorkAreaMenu(), QStringLiteral("裁剪(&X)..."));
        if (!crop || !crop->isEnabled())
            return nullptr;
        crop->trigger();
        return form->workArea->findChild<CropFrame*>(QStringLiteral("cropFrame"));
    }
    void Drop(const QString& path)
    {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        const Qt::DropActions allowed = Qt::CopyAction;
        QDragEnterEvent enter(QPoint(20, 20), allowed, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form->workArea, &enter);
        QDropEvent drop(QPointF(20, 20), allowed, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form->workArea, &drop);
    }
    // The quadrant picture dropped, the caption with a text placed beside it.
    void DropQuadrants(int w = 60, int h = 40)
    {
        const QString path = scratch_.filePath(QStringLiteral("quadrants.png"));
        QVERIFY(Quadrants(w, h).save(path, "PNG"));
        Drop(path);
        QCOMPARE(QSize(form->workArea->Width(), form->workArea->Height()), QSize(w, h));
        form->captionBox->SetContent(QStringLiteral("字"));
        form->captionBox->ContentChanged.Raise();
        form->captionOverlay->move(300, 300); // off the picture: its pixels are the picture's
        History().Start();
    }
    void Drag(QWidget* on, QPoint from, QPoint to)
    {
        QTest::mousePress(on, Qt::LeftButton, {}, from);
        QTest::mouseMove(on, (from + to) / 2);
        QTest::mouseMove(on, to);
        QTest::mouseRelease(on, Qt::LeftButton, {}, to);
    }

private slots:
    void init()
    {
        SaveEnvironment save;
        save.desktopFolder = [path = desktop_.path()] { return path; };
        form = ShowForm(std::move(save));
        QVERIFY(form);
        form->window->Created.Raise();
        auto clock = std::make_unique<HandTimer>();
        timer = clock.get();
        form->workArea->SetFrameTimer(std::move(clock));
    }
    void cleanup() { form.reset(); }

    void the_menu_offers_them_after_fit_greyed_without_a_picture()
    {
        const auto check = [&](bool enabled) {
            QMenu* menu = WorkAreaMenu();
            QVERIFY(menu);
            const QList<QAction*> entries = menu->actions();
            const qsizetype fit = entries.indexOf(Entry(menu, QStringLiteral("适应图框(&F)")));
            QVERIFY(fit >= 0);
            QCOMPARE(entries[fit + 1]->text(), QStringLiteral("旋转和翻转(&O)"));
            QCOMPARE(entries[fit + 2]->text(), QStringLiteral("裁剪(&X)..."));
            QCOMPARE(entries[fit + 1]->isEnabled(), enabled);
            QCOMPARE(entries[fit + 2]->isEnabled(), enabled);
            QStringList texts;
            for (const QAction* a : entries[fit + 1]->menu()->actions()) {
                texts << a->text();
                QCOMPARE(a->isEnabled(), enabled);
            }
            QCOMPARE(texts, (QStringList{QStringLiteral("向左旋转 90°(&L)"), QStringLiteral("向右旋转 90°(&R)"),
                                         QStringLiteral("水平翻转(&H)"), QStringLiteral("垂直翻转(&V)")}));
        };
        QVERIFY(form->workArea->Decoded() == nullptr);
        check(false);
        QVERIFY(StartCropping() == nullptr);
        DropQuadrants();
        check(true);
    }

    void a_turn_or_flip_turns_the_picture_swaps_the_box_and_is_one_step_data()
    {
        QTest::addColumn<Reorientation>("how");
        QTest::newRow("left") << Reorientation::TurnLeft;
        QTest::newRow("right") << Reorientation::TurnRight;
        QTest::newRow("horizontal") << Reorientation::FlipHorizontal;
        QTest::newRow("vertical") << Reorientation::FlipVertical;
    }
    void a_turn_or_flip_turns_the_picture_swaps_the_box_and_is_one_step()
    {
        QFETCH(Reorientation, how);
        DropQuadrants();
        const QImage before = Shown(*form);
        QCOMPARE(before, Quadrants(60, 40));
        const QRect caption = Place(*form->captionOverlay);
        const QPoint corner = form->workArea->pos();
        const std::size_t steps = History().UndoCount();

        Reorient(how);
        const QImage after = Shown(*form);
        QCOMPARE(after, Transformed(before, how));
        QCOMPARE(form->workArea->pos(), corner);
        QCOMPARE(form->workArea->size(), after.size());
        QCOMPARE(form->widthLabel->Caption(), QStringLiteral("图片宽度：%1").arg(after.width()));
        QCOMPARE(Place(*form->captionOverlay), caption);
        QCOMPARE(History().UndoCount(), steps + 1);

        History().Undo();
        QCOMPARE(Shown(*form), before);
        QCOMPARE(form->workArea->size(), before.size());
        History().Redo();
        QCOMPARE(Shown(*form), after);
        // Four quarter turns, or a flip twice, give the picture back.
        for (int i = 0; i < ((how == Reorientation::TurnLeft || how == Reorientation::TurnRight) ? 3 : 1); ++i)
            Reorient(how);
        QCOMPARE(Shown(*form), before);
        QVERIFY(form->workArea->Shape().Plain());
    }

    void every_frame_of_an_animation_turns_as_it_plays_and_as_it_saves()
    {
        Drop(QStringLiteral(MUGROVE_TEST_DATA "/decoders/good_webp_animated.webp"));
        QVERIFY(form->workArea->Animating());
        const QSize own = form->workArea->size();
        Reorient(Reorientation::TurnRight);
        Reorient(Reorientation::FlipVertical);
        QCOMPARE(form->workArea->size(), own.transposed());
        const PictureShape shape = form->workArea->Shape();
        const Animation& player = *form->workArea->Decoded()->animation;
        std::set<std::size_t> seen;
        for (int frame = 0; frame < 4; ++frame) {
            seen.insert(player.Current());
            // The same frame as it shows unshaped, turned and flipped in the test.
            form->workArea->SetShape({});
            form->workArea->resize(own);
            const QImage plain = Shown(*form);
            form->workArea->SetShape(shape);
            form->workArea->resize(own.transposed());
            const QImage shaped = Shown(*form);
            QCOMPARE(shaped, Transformed(Transformed(plain, Reorientation::TurnRight), Reorientation::FlipVertical));
            // A save composes the frame as the box shows it.
            const SaveScene scene = CaptureScene(*form->workArea, {});
            FrameComposer composer(scene);
            QImage composed;
            composer.Compose(player, composed);
            QCOMPARE(composed.convertToFormat(QImage::Format_RGB32), shaped);
            timer->Fire();
        }
        QVERIFY(seen.size() >= 2);
    }

    void a_clip_keeps_its_turn_and_crop_through_a_new_segment()
    {
        Drop(QStringLiteral(MUGROVE_TEST_DATA "/clips/sixty_fps.mp4"));
        QVERIFY(form->workArea->Decoded() && form->workArea->Decoded()->clip);
        Reorient(Reorientation::TurnLeft);
        CropPicture(*form, QRect(2, 3, 20, 25));
        const PictureShape shape = form->workArea->Shape();
        const QSize box = form->workArea->size();
        QVERIFY(shape.Reorients() && !shape.crop.isEmpty());
        QAction* cut = Entry(WorkAreaMenu(), QStringLiteral("截取片段(&C)..."));
        QVERIFY(cut);
        cut->trigger();
        auto* dialog = form->window->findChild<SegmentDialog*>();
        QVERIFY(dialog);
        dialog->StartField().setValue(1.0);
        dialog->EndField().setValue(2.0);
        dialog->accept();
        QCOMPARE(form->workArea->Decoded()->clip->segment.start, 1.0);
        QCOMPARE(form->workArea->Shape(), shape);
        QCOMPARE(form->workArea->size(), box);
    }

    void a_crop_drawn_with_the_mouse_cuts_what_is_under_it_data()
    {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QString>("finish"); // how it is applied, or cancelled
        QTest::addColumn<QRect>("part");     // of the picture's own pixels
        QTest::addColumn<QSize>("box");      // the size the part had on screen
        QTest::addColumn<QPoint>("shift");   // how far the captions move
        // At zoom 1 the rectangle is (21, 11, 20, 20) after the drags below.
        QTest::newRow("zoom 1, Enter") << 1.0 << QStringLiteral("enter") << QRect(21, 11, 20, 20) << QSize(20, 20)
                                       << QPoint(-21, -11);
        QTest::newRow("zoom 1, double-click") << 1.0 << QStringLiteral("double") << QRect(21, 11, 20, 20)
                                              << QSize(20, 20) << QPoint(-21, -11);
        // At zoom 2 it is (21, 11, 80, 60) on screen: picture pixels 10..50
        // and 5..35, shown at 20..102 and 10..72.
        QTest::newRow("zoom 2, Enter") << 2.0 << QStringLiteral("enter") << QRect(10, 5, 41, 31) << QSize(82, 62)
                                       << QPoint(-20, -10);
        QTest::newRow("zoom 1, Esc") << 1.0 << QStringLiteral("esc") << QRect() << QSize() << QPoint();
    }
    void a_crop_drawn_with_the_mouse_cuts_what_is_under_it()
    {
        QFETCH(double, zoom);
        QFETCH(QString, finish);
        QFETCH(QRect, part);
        QFETCH(QSize, box);
        QFETCH(QPoint, shift);
        DropQuadrants();
        ZoomWorkArea(*form, zoom);
        // A caption over the picture, to be hidden while cropping.
        form->captionOverlay->move(form->workArea->pos() + QPoint(30, 20));
        History().Start();
        const QRect caption = Place(*form->captionOverlay);
        const Meme before = ReadMeme(*form);
        const std::size_t steps = History().UndoCount();

        CropFrame* crop = StartCropping();
        QVERIFY(crop);
        QCOMPARE(crop->Rectangle(), QRect(QPoint(), form->workArea->size())); // the whole picture at first
        QVERIFY(!form->captionOverlay->isVisible());
        const QSize size = form->workArea->size();
        // The bottom-right handle in by (40, 20), then the rectangle moved
        // by (21, 11).
        Drag(crop, QPoint(size.width() - 2, size.height() - 2), QPoint(size.width() - 42, size.height() - 22));
        Drag(crop, QPoint(7, 7), QPoint(28, 18)); // inside, clear of the handles
        if (finish == QLatin1String("esc")) {
            QTest::keyClick(crop, Qt::Key_Escape);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(form->window->isVisible()); // Esc ended the crop, not the window
            QVERIFY(form->captionOverlay->isVisible());
            QVERIFY(SameDocument(ReadMeme(*form), before));
            QCOMPARE(History().UndoCount(), steps);
            return;
        }
        if (finish == QLatin1String("enter"))
            QTest::keyClick(crop, Qt::Key_Return);
        else
            QTest::mouseDClick(crop, Qt::LeftButton, {}, crop->Rectangle().center());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(form->workArea->findChild<CropFrame*>() == nullptr);
        QVERIFY(form->captionOverlay->isVisible());

        QCOMPARE(form->workArea->Shape().crop, part);
        QCOMPARE(form->workArea->size(), box);
        QCOMPARE(form->workArea->pos(), kWorkAreaOrigin);
        QCOMPARE(Place(*form->captionOverlay), caption.translated(shift));
        QCOMPARE(form->heightLabel->Caption(), QStringLiteral("图片高度：%1").arg(box.height()));
        if (zoom == 1.0)
            QCOMPARE(Shown(*form).copy(0, 0, box.width(), 9), Quadrants(60, 40).copy(part).copy(0, 0, box.width(), 9));
        QCOMPARE(History().UndoCount(), steps + 1);
        History().Undo();
        QVERIFY(SameDocument(ReadMeme(*form), before));
        History().Redo();
        QCOMPARE(form->workArea->Shape().crop, part);
        QCOMPARE(Place(*form->captionOverlay), caption.translated(shift));
    }

    void a_picture_under_the_caption_band_turns_and_crops_below_it()
    {
        DropQuadrants(80, 50);
        QAction* band = Entry(WorkAreaMenu(), QStringLiteral("白边文字(&B)"));
        QVERIFY(band && band->isEnabled());
        band->trigger();
        form->captionBox->SetContent(QStringLiteral("上面"));
        form->captionBox->ContentChanged.Raise();
        History().Start();
        const std::size_t steps = History().UndoCount();
        const Meme banded = ReadMeme(*form);
        PicBox& area = *form->workArea;
        QVERIFY(area.Band() > 0);

        Reorient(Reorientation::TurnLeft);
        const QImage turned = Transformed(Quadrants(80, 50), Reorientation::TurnLeft);
        QCOMPARE(area.Width(), 50);
        QCOMPARE(area.Height() - area.Band(), 80);
        QCOMPARE(Shown(*form).copy(0, area.Band(), 50, 80), turned);

        // A caption over the picture, 10 and 20 pixels into it.
        form->captionOverlay->move(area.pos() + QPoint(10, area.Band() + 20));
        CropFrame* crop = StartCropping();
        QVERIFY(crop);
        QCOMPARE(crop->Rectangle(), QRect(0, area.Band(), 50, 80)); // the picture, not the band
        crop->SetRectangle(QRect(5, area.Band() + 7, 30, 40));
        crop->Finish(true);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // In the photo's own pixels: shown (x, y) is its (79 - y, x).
        QCOMPARE(area.Shape().crop, QRect(33, 5, 40, 30));
        QCOMPARE(QSize(area.Width(), area.Height() - area.Band()), QSize(30, 40));
        const QImage shown = Shown(*form);
        QCOMPARE(shown.copy(0, area.Band(), 30, 40), turned.copy(5, 7, 30, 40));
        QCOMPARE(shown.pixel(0, 0), qRgb(255, 255, 255)); // the band, laid out over the new width
        QCOMPARE(form->captionOverlay->pos(), area.pos() + QPoint(5, area.Band() + 13));

        QCOMPARE(History().UndoCount(), steps + 2);
        History().Undo();
        History().Undo();
        QVERIFY(SameDocument(ReadMeme(*form), banded));
    }
};

QTEST_MAIN(ShapeTest)
#include "test_shape.moc"
