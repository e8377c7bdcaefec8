#include "app/program/Display.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace mugrove {

namespace {

std::string Given(const char* name)
{
    const char* value = std::getenv(name);
    if (!value || !*value)
        return {};
    return std::string(name) + "=\"" + value + "\"";
}

// A message Qt sent while the guard was held; the context's strings are the
// caller's, so the held copy keeps its own.
struct HeldMessage {
    QtMsgType type;
    QString text;
    std::string file, function, category;
    int line;
};

// One guard at a time: the program opens one application.
std::string guardedProgram;
QtMessageHandler previousHandler = nullptr;
std::vector<HeldMessage> held;
std::mutex heldLock; // Qt may start threads of its own while it opens the platform

void HoldOrExit(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg && text.contains(QLatin1String("platform plugin"))) {
        // Qt would abort next. Nothing has been shown yet, so nothing is lost.
        const std::string sentence = NoDisplaySentence(guardedProgram) + "\n";
        std::fputs(sentence.c_str(), stderr);
        std::fflush(stderr);
        std::_Exit(1);
    }
    if (type == QtFatalMsg) {
        if (previousHandler)
            previousHandler(type, context, text);
        return;
    }
    const std::lock_guard lock(heldLock);
    held.push_back({type, text, context.file ? context.file : "", context.function ? context.function : "",
                    context.category ? context.category : "", context.line});
}

} // namespace

std::string NoDisplaySentence(const std::string& program)
{
    std::string given;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const std::string one = Given(name);
        if (!one.empty())
            given += (given.empty() ? "" : ", ") + one;
    }
    const std::string runAnyway = "xvfb-run -a " + (program.empty() ? std::string("mugrove") : program);
    if (given.empty())
        return "Mugrove needs a graphical display and none is set (DISPLAY and WAYLAND_DISPLAY are "
               "empty); to run it without one, use: " + runAnyway;
    return "Mugrove needs a graphical display and could not open the one it was given (" + given
        + "); start it from a running X11 or Wayland desktop, or to run it without one, use: "
        + runAnyway;
}

PlatformGuard::PlatformGuard(std::string program)
{
    guardedProgram = std::move(program);
    previousHandler = qInstallMessageHandler(HoldOrExit);
}

PlatformGuard::~PlatformGuard()
{
    qInstallMessageHandler(previousHandler);
    const std::lock_guard lock(heldLock);
    const auto text = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
    for (const HeldMessage& m : held)
        qt_message_output(m.type, QMessageLogContext(text(m.file), m.line, text(m.function), text(m.category)),
                          m.text);
    held.clear();
}

} // namespace mugrove
