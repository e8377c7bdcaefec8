// Several captions through the real window: adding from the work area's
// menu, choosing the one the controls edit, dragging, the cap, removing, and
// colour emoji in the snapshot.
#include "tests/output/BmpRead.h"
#include "tests/support/ShownForm.h"
#include "app/model/CheckBox.h"
#include "app/model/EditBox.h"
#include "app/model/SliderBar.h"
#include "controls/ColorPicker.h"
#include "output/Clipboard.h"
#include "output/Snapshot.h"
#include "overlay/Captions.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>

using namespace mugrove;
using namespace mugrove::testing;

namespace {

// What the controls show, and the same values read from a caption.
using Values = std::tuple<QString, QString, QString, int, int, int, std::uint32_t>;
Values Shown(const Form& f)
{
    return {f.captionBox->Content(), f.widthBox->Content(), f.heightBox->Content(), f.widthSlider->value(),
            f.fontSizeSlider->value(), f.boldBox->Checked(), f.colourPicker->CurrentColour()};
}
Values Of(const TransLabel& c)
{
    return {c.Caption(), QString::number(c.Width()), QString::number(c.Height()), c.Width(),
            100 - c.Font().Size, c.Font().Bold, c.TextColour()};
}
// Everything a caption paints with, and where.
using Look = std::tuple<QString, std::optional<LogFont>, int, std::uint32_t, bool, QRect>;
Look LookOf(const TransLabel& c)
{
    return {c.Caption(), c.StoredFont(), c.TextEffect(), c.TextColour(), c.Outline(), c.geometry()};
}

int Saturated(const QImage& image, const QRect& within)
{
    int n = 0;
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += c.hsvSaturation() > 120 && c.value() > 60;
        }
    return n;
}

} // namespace

class CaptionsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Form> form;
    TransLabel& First() { return *form->captionOverlay; }

    void Press(QPoint at, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseMove(form->window->windowHandle(), at);
        QTest::mousePress(form->window->windowHandle(), button, {}, at);
    }
    void Release(QPoint at) { QTest::mouseRelease(form->window->windowHandle(), Qt::LeftButton, {}, at); }

    // Right-clicks the work area at `at` (window coordinates); the menu's
    // "添加文字" entry, which goes with the menu.
    QAction* AddEntry(QPoint at)
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // menus closed before
        const QPoint local = form->workArea->mapFrom(form->window.get(), at);
        QContextMenuEvent event(QContextMenuEvent::Mouse, local, form->workArea->mapToGlobal(local));
        QApplication::sendEvent(form->workArea, &event);
        auto* menu = form->workArea->findChild<QMenu*>(QStringLiteral("workAreaMenu"));
        // Undo, redo and a separator come first; a separator and 重新编辑 last.
        const QList<QAction*> entries = menu ? menu->actions().mid(3) : QList<QAction*>();
        if (entries.size() != 8 || !entries[0]->text().startsWith(QStringLiteral("粘贴图片"))
            || entries[7]->text() != QStringLiteral("重新编辑(&E)"))
            return nullptr;
        menu->close(); // deleted on close, later
        return entries[1];
    }
    TransLabel* AddAt(QPoint at)
    {
        QAction* add = AddEntry(at);
        if (!add || !add->isEnabled())
            return nullptr;
        add->trigger();
        return form->currentCaption;
    }

    QImage Snapshot() { return DecodeToImage(TakeSnapshot(&Box(*form), 0, 0)).value_or(QImage()); }

