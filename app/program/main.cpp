#include "app/WindowDefinition.h"
#include "app/program/Display.h"
#include "app/program/Startup.h"

#include <QApplication>

#include <cfenv>
#include <cstdio>
#include <cstdlib>
#include <optional>

int main(int argc, char** argv)
{
    mugrove::TuneHeapForPictures();
    const std::string program = argc > 0 && argv[0] ? argv[0] : "";
    if (!mugrove::DisplayAvailable()) {
        std::fputs((mugrove::NoDisplaySentence(program) + "\n").c_str(), stderr);
        return 1;
    }
    std::optional<mugrove::PlatformGuard> guard(std::in_place, program);
    QApplication app(argc, argv);
    guard.reset();
    mugrove::LoadQtTranslation(app);
    // Lets the desktop match the window with its desktop entry (and icon).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.mugrove.Mugrove"));
    // Every later computation runs with the default rounding and masked exceptions.
    std::fesetenv(FE_DFL_ENV);
    const int code = mugrove::RunProgram(mugrove::DefaultWindowDefinition(),
                                         mugrove::FilesToOpen(QCoreApplication::arguments()));
    // Qt 6.4's Wayland plugin can wait for ever while it closes its display
    // connection (its event thread waits on a read that never comes), which
    // leaves a closed program running. The window, its saves and their files
    // are gone by now; the compositor keeps the clipboard; so the process
    // ends here without that teardown.
    if (QGuiApplication::platformName() == QLatin1String("wayland")) {
        std::fflush(nullptr);
        std::_Exit(code);
    }
    return code;
}
