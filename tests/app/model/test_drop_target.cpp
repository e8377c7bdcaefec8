// The drop target: what it accepts, the effect it shows, what a drop raises.
#include "app/model/DropTarget.h"
#include "tests/support/FileList.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <QWidget>

using namespace mugrove;
using mugrove::testing::Files;

namespace {

constexpr Qt::DropActions kAll = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

struct Target {
    QWidget window;
    QObject owner;
    DropTarget target{&owner};
    QStringList dropped;
    Target()
    {
        window.resize(100, 100);
        target.Register(window);
        target.FilesDropped.Bind([this](const QString& text) { dropped << text; });
    }

    // The effect the window answers a drag enter with.
    Qt::DropAction Enter(const QMimeData& data, Qt::DropActions allowed,
                         Qt::KeyboardModifiers keys = Qt::NoModifier)
    {
        QDragEnterEvent enter(QPoint(10, 10), allowed, &data, Qt::NoButton, keys);
        QApplication::sendEvent(&window, &enter);
        return enter.isAccepted() ? enter.dropAction() : Qt::IgnoreAction;
    }

    Qt::DropAction Drop(const QMimeData& data, Qt::DropActions allowed,
                        Qt::KeyboardModifiers keys = Qt::NoModifier)
    {
        Enter(data, allowed, keys);
        QDropEvent drop(QPointF(10, 10), allowed, &data, Qt::LeftButton, keys);
        QApplication::sendEvent(&window, &drop);
        return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
    }
};

} // namespace

class DropTargetTest : public QObject {
    Q_OBJECT

private slots:
    void effect_follows_keys_and_allowed_effects()
    {
        using D = DropEffect;
        const int none = 0, ctrl = 1, shift = 2;
        QCOMPARE(ChooseDropEffect(false, none, kAll), D::None);
        QCOMPARE(ChooseDropEffect(true, ctrl | shift, kAll), D::None);
        QCOMPARE(ChooseDropEffect(true, ctrl, kAll), D::Copy);
        QCOMPARE(ChooseDropEffect(true, ctrl, Qt::MoveAction), D::None);
        QCOMPARE(ChooseDropEffect(true, shift, kAll), D::Move);
        QCOMPARE(ChooseDropEffect(true, shift, Qt::CopyAction), D::None);
        QCOMPARE(ChooseDropEffect(true, none, kAll), D::Copy);
        QCOMPARE(ChooseDropEffect(true, none, Qt::MoveAction | Qt::LinkAction), D::Move);
        QCOMPARE(ChooseDropEffect(true, none, Qt::LinkAction), D::Link);
        QCOMPARE(ChooseDropEffect(true, none, Qt::IgnoreAction), D::None);
        QCOMPARE(ChooseDropEffect(true, 4 /* Alt */, kAll), D::Copy);
    }

    void files_text_is_one_path_or_every_path_with_crlf()
    {
        QCOMPARE(DroppedFilesText({"/tmp/a.jpg"}), QStringLiteral("/tmp/a.jpg"));
        QCOMPARE(DroppedFilesText({"/a", "/b"}), QStringLiteral("/a\r\n/b\r\n"));
    }

    void registration_is_refused_the_second_time()
    {
        QWidget a, b;
        QObject owner;
        DropTarget target(&owner);
        QVERIFY(target.Register(a));
        QVERIFY(!target.Register(b));
        QVERIFY(a.acceptDrops());
        QVERIFY(!b.acceptDrops());
    }

    void dragged_files_show_the_chosen_effect()
    {
        Target t;
        QScopedPointer<QMimeData> data(Files({"/tmp/x.jpg"}));
        QCOMPARE(t.Enter(*data, kAll), Qt::CopyAction);
        QCOMPARE(t.Enter(*data, kAll, Qt::ShiftModifier), Qt::MoveAction);
        QCOMPARE(t.Enter(*data, kAll, Qt::ShiftModifier | Qt::ControlModifier), Qt::IgnoreAction);
    }

    void text_and_links_are_refused()
    {
        Target t;
        QMimeData text;
        text.setText(QStringLiteral("hello"));
        QCOMPARE(t.Drop(text, kAll), Qt::IgnoreAction);
        QMimeData link;
        link.setUrls({QUrl(QStringLiteral("https://example.invalid/a.jpg"))});
        QCOMPARE(t.Enter(link, kAll), Qt::IgnoreAction);
        t.Drop(link, kAll);
        QVERIFY(t.dropped.isEmpty());
    }

    void drop_raises_files_dropped_and_never_reports_a_move()
    {
        Target t;
        QScopedPointer<QMimeData> one(Files({"/tmp/图片 1.jpg"}));
        QCOMPARE(t.Drop(*one, kAll, Qt::ShiftModifier), Qt::IgnoreAction);
        QScopedPointer<QMimeData> two(Files({"/tmp/a.gif", "/tmp/b.bmp"}));
        t.Drop(*two, kAll);
        QCOMPARE(t.dropped, QStringList({"/tmp/图片 1.jpg", "/tmp/a.gif\r\n/tmp/b.bmp\r\n"}));
        t.Drop(*one, kAll, Qt::ShiftModifier | Qt::ControlModifier); // "none": nothing happens
        QCOMPARE(t.dropped.size(), 2);
    }
};

QTEST_MAIN(DropTargetTest)
#include "test_drop_target.moc"
