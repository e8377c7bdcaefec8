// The main window as built from its definition, and start-up.
#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/model/Button.h"
#include "app/model/CheckBox.h"
#include "app/model/CommonDlg.h"
#include "app/model/DropTarget.h"
#include "app/model/EditBox.h"
#include "app/model/GroupBox.h"
#include "app/model/Label.h"
#include "app/model/ListBox.h"
#include "app/model/MainWindow.h"
#include "app/model/SliderBar.h"
#include "app/program/EventTable.h"
#include "app/program/Startup.h"
#include "controls/ColorPicker.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "tests/support/ModalAnswer.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontDialog>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <optional>

using namespace mugrove;
using mugrove::testing::ModalAnswer;

namespace {

struct Expected {
    const char* name;
    const char* className;
    const char* parent;
    QRect geometry; // in the parent's client area
    bool tabStop;
    const char* text;
};

// The window as a user sees it right after creation.
const Expected kControls[] = {
    {"分组框3", "mugrove::GroupBox", "MainWindow", {0, 3, 392, 400}, false,
     "可直接拖入照片到此处，可缩放；文字显示需在图片范围内。"},
    {"图片框1", "mugrove::PicBox", "MainWindow", {5, 16, 379, 384}, false, nullptr},
    {"透明标签1", "mugrove::TransLabel", "MainWindow", {32, 216, 168, 24}, false, "这里显示文字,可拖动"},
    {"标签1", "mugrove::Label", "MainWindow", {10, 403, 99, 24}, false, "图片宽度："},
    {"标签4", "mugrove::Label", "MainWindow", {10, 427, 100, 24}, false, "图片高度："},
    {"按钮4", "mugrove::Button", "MainWindow", {122, 408, 127, 40}, true, "放大+"},
    {"按钮5", "mugrove::Button", "MainWindow", {256, 408, 127, 40}, true, "缩小-"},
    {"分组框1", "mugrove::GroupBox", "MainWindow", {394, 3, 241, 125}, false, "修改文字在此"},
    {"编辑框1", "mugrove::EditBox", "MainWindow", {406, 21, 170, 67}, true, "这里修改文字,可拖动"},
    {"按钮2", "mugrove::Button", "MainWindow", {407, 92, 65, 29}, true, "字体修改"},
    {"颜色选择器1", "mugrove::ColorPicker", "MainWindow", {476, 92, 47, 28}, true, nullptr},
    {"选择框1", "mugrove::CheckBox", "分组框1", {134, 93, 48, 24}, true, "粗体"},
    {"标签5", "mugrove::Label", "分组框1", {192, 18, 16, 96}, false,
     "↑\r\n\r\n字\r\n体\r\n大\r\n小\r\n\r\n↓"},
    {"滑块条3", "mugrove::SliderBar", "分组框1", {209, 8, 24, 115}, true, nullptr},
    {"分组框2", "mugrove::GroupBox", "MainWindow", {395, 128, 240, 319}, false, "属性修改"},
    {"列表框1", "mugrove::ListBox", "MainWindow", {404, 144, 220, 168}, true, nullptr},
    {"标签2", "mugrove::Label", "MainWindow", {408, 324, 48, 32}, false, "文字宽度"},
    {"编辑框2", "mugrove::EditBox", "MainWindow", {457, 324, 32, 32}, true, "192"},
    {"滑块条1", "mugrove::SliderBar", "MainWindow", {482, 328, 143, 24}, true, nullptr},
    {"标签3", "mugrove::Label", "MainWindow", {408, 361, 48, 32}, false, "文字高度"},
    {"编辑框3", "mugrove::EditBox", "MainWindow", {457, 362, 32, 32}, true, "40"},
    {"滑块条2", "mugrove::SliderBar", "MainWindow", {482, 362, 143, 24}, true, nullptr},
    {"按钮1", "mugrove::Button", "MainWindow", {404, 396, 106, 43}, true, "复制图片"},
    {"按钮3", "mugrove::Button", "MainWindow", {515, 396, 106, 43}, true, "保存到桌面"},
};

QString TextOf(QObject* o)
{
    if (auto* g = qobject_cast<GroupBox*>(o)) return g->Caption();
    if (auto* t = qobject_cast<TransLabel*>(o)) return t->Caption();
    if (auto* l = qobject_cast<Label*>(o)) return l->Caption();
    if (auto* b = qobject_cast<Button*>(o)) return b->Caption();
    if (auto* e = qobject_cast<EditBox*>(o)) return e->Content();
    if (auto* c = qobject_cast<CheckBox*>(o)) return c->text();
    return {};
}

QStringList WidgetNamesTopFirst(QWidget* parent)
{
    QStringList names;
    for (QObject* child : parent->children())
        if (child->isWidgetType() && !child->objectName().isEmpty()
            && child->metaObject()->className() != QByteArray("QWidget"))
            names.prepend(child->objectName());
    return names;
}

std::unique_ptr<Form> ShownForm()
{
    auto form = CreateForm(DefaultWindowDefinition());
    if (!form)
        return nullptr;
    form->window->show();
    if (!QTest::qWaitForWindowActive(form->window.get()))
        return nullptr;
    return form;
}

QPoint RowCentre(ListBox& list, int row)
{
    return list.visualItemRect(list.item(row)).center();
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { RegisterFontSubstitutions(); }

    void every_control_is_where_the_definition_puts_it()
    {
        auto form = CreateForm(DefaultWindowDefinition());
        QVERIFY(form);
        for (const Expected& e : kControls) {
            const QString name = QString::fromUtf8(e.name);
            auto* w = form->window->findChild<QWidget*>(name);
            QVERIFY2(w, e.name);
            QCOMPARE(w->metaObject()->className(), e.className);
            QCOMPARE(w->parentWidget()->objectName(), QString::fromUtf8(e.parent));
            QCOMPARE(w->geometry(), e.geometry);
            QCOMPARE(w->focusPolicy() == Qt::StrongFocus, e.tabStop);
            if (e.text)
                QCOMPARE(TextOf(w), QString::fromUtf8(e.text));
            QVERIFY(w->isVisibleTo(form->window.get()));
            QVERIFY(w->isEnabled());
        }
        QCOMPARE(form->window->findChild<CommonDlg*>(QStringLiteral("通用对话框1")), form->fontDialog);
        QCOMPARE(form->window->findChild<DropTarget*>(QStringLiteral("拖放对象1")), form->dropTarget);
        QCOMPARE(form->window->windowTitle(), QStringLiteral("Mugrove"));
        QCOMPARE(form->window->size(), QSize(636, 450));
        QCOMPARE(form->window->minimumSize(), form->window->maximumSize());
        const Qt::WindowFlags flags = form->window->windowFlags();
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        const QSize icon = form->window->windowIcon().actualSize(QSize(50, 48));
        QCOMPARE(icon, QSize(50, 48));
    }

    void stacking_puts_the_caption_above_the_work_area()
    {
        auto form = CreateForm(DefaultWindowDefinition());
        QVERIFY(form);
        const QStringList expected = {"标签1", "标签4", "按钮4", "按钮5", "透明标签1", "编辑框3",
                                      "编辑框2", "按钮3", "滑块条2", "滑块条1", "颜色选择器1",
                                      "标签3", "标签2", "按钮2", "编辑框1", "列表框1", "按钮1",
                                      "图片框1", "分组框1", "分组框2", "分组框3"};
        QCOMPARE(WidgetNamesTopFirst(form->window.get()), expected);
        QCOMPARE(WidgetNamesTopFirst(form->textGroup),
                 QStringList({"选择框1", "标签5", "滑块条3"}));
    }

    void tab_moves_through_the_controls_in_reading_order()
    {
        auto form = CreateForm(DefaultWindowDefinition());
        QVERIFY(form);
        const QList<QWidget*> expected = {
            form->captionBox, form->fontButton, form->colourPicker, form->boldBox,
            form->fontSizeSlider, form->templateList, form->widthBox, form->widthSlider,
            form->heightBox, form->heightSlider, form->copyButton, form->saveButton,
            form->zoomInButton, form->zoomOutButton};
        form->window->show();
        QVERIFY(QTest::qWaitForWindowActive(form->window.get()));
        const auto focusOf = [](QWidget* w) { return w->focusProxy() ? w->focusProxy() : w; };
        expected.front()->setFocus();
        for (qsizetype i = 1; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY2(QApplication::focusWidget() == focusOf(expected[i]), qPrintable(expected[i]->objectName()));
        }
    }

    void kind_settings_at_creation()
    {
        auto form = CreateForm(DefaultWindowDefinition());
        QVERIFY(form);
        QCOMPARE(form->templateList->count(), 38);
        QCOMPARE(form->templateList->item(0)->text(), QStringLiteral("短发1"));
        QCOMPARE(form->templateList->item(11)->text(), QStringLiteral("Orrick"));
        QCOMPARE(form->templateList->item(37)->text(), QStringLiteral("茫然"));
        QCOMPARE(form->templateList->CurrentIndex(), -1);
        for (SliderBar* s : {form->widthSlider, form->heightSlider}) {
            QCOMPARE(s->orientation(), Qt::Horizontal);
            QCOMPARE(s->minimum(), 1);
            QCOMPARE(s->maximum(), 500);
            QCOMPARE(s->Position(), 1);
            QCOMPARE(s->pageStep(), 5);
        }
        QCOMPARE(form->fontSizeSlider->orientation(), Qt::Vertical);
        QCOMPARE(form->fontSizeSlider->minimum(), 5);
        QCOMPARE(form->fontSizeSlider->maximum(), 100);
        QCOMPARE(form->fontSizeSlider->Position(), 100);
        QCOMPARE(form->boldBox->Checked(), 0);
        QCOMPARE(form->workArea->DisplayMode(), 0);
        QVERIFY(form->workArea->Picture().empty());
        QCOMPARE(form->colourPicker->CurrentColour(), 0u);
        QCOMPARE(form->captionOverlay->HorizontalAlignment(), 1);
        QCOMPARE(form->captionOverlay->VerticalAlignment(), 1);
        QVERIFY(form->captionOverlay->WordWrap());
        QVERIFY(form->captionOverlay->StoredFont());
        const LogFont yahei = *form->captionOverlay->StoredFont();
        QCOMPARE(yahei.height, -16);
        QCOMPARE(yahei.width, 0);
        QCOMPARE(yahei.escapement, 0);
        QCOMPARE(yahei.weight, 700);
        QCOMPARE(yahei.italic + yahei.underline + yahei.strikeOut, 0);
        QCOMPARE(yahei.charSet, 134);
        QCOMPARE(yahei.outPrecision, 3);
        QCOMPARE(yahei.clipPrecision, 2);
        QCOMPARE(yahei.quality, 1);
        QCOMPARE(yahei.pitchAndFamily, 34);
        QCOMPARE(yahei.faceName, QStringLiteral("微软雅黑"));
        QCOMPARE(form->captionOverlay->TextColour(), 0u);
        QCOMPARE(form->captionOverlay->TextEffect(), 0);
        QCOMPARE(form->zoomInButton->font().pixelSize(), 16);
        QVERIFY(!form->zoomInButton->font().bold());
        QVERIFY(form->fontSizeLabel->wordWrap());
        QVERIFY(!form->widthLabel->wordWrap());
        QCOMPARE(form->fontDialog->FontSize(), 0);
        QVERIFY(form->fontDialog->FontName().isEmpty());
    }

    void window_created_primes_boxes_sliders_mode_and_bold()
    {
        auto form = CreateForm(DefaultWindowDefinition());
        QVERIFY(form);
        BindEvents(*form);
        int boldClicks = 0;
        form->boldBox->Clicked = {}; // watch for a stray Clicked instead of handling it
        form->boldBox->Clicked.Bind([&] { ++boldClicks; });
        QVERIFY(!form->workArea->acceptDrops());
        form->window->Created.Raise();

        QCOMPARE(form->widthBox->Content(), QStringLiteral("192"));
        QCOMPARE(form->heightBox->Content(), QStringLiteral("40"));
        QCOMPARE(form->widthSlider->Position(), 192);
        QCOMPARE(form->widthSlider->value(), 192);
        QCOMPARE(form->heightSlider->Position(), 40);
        QCOMPARE(form->workArea->DisplayMode(), 1);
        QCOMPARE(form->boldBox->Checked(), 1);
        QCOMPARE(boldClicks, 0);
        QVERIFY(form->workArea->acceptDrops());
        // The caption keeps its stored size until a slider is moved by the user.
        QCOMPARE(form->captionOverlay->geometry(), QRect(32, 216, 168, 24));
        QVERIFY(!form->window->isVisible());
    }

    void number_boxes_move_their_sliders()
    {
        auto form = CreateForm(DefaultWindowDefinition());
        QVERIFY(form);
        BindEvents(*form);
        form->window->Created.Raise();
        const struct {
            const char* typed;
            int position;
            int thumb;
        } cases[] = {{"", 0, 1}, {"3", 3, 3}, {"300", 300, 300}, {"abc", 0, 1},
                     {"12abc", 12, 12}, {"1e2", 100, 100}, {"９９９９９", 32767, 500},
                     {"-7", 0, 1}};
        for (const auto& c : cases) {
            form->widthBox->SetContent(QString::fromUtf8(c.typed));
            QCOMPARE(form->widthSlider->Position(), c.position);
            QCOMPARE(form->widthSlider->value(), c.thumb);
        }
        QCOMPARE(form->captionOverlay->Width(), 168);
    }

    void centring_truncates_toward_zero()
    {
        QCOMPARE(CentredPosition(QSize(1920, 1080), QSize(642, 479)), QPoint(639, 300));
        QCOMPARE(CentredPosition(QSize(639, 478), QSize(642, 479)), QPoint(-1, 0));
        QCOMPARE(CentredPosition(QSize(640, 400), QSize(642, 479)), QPoint(-1, -39));
    }

    void a_definition_that_cannot_be_built_gives_no_window()
    {
        WindowDefinition broken = DefaultWindowDefinition();
        // 选择框1 in a group that does not exist yet when the box is made.
        broken.controls[11].parent = &Form::propertyGroup;
        QVERIFY(!CreateForm(broken));
        WindowDefinition twice = DefaultWindowDefinition();
        twice.controls.push_back(twice.controls.front());
        QVERIFY(!CreateForm(twice));
        WindowDefinition missing = DefaultWindowDefinition();
        missing.controls.erase(missing.controls.begin() + 1); // no work area
        QVERIFY(!CreateForm(missing));
    }

    void start_up_failure_shows_the_message_and_returns_minus_one()
    {
        WindowDefinition broken = DefaultWindowDefinition();
        broken.controls[11].parent = &Form::propertyGroup;
        QString shown;
        const ModalAnswer<QMessageBox> answer([&](QMessageBox& box) {
            shown = box.text();
            box.close();
        });
        QCOMPARE(RunProgram(broken), -1);
        QVERIFY(answer.Seen());
        QCOMPARE(shown, QStringLiteral("运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n"));
    }

    void program_runs_until_escape_and_returns_zero()
    {
        bool closedFromOutside = false;
        const QObject scope; // its timers end with the case
        // The window is shown before the loop runs, so it is there at once.
        QTimer::singleShot(0, &scope, [&] {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* list = top->findChild<ListBox*>(QStringLiteral("列表框1"))) {
                    list->setFocus();
                    QTest::keyClick(list, Qt::Key_Escape);
                }
        });
        QTimer::singleShot(5000, &scope, [&] {
            closedFromOutside = true;
            QApplication::closeAllWindows();
        });
        QCOMPARE(RunProgram(DefaultWindowDefinition()), 0);
        QVERIFY(!closedFromOutside);
    }

