#pragma once

#include <string>

namespace mugrove {

// The one sentence the program prints when it has no display to open its
// window on: what it was given (DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM, as
// set) and how to run it anyway. `program` is how it was started (argv[0]).
std::string NoDisplaySentence(const std::string& program);

// Held while QApplication is constructed. Qt ends the process with an abort
// when no platform plugin can be opened (a display named but unreachable, a
// platform that does not exist); with this guard the program prints
// NoDisplaySentence and exits with 1 instead. Qt's other messages of that
// moment are held back, and passed on when the guard goes, so a start that
// fails says one thing only.
class PlatformGuard {
public:
    explicit PlatformGuard(std::string program);
    ~PlatformGuard();
    PlatformGuard(const PlatformGuard&) = delete;
    PlatformGuard& operator=(const PlatformGuard&) = delete;
};

} // namespace mugrove
