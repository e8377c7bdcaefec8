#pragma once

#include "output/GifPlan.h"
#include "output/Outcome.h"

#include <QObject>
#include <QString>

#include <memory>
#include <thread>

namespace mugrove {

class Animation;
class PicBox;

// Saving every frame of a playing picture as the window shows it, as an
// animated GIF, on a worker thread. The box's look and the captions over it
// are taken at the start (CaptureScene); the window may change meanwhile.
// Destroying the save stops it and leaves no file.
class AnimatedSave : public QObject {
    Q_OBJECT
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
    class Crossing;
    AnimatedSave();
    void Finish(OutputOutcome outcome);

    // The starting thread's alone; the job itself is the worker's from the
    // start (moved into it), and only the crossing is shared, under its lock.
    std::unique_ptr<Crossing> crossing_;
    std::thread worker_;
    bool running_ = true;
};

} // namespace mugrove
