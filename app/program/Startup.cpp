#include "app/program/Startup.h"

#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/model/CheckBox.h"
#include "app/model/DropTarget.h"
#include "app/model/EditBox.h"
#include "app/model/LogFont.h"
#include "app/model/MainWindow.h"
#include "app/document/MemeHistory.h"
#include "app/program/EventTable.h"
#include "controls/PicBox.h"
#include "sandbox/Decode.h"
#include "templates/PhotoDrop.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace mugrove {

void OnWindowCreated(Form& form)
{
    form.dropTarget->Register(*form.workArea);
    // The frame's caption invites drops anywhere on it, not only on the picture.
    WidenPhotoDrops(form);
    form.widthBox->SetContent(QString::number(192));
    form.heightBox->SetContent(QString::number(40));
    form.workArea->SetDisplayMode(1);
    form.boldBox->SetChecked(1);
}

bool LoadQtTranslation(QCoreApplication& application)
{
    auto* translator = new QTranslator(&application);
    if (!translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

QString StartupFailureText()
{
    return QStringLiteral("运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n");
}

namespace {

// Start-up measurement: with MUGROVE_FIRST_PAINT_REPORT set, the program
// prints its resident memory once the main window has painted, and quits.
class FirstPaintReport : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !reported_) {
            reported_ = true;
            QTimer::singleShot(0, qApp, [] {
                std::printf("first-paint rss-kib=%ld\n", ResidentKib());
                std::fflush(stdout);
                QApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

    static long ResidentKib()
    {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').front().toLong();
        return -1;
    }

private:
    bool reported_ = false;
};

} // namespace

QStringList FilesToOpen(const QStringList& arguments)
{
    QStringList files;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const QUrl url(argument);
        files << (argument.startsWith(QLatin1String("file:")) && url.isLocalFile() ? url.toLocalFile() : argument);
    }
    return files;
}

void TuneHeapForPictures()
{
#if defined(__GLIBC__)
    // Fixed values also end glibc's own adjusting of the mmap threshold,
    // which left the heap's top being handed back after every decode.
    mallopt(M_MMAP_THRESHOLD, 16 << 20);
    mallopt(M_TRIM_THRESHOLD, 32 << 20);
#endif
}

int RunProgram(const WindowDefinition& definition, const QStringList& files)
{
    RegisterFontSubstitutions();
    UseDefaultGuiFont();

    const std::unique_ptr<Form> form = CreateForm(definition);
    if (!form) {
        const QString text = StartupFailureText();
        std::fputs(text.toLocal8Bit().constData(), stderr);
        QMessageBox::critical(nullptr, QString::fromUtf8(definition.caption), text);
        return -1;
    }
    BindEvents(*form, SaveEnvironment());
    form->window->Created.Raise();
    // The picture opened with the program is the meme's first state.
    if (!files.isEmpty() && ShowFirstPicture(*form, files))
        form->events->History().Start();
    if (std::getenv("MUGROVE_FIRST_PAINT_REPORT"))
        form->window->installEventFilter(new FirstPaintReport(form->window.get()));
    form->window->show();
    form->window->activateWindow();
    // The first dropped picture need not wait for a decoder process to load
    // its libraries; started once the window is up, so as not to slow it.
    QTimer::singleShot(300, qApp, [] { StartDecoderAhead(); });
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
