// Several captions: adding them from the work area's menu, choosing the one
// the controls edit, dragging, removing, the cap, and what the snapshot shows.
#include "tests/output/BmpRead.h"
#include "tests/output/ShownForm.h"
#include "app/model/CheckBox.h"
#include "app/model/EditBox.h"
#include "app/model/SliderBar.h"
#include "controls/ColorPicker.h"
#include "output/Snapshot.h"
#include "overlay/Captions.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>

using namespace mugrove;
using namespace mugrove::testing;

namespace {

void DragThumb(SliderBar& slider, int position)
{
    slider.setSliderDown(true);
    slider.setSliderPosition(position);
    slider.setSliderDown(false);
}

QAction* Entry(QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

// What the controls show, to compare with a caption's values.
struct Shown {
    QString text, width, height;
    int widthThumb, heightThumb, sizeThumb, bold;
    std::uint32_t colour;
    bool operator==(const Shown&) const = default;
};

Shown ShownBy(const Form& f)
{
    return {f.captionBox->Content(), f.widthBox->Content(), f.heightBox->Content(),
            f.widthSlider->value(), f.heightSlider->value(), f.fontSizeSlider->value(),
            f.boldBox->Checked(), f.colourPicker->CurrentColour()};
}

Shown ValuesOf(const TransLabel& c)
{
    return {c.Caption(), QString::number(c.Width()), QString::number(c.Height()), c.Width(), c.Height(),
            100 - c.Font().Size, c.Font().Bold, c.TextColour()};
}

// Everything a caption paints with, and where.
struct Look {
    QString text;
    std::optional<LogFont> font;
    int effect;
    std::uint32_t colour;
    bool outline;
    QRect geometry;
    bool operator==(const Look&) const = default;
};

Look LookOf(const TransLabel& c)
{
    return {c.Caption(), c.StoredFont(), c.TextEffect(), c.TextColour(), c.Outline(), c.geometry()};
}

// Pixels whose colour is clearly a colour, not black, white or grey.
int Saturated(const QImage& image, const QRect& within)
{
    int n = 0;
    for (int y = std::max(0, within.top()); y <= std::min(image.height() - 1, within.bottom()); ++y)
        for (int x = std::max(0, within.left()); x <= std::min(image.width() - 1, within.right()); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += c.hsvSaturation() > 120 && c.value() > 60;
        }
    return n;
}

// An open menu closed before it goes, so no pop-up is left waiting.
struct CloseMenu {
    void operator()(QMenu* menu) const
    {
        menu->close();
        delete menu;
    }
};
using MenuPtr = std::unique_ptr<QMenu, CloseMenu>;

} // namespace

class CaptionsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Form> form;

    QWindow* Window() { return form->window->windowHandle(); }
    TransLabel& First() { return *form->captionOverlay; }

    // The work area's menu as a right-click at `at` (window coordinates) opens it.
    MenuPtr WorkAreaMenu(QPoint at)
    {
        const QPoint local = form->workArea->mapFrom(form->window.get(), at);
        QContextMenuEvent event(QContextMenuEvent::Mouse, local, form->workArea->mapToGlobal(local));
        QApplication::sendEvent(form->workArea, &event);
        return MenuPtr(form->workArea->findChild<QMenu*>(QStringLiteral("workAreaMenu")));
    }

    TransLabel* AddAt(QPoint at)
    {
        const auto menu = WorkAreaMenu(at);
        QAction* add = menu ? Entry(*menu, QStringLiteral("添加文字(&T)")) : nullptr;
        if (!add || !add->isEnabled())
            return nullptr;
        add->trigger();
        return form->currentCaption;
    }

    // The caption's own menu, opened by a right-click at `at`.
    QMenu* CaptionMenu(QPoint at)
    {
        QTest::mouseMove(Window(), at);
        QTest::mouseClick(Window(), Qt::RightButton, {}, at);
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    }

    QImage Snapshot() { return DecodeToImage(TakeSnapshot(&Box(*form), 0, 0)).value_or(QImage()); }
    QRect InBox(const TransLabel& c) { return c.geometry().translated(-Box(*form).pos()); }

private slots:
    void init()
    {
        form = ShowForm();
        QVERIFY(form);
        form->window->Created.Raise();
    }

    void cleanup() { form.reset(); }

