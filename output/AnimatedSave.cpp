#include "output/AnimatedSave.h"

#include "controls/PicBox.h"
#include "controls/decoders/Animation.h"
#include "output/GifWork.h"
#include "output/Snapshot.h"


namespace mugrove {

std::unique_ptr<AnimatedSave> AnimatedSave::Start(PicBox& box, std::unique_ptr<Animation> player,
                                                  const QString& folder, const QString& fileName, GifPlan plan,
                                                  OutputOutcome& failure)
{
    if (!CanStart(box, player && player->FrameCount() > 0, folder, fileName, failure))
        return nullptr;
    GifJob job{std::move(player), CaptureScene(box, CaptionsOver(&box.NativeWindow())), plan, folder, fileName};
    std::unique_ptr<AnimatedSave> save(new AnimatedSave);
    save->Launch([job = std::move(job)](SaveLink& link) mutable { return GifWork(std::move(job), link).Run(); });
    return save;
}

} // namespace mugrove
