#pragma once

#include "output/Outcome.h"
#include "output/SizeLimit.h"

#include <QObject>
#include <QString>

#include <memory>

namespace mugrove {

class Animation;
class PicBox;

// Saving every frame of a playing picture as the window shows it, as an
// animated GIF, on a worker thread. What lies above the box (the captions as
// their looks) and the box's look are taken at the start; the window may
// change meanwhile. Destroying the save stops it and leaves no file.
class AnimatedSave : public QObject {
    Q_OBJECT
public:
    // Starts saving `player` (a player at its start, owned from now on) as
    // `fileName` in `folder`, never over an existing file (" (2)", " (3)",
    // ... before ".gif"). With a `limit` (not 0) the file holds at most that
    // many bytes: it gives up colours, frames and size, in the order that
    // keeps the most of the picture, or the save fails. Null, with the reason
    // in `failure`, when nothing could be started. A `filmed` picture (a
    // video clip) without a limit is saved with one palette for the whole
    // film, made in a first pass over its frames: a clip's frames share their
    // colours, and mapping each to one palette is far cheaper than making
    // each its own.
    static std::unique_ptr<AnimatedSave> Start(PicBox& box, std::unique_ptr<Animation> player,
                                               const QString& folder, const QString& fileName,
                                               OutputOutcome& failure, ByteLimit limit = 0,
                                               bool filmed = false);
    ~AnimatedSave() override;

    // Until Finished is signalled.
    bool Running() const;

signals:
    // On the thread that started the save, each time another whole percent
    // of the work is done (1 to 99).
    void Progress(int percent);
    // On the thread that started the save: the file is whole and in place,
    // or the save failed.
    void Finished(const mugrove::OutputOutcome& outcome);

private:
    struct Job;
    explicit AnimatedSave(std::unique_ptr<Job> job);
    void Finish(OutputOutcome outcome);
    std::unique_ptr<Job> job_;
};

} // namespace mugrove
