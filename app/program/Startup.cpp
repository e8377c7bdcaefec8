#include "app/program/Startup.h"

#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/model/CheckBox.h"
#include "app/model/DropTarget.h"
#include "app/model/EditBox.h"
#include "app/model/LogFont.h"
#include "app/model/MainWindow.h"
#include "app/program/EventTable.h"
#include "controls/PicBox.h"
#include "overlay/OverlayFont.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace mugrove {

void OnWindowCreated(Form& form)
{
    form.dropTarget->Register(*form.workArea);
    form.widthBox->SetContent(QString::number(192));
    form.heightBox->SetContent(QString::number(40));
    form.workArea->SetDisplayMode(1);
    form.boldBox->SetChecked(1);
}

QString StartupFailureText()
{
    return QStringLiteral("运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n");
}

namespace {

void RegisterCleanUp()
{
    static std::once_flag once;
    std::call_once(once, [] { std::atexit(ReleaseOverlayFont); });
}

} // namespace

int RunProgram(const WindowDefinition& definition)
{
    CreateOverlayFont();
    RegisterCleanUp();
    RegisterFontSubstitutions();

    const std::unique_ptr<Form> form = CreateForm(definition);
    if (!form) {
        const QString text = StartupFailureText();
        std::fputs(text.toLocal8Bit().constData(), stderr);
        QMessageBox::critical(nullptr, QString::fromUtf8(definition.caption), text);
        return -1;
    }
    BindEvents(*form);
    form->window->Created.Raise();
    form->window->show();
    form->window->activateWindow();
    QApplication::exec();
    return 0;
}

bool DisplayAvailable()
{
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

} // namespace mugrove