    void escape_closes_the_window_with_any_modifier_held()
    {
        for (const Qt::KeyboardModifiers held :
             {Qt::KeyboardModifiers(Qt::ShiftModifier), Qt::KeyboardModifiers(Qt::ControlModifier),
              Qt::ShiftModifier | Qt::ControlModifier}) {
            auto form = ShownForm();
            QVERIFY(form);
            form->templateList->setFocus();
            QTest::keyClick(form->templateList, Qt::Key_Escape, held);
            QVERIFY2(!form->window->isVisible(), qPrintable(QString::number(held.toInt(), 16)));
        }
    }

    void enter_does_not_move_the_focus()
    {
        auto form = CreateForm(DefaultWindowDefinition());
        QVERIFY(form);
        form->window->show();
        QVERIFY(QTest::qWaitForWindowActive(form->window.get()));
        form->widthBox->setFocus();
        QWidget* before = QApplication::focusWidget();
        QTest::keyClick(before, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), before);
        QTest::keyClick(before, Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != before);
    }

    void only_a_left_click_selects_and_nothing_deselects_the_template()
    {
        auto form = ShownForm();
        QVERIFY(form);
        ListBox& list = *form->templateList;
        int raised = 0;
        list.SelectionChanged.Bind([&] { ++raised; });
        QWidget* rows = list.viewport();
        QTest::mouseClick(rows, Qt::LeftButton, {}, RowCentre(list, 2));
        QCOMPARE(list.CurrentIndex(), 2);
        QCOMPARE(raised, 1);

        QTest::mouseClick(rows, Qt::MiddleButton, {}, RowCentre(list, 5));
        QTest::mousePress(rows, Qt::RightButton, {}, RowCentre(list, 6));
        QTest::mouseMove(rows, RowCentre(list, 7));
        QTest::mouseRelease(rows, Qt::RightButton, {}, RowCentre(list, 7));
        QCOMPARE(list.currentRow(), 2);
        QCOMPARE(raised, 1);

        // Ctrl+click on the selected item picks it again; Ctrl+Space keeps it.
        QTest::mouseClick(rows, Qt::LeftButton, Qt::ControlModifier, RowCentre(list, 2));
        QCOMPARE(list.CurrentIndex(), 2);
        list.setFocus();
        QTest::keyClick(&list, Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(list.CurrentIndex(), 2);
    }

    void the_font_chooser_is_the_programs_own_with_underline_and_strike_out()
    {
        auto form = ShownForm();
        QVERIFY(form);
        QString name;
        bool own = false;
        int ticked = 0;
        const ModalAnswer<QFontDialog> answer([&](QFontDialog& dialog) {
            name = dialog.objectName();
            own = dialog.testOption(QFontDialog::DontUseNativeDialog);
            // Its only two check boxes: strike-out and underline.
            for (QCheckBox* box : dialog.findChildren<QCheckBox*>()) {
                if (!box->isChecked())
                    box->click();
                ++ticked;
            }
            dialog.accept();
        });
        QVERIFY(form->fontDialog->OpenFont());
        QVERIFY(answer.Seen());
        QCOMPARE(name, QStringLiteral("字体"));
        QVERIFY(own);
        QCOMPARE(ticked, 2);
        QCOMPARE(form->fontDialog->FontUnderline(), 1);
        QCOMPARE(form->fontDialog->FontStrikeout(), 1);
    }

    void a_press_on_the_caption_after_a_click_beside_it_starts_a_drag()
    {
        auto form = ShownForm();
        QVERIFY(form);
        BindEvents(*form);
        QWindow* window = form->window->windowHandle();
        const QRect caption = form->captionOverlay->geometry();
        const QPoint beside = caption.topLeft() + QPoint(-1, 8); // on the work area
        const QPoint on = caption.topLeft() + QPoint(1, 8);
        QTest::mouseClick(window, Qt::LeftButton, {}, beside);
        // Quicker than a double-click: undo the pause QTest puts after a release.
        QTest::lastMouseTimestamp -= QTest::mouseDoubleClickInterval;
        QTest::mousePress(window, Qt::LeftButton, {}, on);
        QTest::mouseMove(window, on + QPoint(40, -30));
        QTest::mouseRelease(window, Qt::LeftButton, {}, on + QPoint(40, -30));
        QCOMPARE(form->captionOverlay->geometry(), caption.translated(40, -30));
    }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
