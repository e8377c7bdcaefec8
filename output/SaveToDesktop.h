#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>
#include <span>

namespace mugrove {

struct Form;

// Where a save takes the moment of its click and the desktop folder from.
// As made, the system clock and the user's desktop; the program sets one up
// and hands it to the save handler, and a test makes its own.
struct SaveEnvironment {
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); }; // local
    std::function<QString()> desktopFolder = DesktopLocation; // empty when unknown

    // The user's desktop as the system names it.
    static QString DesktopLocation();
};

// The desktop folder of `environment`, created when missing. Empty when there
// is no such folder and it cannot be made.
QString GetDesktopFolder(const SaveEnvironment& environment);

// Writes `bytes` to `name` so that the file appears whole or not at all, and
// never replaces an existing file: when the name is taken, " (2)", " (3)", ...
// go in front of the extension. On success the name actually used is stored
// in `written` when given.
bool WriteBytesToFile(const QString& name, std::span<const std::uint8_t> bytes,
                      QString* written = nullptr);

// 按钮3 Clicked: saves the work area as shown, as a JPEG named after the
// moment of the click, on the desktop; the button tells whether it worked.
void OnSaveClicked(Form& form, const SaveEnvironment& environment);

} // namespace mugrove
