#pragma once

#include "controls/decoders/PictureBytes.h"
#include "output/ShownPicture.h"

#include <QImage>
#include <QList>

#include <cstddef>

class QWidget;

namespace mugrove {

// Snapshots (and the intermediate images they are built from) larger than
// this are refused rather than allocated.
inline constexpr std::size_t kMaxSnapshotBytes = std::size_t{256} << 20;

// The output extent for a requested one: 0 keeps the captured extent, a
// positive value is taken, -p is p percent of the captured extent (10 at least).
int OutputExtent(int requested, int captured);

// The siblings stacked above `window` that meet its rectangle and are shown,
// bottom first: what is seen over it. Empty for a top-level window.
QList<QWidget*> WidgetsOver(const QWidget* window);

// Whether `window` has pixels and a 32-bit picture of it stays inside the cap.
bool CapturableSize(const QWidget* window);

// What the screen shows in the rectangle of `window`: the widget itself and
// every sibling stacked above it that meets its rectangle, in one image of the
// widget's size. Null when there is no window or the image cannot be made.
QImage CaptureWindow(QWidget* window);

// The work area as shown, at width × height pixels (see OutputExtent),
// scaled smoothly when that differs from the window's size. Null on the same
// conditions as an empty snapshot below.
ShownPicture ShowingNow(QWidget* window, int width, int height);

// The work area as shown, as a 24-bit BMP file of width × height pixels (see
// OutputExtent), scaled smoothly when that differs from the window's size.
// Empty when `window` is null, a size comes out below 1 or the picture is too
// large to allocate.
PictureBytes TakeSnapshot(QWidget* window, int width, int height);

} // namespace mugrove
