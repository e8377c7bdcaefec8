#pragma once

#include "output/Outcome.h"
#include "output/SaveLink.h"

#include <QObject>

#include <memory>
#include <thread>
#include <utility>

namespace mugrove {

class PicBox;

// A save of a playing picture that encodes on a worker thread: the GIF and
// the MP4 save alike. Destroying it stops the encoding and leaves no file.
class WorkerSave : public QObject {
    Q_OBJECT
public:
    ~WorkerSave() override;

    // Until Finished is signalled.
    bool Running() const { return running_; }

signals:
    // On the thread that started the save, each time another whole percent
    // of the work is done (1 to 99).
    void Progress(int percent);
    // On the thread that started the save: the file is whole and in place,
    // or the save failed.
    void Finished(const mugrove::OutputOutcome& outcome);

protected:
    WorkerSave();
    // Whether a save of `box` can start at all, with the reason in `failure`
    // when not: there are frames, the work area can be captured, and there
    // is somewhere to write.
    static bool CanStart(PicBox& box, bool hasFrames, const QString& folder, const QString& fileName,
                         OutputOutcome& failure);
    // Runs `run` (an OutputOutcome(SaveLink&) callable, which may own what
    // only moves) on the worker; its outcome is signalled back.
    template <class Run>
    void Launch(Run run)
    {
        struct Of final : Work {
            explicit Of(Run r) : run(std::move(r)) {}
            OutputOutcome Go(SaveLink& link) override { return run(link); }
            Run run;
        };
        Start(std::make_unique<Of>(std::move(run)));
    }

private:
    struct Work {
        virtual ~Work() = default;
        virtual OutputOutcome Go(SaveLink& link) = 0;
    };
    class Crossing;
    void Start(std::unique_ptr<Work> work);
    void Finish(OutputOutcome outcome);

    // The starting thread's alone; the job itself is the worker's from the
    // start (moved into it), and only the crossing is shared, under its lock.
    std::unique_ptr<Crossing> crossing_;
    std::thread worker_;
    bool running_ = true;
};

} // namespace mugrove
