#pragma once

#include "output/Outcome.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>
#include <span>

namespace mugrove {

class PicBox;

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
// is no such folder and it cannot be made; then `why` (when given) says why.
QString GetDesktopFolder(const SaveEnvironment& environment, QString* why = nullptr);

// Writes `bytes` to `name` so that the file appears whole or not at all, and
// never replaces an existing file: when the name is taken, " (2)", " (3)", ...
// go in front of the extension. On success the name actually used is stored
// in `written` when given; on failure the system's reason in `error`.
bool WriteBytesToFile(const QString& name, std::span<const std::uint8_t> bytes,
                      QString* written = nullptr, QString* error = nullptr);

// The name a save at this moment gets, without its extension.
QString SaveName(const SaveEnvironment& environment);

// Saves the work area as shown now as a JPEG named `fileName` in `folder`.
OutputOutcome SaveStill(PicBox& box, const QString& folder, const QString& fileName);

} // namespace mugrove
