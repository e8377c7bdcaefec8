#include "output/AnimatedSave.h"

#include "controls/PicBox.h"
#include "controls/decoders/Animation.h"
#include "output/GifWork.h"
#include "output/Snapshot.h"

#include <mutex>

namespace mugrove {

// What crosses between the starting thread and the worker, only under the
// lock: whether the save was called off, and the signals the worker sends
// back, never once it was (the save is being destroyed: nobody waits).
class AnimatedSave::Crossing final : public GifWorkLink {
public:
    explicit Crossing(AnimatedSave* owner) : owner_(owner) {}

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
        if (!calledOff_)
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
    bool calledOff_ = false;    // under mutex_
    AnimatedSave* const owner_; // reached only through its thread's queue
};

AnimatedSave::AnimatedSave() : crossing_(std::make_unique<Crossing>(this)) {}

AnimatedSave::~AnimatedSave()
{
    crossing_->CallOff();
    if (worker_.joinable())
        worker_.join();
}

bool AnimatedSave::Running() const
{
    return running_;
}

void AnimatedSave::Finish(OutputOutcome outcome)
{
    if (worker_.joinable())
        worker_.join();
    running_ = false;
    emit Finished(outcome);
}

std::unique_ptr<AnimatedSave> AnimatedSave::Start(PicBox& box, std::unique_ptr<Animation> player,
                                                  const QString& folder, const QString& fileName, GifPlan plan,
                                                  OutputOutcome& failure)
{
    QWidget& window = box.NativeWindow();
    if (!player || player->FrameCount() == 0) {
        failure = OutputOutcome::Failed(QStringLiteral("the picture has no frames"));
        return nullptr;
    }
    if (!CapturableSize(&window)) {
        failure = OutputOutcome::Failed(QStringLiteral("the work area has no pixels or is too large"));
        return nullptr;
    }
    if (folder.isEmpty() || fileName.isEmpty()) {
        failure = OutputOutcome::Failed(QStringLiteral("no folder or file name"));
        return nullptr;
    }
    GifJob job{std::move(player), CaptureScene(box, CaptionsOver(&window)), plan, folder, fileName};
    std::unique_ptr<AnimatedSave> save(new AnimatedSave);
    Crossing* crossing = save->crossing_.get();
    save->worker_ = std::thread([crossing, job = std::move(job)]() mutable {
        GifWork work(std::move(job), *crossing);
        crossing->Finished(work.Run());
    });
    return save;
}

} // namespace mugrove
