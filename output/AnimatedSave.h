#pragma once

#include "controls/PicBox.h"
#include "output/GifEncoder.h"

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>

namespace mugrove {

class Animation;
struct Form;

// How the work area draws a picture, as it was at one moment: enough to draw
// any frame of an animation the same way on another thread.
struct BoxLook {
    QSize size;
    QColor background;
    PictureFit fit = PictureFit::OwnSize;
    bool smooth = true;
    QImage::Format frameFormat = QImage::Format_ARGB32; // how the box views the frames
};

// The box's look now. Window thread only.
BoxLook CurrentBoxLook(const Form& form);

// One frame as the box paints it: the background and the frame canvas fitted
// in by the display mode. `frame` is reused when it has the box's size.
void ComposeBoxFrame(const BoxLook& look, const Animation& player, QImage& frame);

// Starts saving every frame of `player` (a player at its start, owned from
// now on) as the window shows it, as an animated GIF named `fileName` in
// `folder`, never over an existing file (" (2)", " (3)", ... before ".gif"). What lies above
// the box and the box's look are taken now; the frames are encoded on a
// worker thread. Until the file is whole and in place (or the save failed)
// the save button reads "保存中...", then "保存成功!!" or "保存失败!!".
// False, with the button reading "保存失败!!", when nothing could be started.
// `beforeFrame`, when given, is called on the worker thread before frame
// `index` is composed (tests hold the worker there).
bool StartAnimatedSave(Form& form, std::unique_ptr<Animation> player, const QString& folder,
                       const QString& fileName,
                       std::function<void(std::size_t index)> beforeFrame = {});

// Whether a save started by StartAnimatedSave is still running.
bool AnimatedSaveRunning(const Form& form);

} // namespace mugrove
