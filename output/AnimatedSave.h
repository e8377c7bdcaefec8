#pragma once

#include <QString>

#include <memory>

namespace mugrove {

class Animation;
struct Form;

// Starts saving every frame of `player` (a player at its start, owned from
// now on) as the window shows it, as an animated GIF named `fileName` in
// `folder`, never over an existing file (" (2)", " (3)", ... before ".gif"). What lies above
// the box and the box's look are taken now; the frames are encoded on a
// worker thread. Until the file is whole and in place (or the save failed)
// the save button reads "保存中...", then "保存成功!!" or "保存失败!!".
// False, with the button reading "保存失败!!", when nothing could be started.
bool StartAnimatedSave(Form& form, std::unique_ptr<Animation> player, const QString& folder,
                       const QString& fileName);

// Whether a save started by StartAnimatedSave is still running.
bool AnimatedSaveRunning(const Form& form);

} // namespace mugrove
