#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>
#include <span>

namespace mugrove {

struct Form;

// Where a save gets the time and the desktop from. The defaults are the real
// clock and the user's desktop; tests put their own in place.
struct SaveEnvironment {
    std::function<QDateTime()> now;         // local date-time
    std::function<QString()> desktopFolder; // empty when unknown
};

// The environment saves use; change it only from the window thread.
SaveEnvironment& SaveHooks();
// Puts the real clock and desktop back.
void ResetSaveHooks();

// The user's desktop folder, created when missing. Empty when there is no
// such folder and it cannot be made.
QString GetDesktopFolder();

// Writes `bytes` to `name` so that the file appears whole or not at all, and
// never replaces an existing file: when the name is taken, " (2)", " (3)", ...
// go in front of the extension. On success the name actually used is stored
// in `written` when given.
bool WriteBytesToFile(const QString& name, std::span<const std::uint8_t> bytes,
                      QString* written = nullptr);

// 按钮3 Clicked: saves the work area as shown, as a JPEG named after the
// moment of the click, on the desktop; the button tells whether it worked.
void OnSaveClicked(Form& form);

} // namespace mugrove
