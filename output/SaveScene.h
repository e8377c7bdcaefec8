#pragma once

#include "controls/CaptionLook.h"
#include "controls/PicturePaint.h"
#include "output/GifEncoder.h"

#include <QImage>
#include <QList>
#include <QPoint>

#include <vector>

namespace mugrove {

class Animation;
class PicBox;
class TransLabel;

// A caption as it looked at the click, placed in the box's coordinates.
struct PlacedCaption {
    CaptionLook look;
    QPoint at;
};

// What an animated save takes of the window at the click, as plain values:
// the window may change meanwhile, and each frame is composed from these.
struct SaveScene {
    BoxLook box;                         // how the box paints a frame
    std::vector<PlacedCaption> captions; // over the box, bottom first
    // The captions' text pixels and their most used colours, kept exact in
    // every frame.
    ExactColours exact;
};

// The scene of `box` with `captions`, the captions over it bottom first (as
// CaptionsOver gives them): nothing else of the window is drawn.
SaveScene CaptureScene(const PicBox& box, const QList<TransLabel*>& captions);

// Composes frames as the window shows them: the frame in the box as it
// paints it, the captions drawn anew over it, their edges blending with
// whatever lies beneath. Its owner's alone: it keeps each caption's drawn
// text from frame to frame.
class FrameComposer {
public:
    explicit FrameComposer(const SaveScene& scene);

    // The frame `player` is at, into `frame` (reused when it has the box's
    // size).
    void Compose(const Animation& player, QImage& frame);

private:
    const SaveScene& scene_;
    std::vector<CaptionPainter> painters_; // one for each caption
};

} // namespace mugrove
