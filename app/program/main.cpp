#include "app/WindowDefinition.h"
#include "app/program/Startup.h"

#include <QApplication>

#include <cfenv>
#include <cstdio>

int main(int argc, char** argv)
{
    mugrove::TuneHeapForPictures();
    if (!mugrove::DisplayAvailable()) {
        std::fputs("Mugrove needs a graphical display and none is set (DISPLAY and WAYLAND_DISPLAY "
                   "are empty); to run it without one, use: xvfb-run -a build/release/mugrove\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    // Lets the desktop match the window with its desktop entry (and icon).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.mugrove.Mugrove"));
    // Every later computation runs with the default rounding and masked exceptions.
    std::fesetenv(FE_DFL_ENV);
    return mugrove::RunProgram(mugrove::DefaultWindowDefinition(),
                               mugrove::FilesToOpen(QCoreApplication::arguments()));
}
