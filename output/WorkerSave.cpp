#include "output/WorkerSave.h"

#include "controls/PicBox.h"
#include "output/Snapshot.h"

#include <mutex>

namespace mugrove {

// What crosses between the starting thread and the worker, only under the
// lock: whether the save was called off, and the signals the worker sends
// back, never once it was (the save is being destroyed: nobody waits).
class WorkerSave::Crossing final : public SaveLink {
public:
    explicit Crossing(WorkerSave* owner) : owner_(owner) {}

    // On the starting thread.
    void CallOff()
    {
        const std::lock_guard lock(mutex_);
        calledOff_ = true;
    }
    // On the worker.
    bool CalledOff() override
    {
        const std::lock_guard lock(mutex_);
        return calledOff_;
    }
    void Progress(int percent) override
    {
        const std::lock_guard lock(mutex_);
        if (!calledOff_ && percent >= 1 && percent <= 99)
            QMetaObject::invokeMethod(owner_, [save = owner_, percent] { emit save->Progress(percent); },
                                      Qt::QueuedConnection);
    }
    void Finished(const OutputOutcome& outcome)
    {
        const std::lock_guard lock(mutex_);
        if (!calledOff_)
            QMetaObject::invokeMethod(owner_, [save = owner_, outcome] { save->Finish(outcome); },
                                      Qt::QueuedConnection);
    }

private:
    std::mutex mutex_;
    bool calledOff_ = false;  // under mutex_
    WorkerSave* const owner_; // reached only through its thread's queue
};

WorkerSave::WorkerSave() : crossing_(std::make_unique<Crossing>(this)) {}

WorkerSave::~WorkerSave()
{
    crossing_->CallOff();
    if (worker_.joinable())
        worker_.join();
}

bool WorkerSave::CanStart(PicBox& box, bool hasFrames, const QString& folder, const QString& fileName,
                          OutputOutcome& failure)
{
    if (!hasFrames)
        failure = OutputOutcome::Failed(QStringLiteral("the picture has no frames"));
    else if (!CapturableSize(&box.NativeWindow()))
        failure = OutputOutcome::Failed(QStringLiteral("the work area has no pixels or is too large"));
    else if (folder.isEmpty() || fileName.isEmpty())
        failure = OutputOutcome::Failed(QStringLiteral("no folder or file name"));
    else
        return true;
    return false;
}

void WorkerSave::Start(std::unique_ptr<Work> work)
{
    Crossing* crossing = crossing_.get();
    worker_ = std::thread([crossing, work = std::move(work)] { crossing->Finished(work->Go(*crossing)); });
}

void WorkerSave::Finish(OutputOutcome outcome)
{
    if (worker_.joinable())
        worker_.join();
    running_ = false;
    emit Finished(outcome);
}

} // namespace mugrove
