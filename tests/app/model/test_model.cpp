// The control kinds' property and event rules, on real widgets.
#include "app/model/Button.h"
#include "app/model/CheckBox.h"
#include "app/model/EditBox.h"
#include "app/model/Event.h"
#include "app/model/Label.h"
#include "app/model/ListBox.h"
#include "app/model/MainWindow.h"
#include "app/model/SliderBar.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTextCursor>

using namespace mugrove;

class ModelTest : public QObject {
    Q_OBJECT

private slots:
    void event_refuses_a_second_handler()
    {
        Event<int> event;
        int first = 0, second = 0;
        QVERIFY(event.Bind([&](int v) { first += v; }));
        QVERIFY(!event.Bind([&](int v) { second += v; }));
        event.Raise(3);
        QCOMPARE(first, 3);
        QCOMPARE(second, 0);
    }

    void geometry_writes_are_clamped()
    {
        QWidget parent;
        Label label(&parent);
        label.setGeometry(10, 20, 30, 40);
        label.SetWidth(-10);
        QCOMPARE(label.Width(), 0);
        QCOMPARE(label.Height(), 40);
        label.SetLeft(40000);
        QCOMPARE(label.Left(), 32627);
        QCOMPARE(label.Top(), 20);
        label.SetTop(-40000);
        QCOMPARE(label.Top(), -32627);
        label.SetHeight(50000);
        QCOMPARE(label.Height(), 32627);
        QCOMPARE(label.Left(), 32627); // the corner stays where it was
    }

    void content_write_raises_once_even_when_unchanged()
    {
        QWidget parent;
        EditBox box(EditBox::Lines::Single, &parent);
        QStringList seen;
        box.ContentChanged.Bind([&] { seen << box.Content(); });
        box.SetContent(QStringLiteral("192"));
        box.SetContent(QStringLiteral("192"));
        QCOMPARE(seen, QStringList({"192", "192"}));
    }

    void typing_raises_after_every_change()
    {
        QWidget parent;
        for (auto lines : {EditBox::Lines::Single, EditBox::Lines::Multi}) {
            EditBox box(lines, &parent);
            QStringList seen;
            box.ContentChanged.Bind([&] { seen << box.Content(); });
            QTest::keyClicks(box.focusProxy(), QStringLiteral("30"));
            QTest::keyClick(box.focusProxy(), Qt::Key_Backspace);
            QCOMPARE(seen, QStringList({"3", "30", "3"}));
        }
    }

    void multi_line_box_takes_enter_single_line_box_does_not()
    {
        QWidget parent;
        EditBox multi(EditBox::Lines::Multi, &parent);
        QTest::keyClicks(multi.focusProxy(), QStringLiteral("a"));
        QTest::keyClick(multi.focusProxy(), Qt::Key_Return);
        QTest::keyClicks(multi.focusProxy(), QStringLiteral("b"));
        QCOMPARE(multi.Content(), QStringLiteral("a\nb"));

        EditBox single(EditBox::Lines::Single, &parent);
        QTest::keyClicks(single.focusProxy(), QStringLiteral("a"));
        QTest::keyClick(single.focusProxy(), Qt::Key_Return);
        QCOMPARE(single.Content(), QStringLiteral("a"));
    }

    // The multi-line box keeps its paragraphs' shaped text between paints;
    // a new font, a new width or an edit must still show the text anew,
    // exactly as a box given the same font and text from the start.
    void multi_line_box_shows_its_text_anew_after_font_width_and_edit()
    {
        QWidget parent;
        parent.resize(400, 200);
        const QString text = QStringLiteral("Abc 笑死😂👍 Wxyz ").repeated(20);
        EditBox kept(EditBox::Lines::Multi, &parent);
        kept.setGeometry(0, 0, 170, 67);
        kept.SetContent(text);
        QFont big = kept.focusProxy()->font();
        big.setPixelSize(23);
        EditBox fresh(EditBox::Lines::Multi, &parent);
        fresh.setGeometry(200, 0, 190, 67);
        fresh.focusProxy()->setFont(big);
        fresh.SetContent(QStringLiteral("MM") + text);
        parent.setFocus(); // no cursor in either box
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        const QImage before = kept.grab().toImage(); // laid out and drawn in the first font

        kept.focusProxy()->setFont(big);
        kept.setGeometry(0, 0, 190, 67);
        QTextCursor(qobject_cast<QPlainTextEdit*>(kept.focusProxy())->document()).insertText(QStringLiteral("MM"));
        QCoreApplication::processEvents();
        const QImage after = kept.grab().toImage();
        QVERIFY(after != before);
        QCOMPARE(after, fresh.grab().toImage());
    }

    void slider_position_is_stored_as_written_and_thumb_clamped()
    {
        QWidget parent;
        SliderBar slider(Qt::Horizontal, &parent);
        slider.setRange(1, 500);
        int raised = 0;
        slider.PositionChanged.Bind([&] { ++raised; });
        slider.SetPosition(600);
        QCOMPARE(slider.Position(), 600);
        QCOMPARE(slider.value(), 500);
        slider.SetPosition(-5);
        QCOMPARE(slider.Position(), 0);
        QCOMPARE(slider.value(), 1);
        slider.SetPosition(0);
        QCOMPARE(slider.Position(), 0);
        QCOMPARE(slider.value(), 1);
        slider.SetPosition(40000);
        QCOMPARE(slider.Position(), 32767);
        QCOMPARE(raised, 0);
    }

