#pragma once

#include "controls/decoders/PictureBytes.h"
#include "output/ShownPicture.h"

#include <QImage>
#include <QList>

#include <cstddef>

class QWidget;

namespace mugrove {
class TransLabel;
}

namespace mugrove {

// Snapshots (and the intermediate images they are built from) larger than
// this are refused rather than allocated.
inline constexpr std::size_t kMaxSnapshotBytes = std::size_t{256} << 20;

// The output extent for a requested one: 0 keeps the captured extent, a
// positive value is taken, -p is p percent of the captured extent (10 at least).
int OutputExtent(int requested, int captured);

// The captions stacked above `window` that meet its rectangle and are shown,
// bottom first: what the meme holds over the picture. Other controls that a
// picture larger than its frame lies under are the window's, not the
// meme's, and are never part of it. Empty for a top-level window.
QList<TransLabel*> CaptionsOver(const QWidget* window);

// Whether `window` has pixels and a 32-bit picture of it stays inside the cap.
bool CapturableSize(const QWidget* window);

// The picture as `window` draws it and every caption over it, wherever that
// caption lies (beyond the frame, under other controls, past the window's
// edge), in one image of the widget's size. Null when there is no window or
// the image cannot be made.
QImage CaptureWindow(QWidget* window);

// The work area with its captions, at width × height pixels (see OutputExtent),
// scaled smoothly when that differs from the window's size. Null on the same
// conditions as an empty snapshot below.
ShownPicture ShowingNow(QWidget* window, int width, int height);

// The work area with its captions, as a 24-bit BMP file of width × height pixels (see
// OutputExtent), scaled smoothly when that differs from the window's size.
// Empty when `window` is null, a size comes out below 1 or the picture is too
// large to allocate.
PictureBytes TakeSnapshot(QWidget* window, int width, int height);

} // namespace mugrove
