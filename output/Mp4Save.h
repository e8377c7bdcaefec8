#pragma once

#include "controls/decoders/ClipSource.h"
#include "output/Outcome.h"
#include "output/SizeLimit.h"
#include "output/WorkerSave.h"

#include <QString>

#include <memory>
#include <optional>

namespace mugrove {

class Animation;
class PicBox;

// Saving a playing picture as the window shows it as an MP4 (H.264, with a
// clip's own sound as AAC), on a worker thread. The box's look and the
// captions over it are taken at the start, as for an animated GIF; the
// window may change meanwhile. Destroying the save stops it and leaves no
// file.
class Mp4Save final : public WorkerSave {
public:
    // Starts saving as `fileName` in `folder`, never over an existing file
    // (" (2)", " (3)", ... before ".mp4"). A `clip` is read from its source
    // over its segment, frames and sound at their own times; otherwise
    // `player` (at its start, owned from now on) plays the frames, each for
    // its delay. With a `limit` (not 0) the file holds at most that many
    // bytes, or the save fails. Null, with the reason in `failure`, when
    // nothing could be started.
    static std::unique_ptr<Mp4Save> Start(PicBox& box, std::unique_ptr<Animation> player,
                                          std::optional<ShownClip> clip, const QString& folder,
                                          const QString& fileName, ByteLimit limit, OutputOutcome& failure);

private:
    Mp4Save() = default;
};

} // namespace mugrove
