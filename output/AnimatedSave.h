#pragma once

#include "output/GifPlan.h"
#include "output/Outcome.h"
#include "output/WorkerSave.h"

#include <QString>

#include <memory>

namespace mugrove {

class Animation;
class PicBox;

// Saving every frame of a playing picture as the window shows it, as an
// animated GIF, on a worker thread. The box's look and the captions over it
// are taken at the start (CaptureScene); the window may change meanwhile.
// Destroying the save stops it and leaves no file.
class AnimatedSave final : public WorkerSave {
public:
    // Starts saving `player` (a player at its start, owned from now on) as
    // `fileName` in `folder`, never over an existing file (" (2)", " (3)",
    // ... before ".gif"), encoded the way `plan` says; with a limit the file
    // holds at most that many bytes: it gives up colours, frames and size, in
    // the order that keeps the most of the picture, or the save fails. Null,
    // with the reason in `failure`, when nothing could be started.
    static std::unique_ptr<AnimatedSave> Start(PicBox& box, std::unique_ptr<Animation> player,
                                               const QString& folder, const QString& fileName, GifPlan plan,
                                               OutputOutcome& failure);

private:
    AnimatedSave() = default;
};

} // namespace mugrove
