// Undo and redo through the real window: every kind of step undone and
// redone gives back what was shown before and after it (the pixels a save
// would hold, the size labels and every style control), typing merges,
// a new change drops the redo, and dropped photos are shared, not copied.
#include "tests/support/HandTimer.h"
#include "tests/support/JpegMaker.h"
#include "tests/support/ModalAnswer.h"
#include "tests/support/ShownForm.h"

#include "app/document/MemeHistory.h"
#include "app/model/Button.h"
#include "app/model/CheckBox.h"
#include "app/model/EditBox.h"
#include "app/model/Label.h"
#include "app/model/ListBox.h"
#include "app/model/SliderBar.h"
#include "app/program/SegmentDialog.h"
#include "controls/ColorPicker.h"
#include "controls/ColorPopup.h"
#include "controls/ColorPopupLayout.h"
#include "output/Clipboard.h"
#include "output/Snapshot.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFontDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <set>

using namespace mugrove;
using namespace mugrove::testing;

namespace {

QString Data(const char* name)
{
    return QStringLiteral(MUGROVE_TEST_DATA "/") + QString::fromUtf8(name);
}

// Everything undo must give back: the meme's pixels as a save takes them,
// the size labels, the edit boxes, the sliders as stored and as shown, the
// bold box, the colour, the list's selection, and which caption is current.
struct Seen {
    QImage pixels;
    QStringList texts;
    QList<qint64> numbers;
};

Seen Look(Form& f)
{
    Seen s;
    s.pixels = DecodeToImage(TakeSnapshot(&Box(f), 0, 0)).value_or(QImage());
    s.texts = {f.widthLabel->Caption(), f.heightLabel->Caption(), f.captionBox->Content(), f.widthBox->Content(),
               f.heightBox->Content()};
    const auto current = std::ranges::find(f.captions, f.currentCaption) - f.captions.begin();
    s.numbers = {f.widthSlider->Position(),    f.widthSlider->value(),    f.heightSlider->Position(),
                 f.heightSlider->value(),      f.fontSizeSlider->Position(), f.fontSizeSlider->value(),
                 f.boldBox->Checked(),         f.colourPicker->CurrentColour(), f.templateList->CurrentIndex(),
                 qint64(f.captions.size()),    current};
    return s;
}

void ExpectSame(const Seen& got, const Seen& expected, const char* when)
{
    QVERIFY2(!expected.pixels.isNull(), when);
    QVERIFY2(got.pixels == expected.pixels, when);
    QCOMPARE(got.texts, expected.texts);
    QCOMPARE(got.numbers, expected.numbers);
}

enum class Kind {
    Template,
    Drop,
    PastePicture,
    ZoomClick,
    WheelNotch,
    FitToFrame,
    Drag,
    Typing,
    PasteText,
    Bold,
    Colour,
    FontDialog,
    FontSizeSlider,
    WidthSliderDrag,
    WidthBox,
    HeightSliderKey,
    Effect,
    Outline,
    AddCaption,
    RemoveCaption,
    Segment,
    BandOn,
    BandTyping,
    BandBold,
    BandOff,
};

// The undo and redo keys, pressed wherever the focus is.
void Key(QWidget* focus, Qt::Key key, Qt::KeyboardModifiers mods)
{
    // Keys reach the active window only; menus and dialogs closed before
    // hand the activation back.
    QApplication::setActiveWindow(focus->window());
    focus->setFocus();
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : focus, key, mods);
}

} // namespace

Q_DECLARE_METATYPE(Kind)

class HistoryTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Form> form;
    HandTimer* timer = nullptr; // the work area's clock, owned by it

    MemeHistory& History() { return form->events->History(); }
    QWidget* Window() { return form->window.get(); }

    void Press(QPoint at, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseMove(form->window->windowHandle(), at);
        QTest::mousePress(form->window->windowHandle(), button, {}, at);
    }
    void Release(QPoint at) { QTest::mouseRelease(form->window->windowHandle(), Qt::LeftButton, {}, at); }

    // The work area's menu as a right-click at `at` (work area coordinates) opens it.
    QMenu* WorkAreaMenu(QPoint at = QPoint(10, 10))
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // menus closed before
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, form->workArea->mapToGlobal(at));
        QApplication::sendEvent(form->workArea, &event);
        for (QMenu* menu : form->workArea->findChildren<QMenu*>(QStringLiteral("workAreaMenu")))
            if (menu->isVisible()) {
                menu->close(); // as a menu does before its entry acts
                return menu;
            }
        return nullptr;
    }
    QAction* WorkAreaEntry(const QString& text, QPoint at = QPoint(10, 10))
    {
        QMenu* menu = WorkAreaMenu(at);
        for (QAction* action : menu ? menu->actions() : QList<QAction*>())
            if (action->text() == text)
                return action;
        return nullptr;
    }
    // A caption's menu entry, chosen as a right-click and a click do.
    void CaptionEntry(TransLabel& caption, const QString& text)
    {
        Press(caption.geometry().center(), Qt::RightButton);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        for (QAction* action : menu->actions())
            if (action->text() == text) {
                menu->close();
                action->trigger();
                QCoreApplication::sendPostedEvents(); // a removal is queued
                return;
            }
        QFAIL(qPrintable(text));
    }
    void Drop(const QString& path)
    {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        const Qt::DropActions allowed = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(QPoint(20, 20), allowed, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form->workArea, &enter);
        QDropEvent drop(QPointF(20, 20), allowed, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(form->workArea, &drop);
    }
    QWidget* Editor(EditBox* box) { return box->focusProxy(); }
    void ChooseTemplate(int row)
    {
        const QRect item = form->templateList->visualItemRect(form->templateList->item(row));
        QTest::mouseClick(form->templateList->viewport(), Qt::LeftButton, {}, item.center());
    }
    // Picks a palette cell of the colour picker's pop-up with the mouse.
    void PickColour(int cell)
    {
        QTest::mousePress(form->colourPicker, Qt::LeftButton, {}, QPoint(10, 10));
        auto* popup = qobject_cast<ColorPopup*>(QApplication::activePopupWidget());
        QVERIFY(popup);
        QVERIFY(QTest::qWaitForWindowExposed(popup));
        const QFontMetrics m(popup->font());
        const int textWidth = std::max(m.horizontalAdvance(QStringLiteral("透明")),
                                       m.horizontalAdvance(QStringLiteral("其它颜色...")));
        const ColorPopupLayout layout =
            LayOutColorPopup(kEdgeWidth, m.height(), textWidth, form->colourPicker->AllowTransparent());
        QCOMPARE(popup->size(), layout.size);
        const QPoint at = layout.ItemRect(cell).center();
        QTest::mouseMove(popup, at);
        QTest::mouseClick(popup, Qt::LeftButton, {}, at);
    }

    void Do(Kind kind)
    {
        TransLabel& first = *form->captionOverlay;
        switch (kind) {
        case Kind::Template: ChooseTemplate(11); break;
        case Kind::Drop: Drop(Data("decoders/good_bmp24.bmp")); break;
        case Kind::PastePicture: {
            QImage photo(90, 60, QImage::Format_RGB32);
            photo.fill(Qt::darkCyan);
            auto* data = new QMimeData;
            data->setImageData(photo);
            QGuiApplication::clipboard()->setMimeData(data);
            Key(form->templateList, Qt::Key_V, Qt::ControlModifier);
            break;
        }
        case Kind::ZoomClick: QTest::mouseClick(form->zoomInButton, Qt::LeftButton); break;
        case Kind::WheelNotch: {
            const QPointF at(30, 30);
            QWheelEvent wheel(at, form->workArea->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                              Qt::ControlModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(form->workArea, &wheel);
            break;
        }
        case Kind::FitToFrame: WorkAreaEntry(QStringLiteral("适应图框(&F)"))->trigger(); break;
        case Kind::Drag: {
            const QPoint grab = first.pos() + QPoint(10, 5);
            Press(grab);
            for (int i = 1; i <= 4; ++i)
                QTest::mouseMove(form->window->windowHandle(), grab + QPoint(15 * i, 9 * i));
            Release(grab + QPoint(60, 36));
            break;
        }
        case Kind::Typing: QTest::keyClicks(Editor(form->captionBox), QStringLiteral(" abc")); break;
        case Kind::PasteText:
            QGuiApplication::clipboard()->setText(QStringLiteral("粘贴的字"));
            Key(Editor(form->captionBox), Qt::Key_V, Qt::ControlModifier);
            break;
        case Kind::Bold: QTest::mouseClick(form->boldBox, Qt::LeftButton); break;
        case Kind::Colour: PickColour(3); break;
        case Kind::FontDialog: {
            const ModalAnswer<QFontDialog> answer([](QFontDialog& dialog) {
                QFont font(QStringLiteral("Noto Serif CJK SC"));
                font.setPointSize(20);
                font.setItalic(true);
                dialog.setCurrentFont(font);
                dialog.accept();
            });
            QTest::mouseClick(form->fontButton, Qt::LeftButton);
            QVERIFY(answer.Seen());
            // The window is active again, as after any dialog.
            QApplication::setActiveWindow(Window());
            QVERIFY(QTest::qWaitForWindowActive(Window()));
            break;
        }
        case Kind::FontSizeSlider: Key(form->fontSizeSlider, Qt::Key_PageUp, Qt::NoModifier); break;
        case Kind::WidthSliderDrag:
            // Pressed, dragged over several places, released: one step.
            form->widthSlider->setSliderDown(true);
            for (int p : {150, 210, 260})
                form->widthSlider->setSliderPosition(p);
            form->widthSlider->setSliderDown(false);
            break;
        case Kind::WidthBox:
            Editor(form->widthBox)->setFocus();
            QTest::keyClick(Editor(form->widthBox), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(Editor(form->widthBox), QStringLiteral("300"));
            break;
        case Kind::HeightSliderKey: Key(form->heightSlider, Qt::Key_Right, Qt::NoModifier); break;
        case Kind::Effect: CaptionEntry(first, QStringLiteral("深色阴影(&S)")); break;
        case Kind::Outline: CaptionEntry(first, QStringLiteral("描边(&O)")); break;
        case Kind::AddCaption: WorkAreaEntry(QStringLiteral("添加文字(&T)"), QPoint(100, 60))->trigger(); break;
        case Kind::RemoveCaption: CaptionEntry(*form->captions.back(), QStringLiteral("删除文字(&D)")); break;
        case Kind::BandOn:
        case Kind::BandOff: WorkAreaEntry(QStringLiteral("白边文字(&B)"))->trigger(); break;
        case Kind::BandTyping: QTest::keyClicks(Editor(form->captionBox), QStringLiteral("Band words")); break;
        case Kind::BandBold: QTest::mouseClick(form->boldBox, Qt::LeftButton); break;
        case Kind::Segment: {
            WorkAreaEntry(QStringLiteral("截取片段(&C)..."))->trigger();
            auto* dialog = form->window->findChild<SegmentDialog*>();
            QVERIFY(dialog && dialog->isVisible());
            dialog->StartField().setValue(1.0);
            dialog->EndField().setValue(2.0);
            dialog->accept();
            break;
        }
        }
    }

    // What each row needs before its step (not part of what is measured).
    void SetUp(Kind kind)
    {
        ChooseTemplate(2);
        TransLabel& first = *form->captionOverlay;
        // A caption over the picture, so its steps show in the pixels.
        form->captionBox->SetContent(QStringLiteral("开始 Start"));
        form->colourPicker->SetCurrentColour(0x0000C0);
        form->colourPicker->ColourChanged.Raise();
        first.move(form->workArea->pos() + QPoint(10, 40));
        if (kind == Kind::RemoveCaption) {
            WorkAreaEntry(QStringLiteral("添加文字(&T)"), QPoint(80, 100))->trigger();
            QTest::keyClicks(Editor(form->captionBox), QStringLiteral("Go"));
        }
        if (kind == Kind::BandTyping || kind == Kind::BandBold || kind == Kind::BandOff)
            WorkAreaEntry(QStringLiteral("白边文字(&B)"))->trigger();
        if (kind == Kind::Segment) {
            Drop(Data("clips/sixty_fps.mp4"));
            QVERIFY(form->workArea->Decoded() && form->workArea->Decoded()->clip);
        }
        History().Start();
    }

private slots:
    void init()
    {
        form = ShowForm();
        QVERIFY(form);
        form->window->Created.Raise();
        // Frames move on only by hand, so a clip shows its first frame.
        auto clock = std::make_unique<HandTimer>();
        timer = clock.get();
        form->workArea->SetFrameTimer(std::move(clock));
        QVERIFY(!History().CanUndo() && !History().CanRedo());
    }
    void cleanup()
    {
        QGuiApplication::clipboard()->clear();
        form.reset();
    }

    void each_step_undoes_and_redoes_to_what_was_shown_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::newRow("template") << Kind::Template;
        QTest::newRow("drop") << Kind::Drop;
        QTest::newRow("paste a picture") << Kind::PastePicture;
        QTest::newRow("zoom button") << Kind::ZoomClick;
        QTest::newRow("Ctrl+wheel notch") << Kind::WheelNotch;
        QTest::newRow("适应图框") << Kind::FitToFrame;
        QTest::newRow("caption drag") << Kind::Drag;
        QTest::newRow("typing") << Kind::Typing;
        QTest::newRow("paste into the edit box") << Kind::PasteText;
        QTest::newRow("bold") << Kind::Bold;
        QTest::newRow("colour") << Kind::Colour;
        QTest::newRow("font dialog") << Kind::FontDialog;
        QTest::newRow("font-size slider") << Kind::FontSizeSlider;
        QTest::newRow("width slider dragged") << Kind::WidthSliderDrag;
        QTest::newRow("width number box") << Kind::WidthBox;
        QTest::newRow("height slider key") << Kind::HeightSliderKey;
        QTest::newRow("effect") << Kind::Effect;
        QTest::newRow("outline") << Kind::Outline;
        QTest::newRow("添加文字") << Kind::AddCaption;
        QTest::newRow("删除文字") << Kind::RemoveCaption;
        QTest::newRow("segment") << Kind::Segment;
        QTest::newRow("白边文字 ticked") << Kind::BandOn;
        QTest::newRow("typed into the band") << Kind::BandTyping;
        QTest::newRow("the band's caption bold") << Kind::BandBold;
        QTest::newRow("白边文字 unticked") << Kind::BandOff;
    }
    void each_step_undoes_and_redoes_to_what_was_shown()
    {
        QFETCH(Kind, kind);
        SetUp(kind);
        if (QTest::currentTestFailed())
            return;
        const Seen before = Look(*form);
        Do(kind);
        if (QTest::currentTestFailed())
            return;
        const Seen after = Look(*form);
        QVERIFY(after.pixels != before.pixels || after.texts != before.texts || after.numbers != before.numbers);
        QCOMPARE(History().UndoCount(), std::size_t(1)); // one step

        // Undo from the list, redo with Ctrl+Y from the caption box, and
        // again with the menu's undo and Ctrl+Shift+Z from the window.
        Key(form->templateList, Qt::Key_Z, Qt::ControlModifier);
        ExpectSame(Look(*form), before, "undone by Ctrl+Z");
        QVERIFY(!History().CanUndo() && History().CanRedo());
        Key(Editor(form->captionBox), Qt::Key_Y, Qt::ControlModifier);
        ExpectSame(Look(*form), after, "redone by Ctrl+Y");
        QAction* undo = WorkAreaMenu()->actions().front();
        QVERIFY(undo->isEnabled());
        undo->trigger();
        ExpectSame(Look(*form), before, "undone by the menu");
        Key(Window(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        ExpectSame(Look(*form), after, "redone by Ctrl+Shift+Z");
        QCOMPARE(History().UndoCount(), std::size_t(1));
    }

    void the_work_area_menu_starts_with_undo_and_redo_greyed_when_nothing()
    {
        const auto head = [this] {
            const QList<QAction*> all = WorkAreaMenu()->actions();
            return std::make_tuple(all[0]->text(), all[0]->isEnabled(), all[1]->text(), all[1]->isEnabled(),
                                   all[2]->isSeparator(), all[3]->text());
        };
        const QString undo = QStringLiteral("撤销(&U)\tCtrl+Z"), redo = QStringLiteral("重做(&R)\tCtrl+Shift+Z");
        const QString paste = QStringLiteral("粘贴图片(&V)");
        QCOMPARE(head(), std::make_tuple(undo, false, redo, false, true, paste));
        ChooseTemplate(3);
        QCOMPARE(head(), std::make_tuple(undo, true, redo, false, true, paste));
        Key(Window(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(head(), std::make_tuple(undo, false, redo, true, true, paste));
        QCOMPARE(form->workArea->Decoded(), nullptr); // back to no picture
        QCOMPARE(form->widthLabel->Caption(), QStringLiteral("图片宽度：")); // as the window opened
    }

    // Typing merges into one step per caption; a paste, choosing another
    // caption, or an undo in between start a new one; typed and taken back
    // is no step at all.
    void typing_merges_and_a_new_change_drops_the_redo()
    {
        QWidget* editor = Editor(form->captionBox);
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, QStringLiteral("Hello"));
        QCOMPARE(History().UndoCount(), std::size_t(1));
        QGuiApplication::clipboard()->setText(QStringLiteral("!!"));
        QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClicks(editor, QStringLiteral(" you"));
        QCOMPARE(History().UndoCount(), std::size_t(3));
        QCOMPARE(form->captionOverlay->Caption(), QStringLiteral("Hello!! you"));
        QTest::keyClicks(editor, QStringLiteral("x"));
        QTest::keyClick(editor, Qt::Key_Backspace);
        QCOMPARE(History().UndoCount(), std::size_t(3));

        Key(editor, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(form->captionOverlay->Caption(), QStringLiteral("Hello!!"));
        QCOMPARE(form->captionBox->Content(), QStringLiteral("Hello!!"));
        Key(editor, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(form->captionOverlay->Caption(), QStringLiteral("Hello"));
        QCOMPARE(History().RedoCount(), std::size_t(2));
        // Typing after an undo is a new step, and what could be redone goes.
        QTest::keyClicks(editor, QStringLiteral("?"));
        QCOMPARE(History().RedoCount(), std::size_t(0));
        QCOMPARE(History().UndoCount(), std::size_t(2));
        QVERIFY(!WorkAreaMenu()->actions()[1]->isEnabled());
        Key(editor, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(form->captionOverlay->Caption(), QStringLiteral("Hello?"));

        // Typed into a second caption, then back into the first: three steps.
        WorkAreaEntry(QStringLiteral("添加文字(&T)"), QPoint(100, 60))->trigger();
        QTest::keyClicks(Editor(form->captionBox), QStringLiteral("Two"));
        TransLabel& first = *form->captionOverlay;
        Press(first.pos() + QPoint(5, 5));
        Release(first.pos() + QPoint(5, 5));
        QTest::keyClicks(Editor(form->captionBox), QStringLiteral("!"));
        QCOMPARE(History().UndoCount(), std::size_t(5)); // added and typed over count as two
        Key(Window(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(first.Caption(), QStringLiteral("Hello?"));
        QCOMPARE(form->currentCaption, &first);
        Key(Window(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(form->captions.back()->Caption(), QStringLiteral("新的文字"));
        QCOMPARE(form->currentCaption, form->captions.back()); // the caption changed is current
        QCOMPARE(form->captionBox->Content(), QStringLiteral("新的文字"));
    }

    // The edit boxes' own undo is gone: their keys and the undo and redo of
    // their right-click menus act on the meme.
    void the_edit_boxes_menus_undo_the_meme()
    {
        ChooseTemplate(5);
        QWidget* editor = Editor(form->widthBox);
        editor->setFocus();
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, QStringLiteral("77"));
        QCOMPARE(form->widthSlider->value(), 77);
        for (EditBox* box : {form->captionBox, form->widthBox}) {
            // A text editor takes its menu on its viewport.
            QWidget* e = box == form->captionBox ? static_cast<QPlainTextEdit*>(Editor(box))->viewport() : Editor(box);
            QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(3, 3), e->mapToGlobal(QPoint(3, 3)));
            QApplication::sendEvent(e, &event);
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu);
            QAction* undo = menu->findChild<QAction*>(QStringLiteral("edit-undo"));
            QAction* redo = menu->findChild<QAction*>(QStringLiteral("edit-redo"));
            QVERIFY(undo && redo);
            QVERIFY(undo->isEnabled());
            QCOMPARE(redo->isEnabled(), box != form->captionBox); // after the first undo
            menu->close();
            undo->trigger();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        // Two undos: the typed width, then the template.
        QCOMPARE(form->widthBox->Content(), QStringLiteral("192"));
        QCOMPARE(form->widthSlider->value(), 192);
        QCOMPARE(form->templateList->CurrentIndex(), -1);
        QCOMPARE(form->workArea->Decoded(), nullptr);
    }

    // A deleted caption that was not current comes back current, where it
    // was and as it looked; its stacking order too.
    void an_undone_removal_brings_the_caption_back_current()
    {
        ChooseTemplate(0);
        WorkAreaEntry(QStringLiteral("添加文字(&T)"), QPoint(60, 60))->trigger();
        QTest::keyClicks(Editor(form->captionBox), QStringLiteral("Middle"));
        WorkAreaEntry(QStringLiteral("添加文字(&T)"), QPoint(120, 120))->trigger();
        QTest::keyClicks(Editor(form->captionBox), QStringLiteral("Top"));
        TransLabel* middle = form->captions[1];
        const QRect where = middle->geometry();
        const Seen withIt = Look(*form);
        CaptionEntry(*middle, QStringLiteral("删除文字(&D)"));
        QCOMPARE(form->captions.size(), std::size_t(2));
        Key(Window(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(form->captions.size(), std::size_t(3));
        QCOMPARE(form->captions[1]->Caption(), QStringLiteral("Middle"));
        QCOMPARE(form->captions[1]->geometry(), where);
        QCOMPARE(form->captions[2]->Caption(), QStringLiteral("Top"));
        QCOMPARE(form->currentCaption, form->captions[1]);
        QCOMPARE(form->captionBox->Content(), QStringLiteral("Middle"));
        QVERIFY(Look(*form).pixels == withIt.pixels);
    }

    // More than 200 steps are kept, and each goes back.
    void two_hundred_steps_and_more()
    {
        ChooseTemplate(2);
        History().Start();
        const Seen start = Look(*form);
        for (int i = 0; i < 120; ++i) {
            QTest::keyClick(form->widthSlider, Qt::Key_Right);
            QTest::mouseClick(form->boldBox, Qt::LeftButton);
        }
        QCOMPARE(History().UndoCount(), std::size_t(240));
        for (int i = 0; i < 240; ++i)
            History().Undo();
        ExpectSame(Look(*form), start, "240 steps undone");
        QVERIFY(!History().CanUndo());
    }

    // Photos dropped in turn: the history keeps each file's bytes once,
    // the very bytes the work area shows, and no decoded pixels.
    void dropped_photos_are_shared_not_copied()
    {
        QTemporaryDir dir;
        constexpr int kW = 4000, kH = 3000, kPhotos = 4;
        std::vector<std::shared_ptr<const PictureBytes>> shown;
        std::vector<QImage> pixels;
        for (int n = 0; n < kPhotos; ++n) {
            std::vector<std::uint8_t> rgb(std::size_t(kW) * kH * 3);
            for (std::size_t i = 0; i < rgb.size(); ++i)
                rgb[i] = std::uint8_t((i / 3 % kW) / 16 + 40 * n + (i % 3) * 30);
            const std::vector<std::uint8_t> jpeg = MakeJpeg(rgb.data(), kW, kH, 80);
            const QString path = dir.filePath(QStringLiteral("photo%1.jpg").arg(n));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(reinterpret_cast<const char*>(jpeg.data()), qint64(jpeg.size()));
            file.close();
            Drop(path);
            QCOMPARE(form->workArea->Width(), kW);
            shown.push_back(form->workArea->SharedPicture());
            QCOMPARE(shown.back()->size(), jpeg.size());
            QTest::mouseClick(form->zoomOutButton, Qt::LeftButton);
            pixels.push_back(Look(*form).pixels);
        }
        QCOMPARE(History().UndoCount(), std::size_t(2 * kPhotos));
        // Each picture is held by the work area or the history and by no
        // one else: the history holds one reference per state that shows
        // it (the drop's and the zoom's), not a copy.
        for (int n = 0; n < kPhotos; ++n)
            QCOMPARE(shown[std::size_t(n)].use_count(), long(n + 1 == kPhotos ? 4 : 3));
        for (int n = kPhotos - 1; n >= 0; --n) {
            QVERIFY(form->workArea->SharedPicture() == shown[std::size_t(n)]);
            QVERIFY(Look(*form).pixels == pixels[std::size_t(n)]);
            History().Undo();
            History().Undo();
        }
    }
};

QTEST_MAIN(HistoryTest)
#include "test_history.moc"