    void an_added_caption_takes_the_current_look_and_the_typing()
    {
        First().SetTextEffect(3);
        First().SetOutline(true);
        First().SetTextColour(0x0000FF);
        const Look first = LookOf(First());

        const auto menu = WorkAreaMenu(QPoint(150, 100));
        QVERIFY(menu);
        const QList<QAction*> entries = menu->actions();
        QCOMPARE(entries.size(), 2);
        QVERIFY(entries[0]->text().startsWith(QStringLiteral("粘贴图片")));
        QCOMPARE(entries[1]->text(), QStringLiteral("添加文字(&T)"));
        QVERIFY(entries[1]->isEnabled());
        entries[1]->trigger();

        QCOMPARE(form->captions.size(), 2u);
        TransLabel& added = *form->captions[1];
        QCOMPARE(form->currentCaption, &added);
        QVERIFY(added.isVisible());
        // 168 x 24 centred on (150, 100).
        QCOMPARE(added.geometry(), QRect(150 - 84, 100 - 12, 168, 24));
        Look expected = first;
        expected.text = QStringLiteral("新的文字");
        expected.geometry = added.geometry();
        QCOMPARE(LookOf(added), expected);

        auto* editor = qobject_cast<QPlainTextEdit*>(form->captionBox->focusProxy());
        QVERIFY(editor);
        QCOMPARE(QApplication::focusWidget(), editor);
        QCOMPARE(editor->textCursor().selectedText(), QStringLiteral("新的文字"));
        QTest::keyClicks(editor, QStringLiteral("Top"));
        QCOMPARE(added.Caption(), QStringLiteral("Top"));
        QCOMPARE(LookOf(First()), first);

        // A photo dropped on it lands in the box.
        QVERIFY(form->workArea->Picture().empty());
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QStringLiteral(MUGROVE_TEST_DATA "/decoders/good_pcx8.pcx"))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&added, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&added, &drop);
        QVERIFY(!form->workArea->Picture().empty());
    }

    void pressing_a_caption_makes_it_current_and_the_controls_edit_only_it()
    {
        TransLabel* added = AddAt(QPoint(200, 330));
        QVERIFY(added);
        // Styled through the controls while it is current.
        DragThumb(*form->widthSlider, 250);
        DragThumb(*form->heightSlider, 60);
        DragThumb(*form->fontSizeSlider, 60); // 40 points
        QTest::mouseClick(form->boldBox, Qt::LeftButton);
        form->colourPicker->SetCurrentColour(0x00FF00);
        form->colourPicker->ColourChanged.Raise();
        QCOMPARE(added->Width(), 250);
        QCOMPARE(added->Height(), 60);
        QCOMPARE(added->Font().Size, 40);
        QCOMPARE(added->Font().Bold, 0);
        QCOMPARE(added->TextColour(), 0x00FF00u);
        const Look firstLook = LookOf(First());
        QCOMPARE(firstLook.geometry, QRect(32, 216, 168, 24));
        QCOMPARE(First().Font().Size, 12);
        QCOMPARE(First().Font().Bold, 1);

        // Each press shows that caption's values and changes no caption.
        const Look addedLook = LookOf(*added);
        for (TransLabel* pressed : {&First(), added, &First()}) {
            const QPoint at = pressed->geometry().topLeft() + QPoint(3, 3);
            QTest::mousePress(Window(), Qt::LeftButton, {}, at);
            QTest::mouseRelease(Window(), Qt::LeftButton, {}, at);
            QCOMPARE(form->currentCaption, pressed);
            QCOMPARE(ShownBy(*form), ValuesOf(*pressed));
            QCOMPARE(LookOf(First()), firstLook);
            QCOMPARE(LookOf(*added), addedLook);
        }
        form->captionBox->SetContent(QStringLiteral("上"));
        QCOMPARE(First().Caption(), QStringLiteral("上"));
        QCOMPARE(added->Caption(), QStringLiteral("新的文字"));
    }

    void an_added_caption_drags_alone()
    {
        TransLabel* added = AddAt(QPoint(200, 330));
        QVERIFY(added);
        const QPoint grab = added->pos() + QPoint(10, 5);
        QTest::mousePress(Window(), Qt::LeftButton, {}, grab);
        QTest::mouseMove(Window(), QPoint(300, 200));
        QTest::mouseRelease(Window(), Qt::LeftButton, {}, QPoint(300, 200));
        QCOMPARE(added->pos(), QPoint(290, 195));
        QCOMPARE(First().pos(), QPoint(32, 216));
        QVERIFY(!form->caption.drag.Dragging);
    }

    void captions_stack_above_the_box_up_to_the_cap_and_added_ones_remove()
    {
        for (int i = 1; i < kMaxCaptions; ++i)
            QVERIFY(AddAt(QPoint(20 + 20 * i, 30 + 20 * i)));
        QCOMPARE(form->captions.size(), std::size_t(kMaxCaptions));
        {
            const auto menu = WorkAreaMenu(QPoint(150, 100));
            QAction* add = Entry(*menu, QStringLiteral("添加文字(&T)"));
            QVERIFY(add && !add->isEnabled());
        }
        QVERIFY(!AddCaption(*form, QPoint(150, 100)));

        // Stacking: the box, then the captions in the order added, then
        // every other control.
        QList<QWidget*> siblings;
        for (QObject* child : form->window->children())
            if (auto* w = qobject_cast<QWidget*>(child); w && !w->isWindow())
                siblings << w;
        const qsizetype first = siblings.indexOf(&First());
        QVERIFY(siblings.indexOf(form->workArea) < first);
        for (std::size_t i = 0; i < form->captions.size(); ++i)
            QCOMPARE(siblings.indexOf(form->captions[i]), first + qsizetype(i));

        // 透明标签1's menu has no removal; an added caption's ends with it.
        QMenu* menu = CaptionMenu(QPoint(40, 220));
        QVERIFY(menu);
        QCOMPARE(menu->actions().last()->text(), QStringLiteral("描边(&O)"));
        menu->close();
        QPointer<TransLabel> doomed = form->captions[5];
        QVERIFY(form->currentCaption != doomed);
        menu = CaptionMenu(doomed->geometry().center());
        QVERIFY(menu);
        const QList<QAction*> entries = menu->actions();
        QCOMPARE(entries.last()->text(), QStringLiteral("删除文字(&D)"));
        QVERIFY(entries[entries.size() - 2]->isSeparator());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entries.last()).center());
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(doomed.isNull());
        QCOMPARE(form->captions.size(), std::size_t(kMaxCaptions - 1));
        QCOMPARE(form->currentCaption, &First());
        QCOMPARE(ShownBy(*form), ValuesOf(First()));
        QVERIFY(AddAt(QPoint(150, 100))); // room for one again
    }

    void the_snapshot_shows_every_caption()
    {
        const std::uint32_t colours[] = {0x0000FF, 0x00FF00, 0xFF0000}; // 0x00BBGGRR
        const QPoint centres[] = {QPoint(120, 60), QPoint(120, 200), QPoint(250, 330)};
        for (int i = 0; i < 3; ++i) {
            TransLabel* c = i == 0 ? &First() : AddAt(centres[i]);
            QVERIFY(c);
            if (i == 0)
                c->move(centres[0] - QPoint(84, 12));
            c->SetCaption(QStringLiteral("████"));
            c->SetTextColour(colours[i]);
        }
        const QImage shot = Snapshot();
        QVERIFY(!shot.isNull());
        for (int i = 0; i < 3; ++i) {
            const QRgb want = qRgb(colours[i] & 0xFF, (colours[i] >> 8) & 0xFF, colours[i] >> 16);
            int found = 0;
            const QRect r = InBox(*form->captions[std::size_t(i)]);
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    found += shot.pixel(x, y) == want;
            QVERIFY2(found > 100, qPrintable(QString::number(i)));
        }
    }

    void emoji_show_in_colour_in_the_snapshot_data()
    {
        QTest::addColumn<bool>("outline");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QString>("face");
        QTest::newRow("plain") << false << false << QString();
        QTest::newRow("bold, outlined") << true << true << QString();
        QTest::newRow("宋体, outlined") << true << false << QStringLiteral("宋体");
    }

    void emoji_show_in_colour_in_the_snapshot()
    {
        QFETCH(bool, outline);
        QFETCH(bool, bold);
        QFETCH(QString, face);
        TransLabel* c = AddAt(QPoint(190, 190));
        QVERIFY(c);
        if (!face.isEmpty()) {
            OverlayFont font;
            font.Size = 12;
            font.FaceName = face;
            c->SetFont(font);
        }
        c->SetFontBold(bold);
        c->SetFontSize(30);
        c->resize(300, 60);
        c->SetOutline(outline);
        c->SetCaption(QStringLiteral("笑死"));
        QCOMPARE(Saturated(Snapshot(), InBox(*c)), 0); // black text, white edge
        for (const QString& emoji : {QStringLiteral("😂"), QStringLiteral("👍"), QStringLiteral("❤")}) {
            c->SetCaption(QStringLiteral("笑死") + emoji);
            QVERIFY2(Saturated(Snapshot(), InBox(*c)) > 150, qPrintable(emoji));
        }
        // The edit box shows them in colour too.
        const QImage box = form->captionBox->grab().toImage();
        QVERIFY(Saturated(box, box.rect()) > 20);
    }
};

QTEST_MAIN(CaptionsTest)
#include "test_captions.moc"
