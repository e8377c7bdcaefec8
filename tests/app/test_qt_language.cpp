// Qt's own texts on a Chinese desktop: the font dialog behind "字体修改"
// speaks Chinese once Qt's translation is loaded, and our own dialogs say
// 确定 and 取消 whatever the desktop's language.
#include "tests/support/ModalAnswer.h"
#include "tests/support/ShownForm.h"

#include "app/model/Button.h"
#include "app/program/SizeLimitMenu.h"
#include "app/program/Startup.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QPushButton>
#include <QTest>

#include <cstdlib>

using namespace mugrove;
using namespace mugrove::testing;

namespace {

QStringList ButtonTexts(const QWidget& dialog)
{
    QStringList texts;
    if (const auto* box = dialog.findChild<QDialogButtonBox*>())
        for (QAbstractButton* button : box->buttons())
            texts << button->text();
    texts.sort();
    return texts;
}

} // namespace

class QtLanguageTest : public QObject {
    Q_OBJECT
private slots:
    void our_dialogs_say_ok_and_cancel_in_chinese_before_any_translation()
    {
        // The custom size dialog of the save button's menu.
        auto form = ShowForm();
        QVERIFY(form);
        auto* limits = form->saveButton->findChild<SizeLimitMenu*>();
        QVERIFY(limits);
        limits->AskCustomLimit();
        auto* dialog = form->saveButton->findChild<QDialog*>(QStringLiteral("sizeLimitDialog"));
        QVERIFY(dialog);
        QCOMPARE(ButtonTexts(*dialog), (QStringList{QStringLiteral("取消"), QStringLiteral("确定")}));
        dialog->reject();
    }

    void the_font_dialog_is_chinese_on_a_chinese_desktop()
    {
        QVERIFY(LoadQtTranslation(*QCoreApplication::instance()));
        auto form = ShowForm();
        QVERIFY(form);
        QString title;
        QStringList buttons;
        ModalAnswer<QFontDialog> answer([&](QFontDialog& dialog) {
            title = dialog.windowTitle();
            buttons = ButtonTexts(dialog);
            dialog.reject();
        });
        QTest::mouseClick(form->fontButton, Qt::LeftButton);
        QVERIFY(answer.Seen());
        QCOMPARE(title, QStringLiteral("选择字体"));
        QCOMPARE(buttons, (QStringList{QStringLiteral("取消"), QStringLiteral("确定")}));
    }
};

int main(int argc, char** argv)
{
    // The desktop's language as a Chinese session sets it.
    qputenv("LANG", "zh_CN.UTF-8");
    qunsetenv("LC_ALL");
    qunsetenv("LC_MESSAGES");
    qunsetenv("LANGUAGE");
    QApplication app(argc, argv);
    QtLanguageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_qt_language.moc"
