#pragma once

#include <QString>

#include <utility>

namespace mugrove {

// What became of a save or a copy, for the program to show: the output
// itself touches no control.
struct OutputOutcome {
    enum class Kind {
        Written, // done; `path` names the file (empty for the clipboard)
        Failed,  // nothing was written; `reason` says what failed and why
        Busy,    // another save is still running: this one was not started
        Working, // started; its own outcome follows when it is over
    };
    Kind kind = Kind::Failed;
    QString path;
    QString reason;

    static OutputOutcome Written(QString path = {}) { return {Kind::Written, std::move(path), {}}; }
    static OutputOutcome Failed(QString reason) { return {Kind::Failed, {}, std::move(reason)}; }
    static OutputOutcome Busy() { return {Kind::Busy, {}, {}}; }
    static OutputOutcome Working() { return {Kind::Working, {}, {}}; }
};

} // namespace mugrove
