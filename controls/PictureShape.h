#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

namespace mugrove {

// How the work area shapes its picture before fitting it into the box: a
// part cut out of the picture's own pixels, then mirrored left to right,
// then turned clockwise by quarter turns. Every sequence of turns, flips
// and crops comes down to one such value, so the pixels are never turned
// or cut ahead of time: each frame is shaped as it is drawn.
struct PictureShape {
    int turns = 0;         // clockwise quarter turns, 0..3
    bool mirrored = false; // mirrored left to right before the turns
    QRect crop;            // in the picture's own pixels; empty for the whole picture

    bool Plain() const { return turns == 0 && !mirrored && crop.isEmpty(); }
    bool Reorients() const { return turns != 0 || mirrored; }
    bool operator==(const PictureShape&) const = default;
};

// The four ways of turning and flipping the picture as it is shown.
enum class Reorientation { TurnLeft, TurnRight, FlipHorizontal, FlipVertical };

// The shape after turning or flipping the picture `shape` shows.
PictureShape Reoriented(const PictureShape& shape, Reorientation how);

// The part of a `picture`-sized picture the shape cuts (the whole picture
// when it cuts none, or none of it is left inside).
QRect PartOf(QSize picture, const PictureShape& shape);
// The size of the picture as shaped.
QSize ShapedSize(QSize picture, const PictureShape& shape);

// The shape after cutting `part` (in the shaped picture's pixels) out of
// what `shape` shows of a `picture`-sized picture. The part is kept inside
// the shaped picture, at least one pixel each way.
PictureShape Cropped(const PictureShape& shape, QSize picture, QRect part);

// A crop drawn over the picture as the box shows it: `target` is where the
// shaped picture (`shaped` pixels) is drawn in the box, `onScreen` the
// rectangle drawn, in box pixels. The part is every picture pixel the
// rectangle touches, within the picture and at least one pixel each way.
QRect PartUnder(QRect target, QSize shaped, QRect onScreen);
// Where a part of the shaped picture lies in the box, in whole box pixels
// (at least one each way).
QRect PartOnScreen(QRect target, QSize shaped, QRect part);

// The part of `view` the shape cuts, sharing its pixels (no copy).
QImage PartView(const QImage& view, const PictureShape& shape);
// `part` mirrored and turned as the shape says (a copy; `part` itself when
// the shape only cuts).
QImage Reorient(const QImage& part, const PictureShape& shape);

} // namespace mugrove