private slots:
    void init()
    {
        form = ShowForm();
        QVERIFY(form);
        form->window->Created.Raise();
    }
    void cleanup() { form.reset(); }

    void added_captions_take_the_look_the_typing_the_controls_and_drops()
    {
        First().SetTextEffect(3);
        First().SetOutline(true);
        const Look first = LookOf(First());
        QCOMPARE(AddEntry(QPoint(150, 100))->text(), QStringLiteral("添加文字(&T)"));
        TransLabel* added = AddAt(QPoint(150, 100));
        QVERIFY(added && added->isVisible());
        QCOMPARE(form->captions, (std::vector<TransLabel*>{&First(), added}));
        // 168 x 24 centred on the point, with the whole look.
        QCOMPARE(LookOf(*added), Look(QStringLiteral("新的文字"), std::get<1>(first), 3, 0, true,
                                      QRect(150 - 84, 100 - 12, 168, 24)));
        auto* editor = qobject_cast<QPlainTextEdit*>(QApplication::focusWidget());
        QVERIFY(editor && editor->parent() == form->captionBox);
        QCOMPARE(editor->textCursor().selectedText(), QStringLiteral("新的文字"));
        QTest::keyClicks(editor, QStringLiteral("Top"));
        QCOMPARE(added->Caption(), QStringLiteral("Top"));

        // The controls edit the current caption only; a press on another
        // shows its values and changes no caption; each drags alone.
        QTest::mouseClick(form->boldBox, Qt::LeftButton);
        form->colourPicker->SetCurrentColour(0x00FF00);
        form->colourPicker->ColourChanged.Raise();
        const Look second = LookOf(*added);
        QCOMPARE(added->Font().Bold, 0);
        QCOMPARE(LookOf(First()), first);
        for (TransLabel* pressed : {&First(), added}) {
            Press(pressed->pos() + QPoint(10, 5));
            Release(pressed->pos() + QPoint(10, 5));
            QCOMPARE(form->currentCaption, pressed);
            QCOMPARE(Shown(*form), Of(*pressed));
            QCOMPARE(LookOf(First()), first);
            QCOMPARE(LookOf(*added), second);
        }
        Press(added->pos() + QPoint(10, 5));
        QTest::mouseMove(form->window->windowHandle(), QPoint(300, 200));
        Release(QPoint(300, 200));
        QCOMPARE(added->pos(), QPoint(290, 195));
        QCOMPARE(First().pos(), QPoint(32, 216));

        // A photo dropped on it lands in the box.
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QStringLiteral(MUGROVE_TEST_DATA "/decoders/good_pcx8.pcx"))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(added, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(added, &drop);
        QVERIFY(!form->workArea->Picture().empty());
    }

    void sixteen_at_most_stacked_in_order_and_added_ones_remove()
    {
        for (int i = 1; i < kMaxCaptions; ++i)
            QVERIFY(AddAt(QPoint(20 + 20 * i, 30 + 20 * i)));
        QVERIFY(!AddEntry(QPoint(150, 100))->isEnabled());
        QVERIFY(!AddCaption(*form, QPoint(150, 100)));
        // Above the box, in the order added, below every other control.
        QList<QWidget*> siblings;
        for (QObject* child : form->window->children())
            if (auto* w = qobject_cast<QWidget*>(child); w && !w->isWindow())
                siblings << w;
        const qsizetype bottom = siblings.indexOf(&First());
        QVERIFY(siblings.indexOf(form->workArea) < bottom);
        for (std::size_t i = 0; i < form->captions.size(); ++i)
            QCOMPARE(siblings.indexOf(form->captions[i]), bottom + qsizetype(i));

        const auto menuAt = [&](QPoint at) {
            Press(at, Qt::RightButton);
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            return menu ? menu->actions() : QList<QAction*>();
        };
        QCOMPARE(menuAt(QPoint(40, 220)).last()->text(), QStringLiteral("描边(&O)"));
        QApplication::activePopupWidget()->close();
        QPointer<TransLabel> doomed = form->captions[5];
        const QList<QAction*> entries = menuAt(doomed->geometry().center());
        QCOMPARE(entries.last()->text(), QStringLiteral("删除文字(&D)"));
        QVERIFY(entries[entries.size() - 2]->isSeparator());
        entries.last()->trigger();
        QApplication::activePopupWidget()->close();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(doomed.isNull());
        QCOMPARE(form->captions.size(), std::size_t(kMaxCaptions - 1));
        QCOMPARE(form->currentCaption, &First());
        QCOMPARE(Shown(*form), Of(First()));
        QVERIFY(AddAt(QPoint(150, 100))); // room for one again
    }

    void every_caption_and_its_emoji_show_in_the_snapshot_data()
    {
        QTest::addColumn<bool>("outline");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QString>("face");
        QTest::newRow("plain") << false << false << QString();
        QTest::newRow("bold, outlined") << true << true << QString();
        QTest::newRow("宋体, outlined") << true << false << QStringLiteral("宋体");
    }
    void every_caption_and_its_emoji_show_in_the_snapshot()
    {
        QFETCH(bool, outline);
        QFETCH(bool, bold);
        QFETCH(QString, face);
        First().SetCaption(QStringLiteral("████"));
        First().SetTextColour(0x0000FF); // red
        First().move(40, 40);
        TransLabel* c = AddAt(QPoint(190, 190));
        QVERIFY(c);
        if (!face.isEmpty())
            c->SetFont(OverlayFont{0, 0, 0, 0, 0, 12, face});
        c->SetTextColour(0);
        c->SetFontBold(bold);
        c->SetFontSize(30);
        c->resize(300, 60);
        c->SetOutline(outline);
        c->SetCaption(QStringLiteral("笑死"));
        const QRect area = c->geometry().translated(-Box(*form).pos());
        QCOMPARE(Saturated(Snapshot(), area), 0); // black text, white edge
        for (const QString& emoji : {QStringLiteral("😂"), QStringLiteral("👍"), QStringLiteral("❤")}) {
            c->SetCaption(QStringLiteral("笑死") + emoji);
            QVERIFY2(Saturated(Snapshot(), area) > 150, qPrintable(emoji));
        }
        QVERIFY(Saturated(Snapshot(), First().geometry().translated(-Box(*form).pos())) > 400);
        const QImage box = form->captionBox->grab().toImage(); // the edit box too
        QVERIFY(Saturated(box, box.rect()) > 20);
    }
};

QTEST_MAIN(CaptionsTest)
#include "test_captions.moc"