    void slider_drag_raises_while_moving_and_once_more_on_release()
    {
        QWidget parent;
        parent.resize(300, 60);
        SliderBar slider(Qt::Horizontal, &parent);
        slider.setGeometry(0, 0, 300, 30);
        slider.setRange(1, 500);
        slider.SetPosition(1);
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        QList<int> seen;
        slider.PositionChanged.Bind([&] { seen << slider.Position(); });

        QStyleOptionSlider option;
        option.initFrom(&slider);
        option.orientation = Qt::Horizontal;
        option.minimum = slider.minimum();
        option.maximum = slider.maximum();
        option.sliderPosition = slider.sliderPosition();
        option.sliderValue = slider.value();
        const QRect handle = slider.style()->subControlRect(QStyle::CC_Slider, &option,
                                                            QStyle::SC_SliderHandle, &slider);
        QPoint at = handle.center();
        QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, at);
        for (int step = 0; step < 5; ++step) {
            at += QPoint(20, 0);
            QTest::mouseMove(&slider, at);
        }
        const int beforeRelease = seen.size();
        QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, at);
        QVERIFY2(beforeRelease >= 5, qPrintable(QString::number(beforeRelease)));
        QCOMPARE(seen.size(), beforeRelease + 1);
        QCOMPARE(seen.last(), seen.at(beforeRelease - 1)); // release repeats the final position
        QCOMPARE(slider.Position(), slider.value());
        QVERIFY(slider.Position() > 1);
    }

    void slider_keys_raise_with_the_new_position()
    {
        QWidget parent;
        SliderBar slider(Qt::Vertical, &parent);
        slider.setRange(5, 100);
        slider.setPageStep(5);
        slider.SetPosition(100);
        QList<int> seen;
        slider.PositionChanged.Bind([&] { seen << slider.Position(); });
        QTest::keyClick(&slider, Qt::Key_PageUp);
        QTest::keyClick(&slider, Qt::Key_Home);
        QTest::keyClick(&slider, Qt::Key_Down); // minimum at the top: Down grows
        QCOMPARE(seen, QList<int>({95, 5, 6}));
    }

    void check_box_write_never_raises_click_toggles_and_raises()
    {
        QWidget parent;
        CheckBox box(&parent);
        box.resize(60, 24);
        QList<int> seen;
        box.Clicked.Bind([&] { seen << box.Checked(); });
        box.SetChecked(1);
        QCOMPARE(box.Checked(), 1);
        box.SetChecked(2);
        QCOMPARE(box.Checked(), 0);
        QVERIFY(seen.isEmpty());
        QTest::mouseClick(&box, Qt::LeftButton, Qt::NoModifier, QPoint(8, 12));
        QTest::mouseClick(&box, Qt::LeftButton, Qt::NoModifier, QPoint(8, 12));
        QCOMPARE(seen, QList<int>({1, 0}));
    }

    void button_click_raises_clicked()
    {
        QWidget parent;
        Button button(&parent);
        button.resize(80, 30);
        int raised = 0;
        button.Clicked.Bind([&] { ++raised; });
        button.SetCaption(QStringLiteral("复制图片"));
        QCOMPARE(raised, 0);
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(raised, 1);
    }

    void list_selection_by_mouse_and_keys()
    {
        QWidget parent;
        parent.resize(200, 200);
        ListBox list(&parent);
        list.setGeometry(0, 0, 200, 200);
        list.SetItems({"a", "b", "c"});
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));
        list.setFocus(); // focus alone selects nothing
        QCOMPARE(list.CurrentIndex(), -1);
        QList<int> seen;
        list.SelectionChanged.Bind([&] { seen << list.CurrentIndex(); });

        const QPoint second = list.visualItemRect(list.item(1)).center();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, second);
        QCOMPARE(seen, QList<int>({1}));
        // Picking the selected item again counts as a selection once.
        QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, second);
        QCOMPARE(seen, QList<int>({1, 1}));
        QTest::keyClick(list.viewport(), Qt::Key_Down);
        QCOMPARE(seen, QList<int>({1, 1, 2}));
    }

    void escape_closes_the_window_unless_a_control_takes_it()
    {
        MainWindow window;
        auto* box = new EditBox(EditBox::Lines::Single, &window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        box->focusProxy()->setFocus();
        QTest::keyClick(box->focusProxy(), Qt::Key_Escape);
        QVERIFY(!window.isVisible());
    }

    void window_mouse_events_carry_client_position_and_keys()
    {
        MainWindow window;
        window.resize(200, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QList<QList<int>> moves, ups;
        window.MouseMove.Bind([&](int x, int y, int k) { moves << QList<int>{x, y, k}; });
        window.MouseUp.Bind([&](int x, int y, int k) { ups << QList<int>{x, y, k}; });
        QTest::mouseMove(&window, QPoint(30, 40));
        QTest::mouseRelease(&window, Qt::LeftButton, Qt::ControlModifier | Qt::ShiftModifier,
                            QPoint(7, 9));
        QTest::mouseRelease(&window, Qt::RightButton, Qt::NoModifier, QPoint(1, 1));
        QVERIFY(!moves.isEmpty());
        QCOMPARE(moves.last(), QList<int>({30, 40, 0}));
        QCOMPARE(ups, QList<QList<int>>({{7, 9, 3}}));
    }
};

QTEST_MAIN(ModelTest)
#include "test_model.moc"
