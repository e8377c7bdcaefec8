#pragma once

#include "controls/PictureShape.h"
#include "controls/decoders/DecodedPicture.h"

#include <QColor>
#include <QImage>
#include <QRect>

#include <algorithm>

class QPainter;

namespace mugrove {

// How a picture is fitted into its box; the values are those of the
// DisplayMode property.
enum class PictureFit {
    OwnSize = 0, // at its own size at the top-left
    Stretch = 1, // stretched or shrunk to the whole box
    Centre = 2,  // centred at its own size, first shrunk to fit when larger
};

// The rectangle a w × h picture is drawn into in a W × H box. Centred
// pictures wider or taller than the box are shrunk keeping proportions, by
// the smaller of W/w and H/h, sizes truncated to whole pixels.
QRect DisplayTarget(PictureFit fit, QSize box, QSize picture);

// The format the box views a picture's pixels in: RGB32 for an opaque one,
// which draws without blending; premultiplied for GIF pixels, which are
// opaque or 0 and so their own premultiplied form; plain ARGB32 otherwise.
QImage::Format ViewFormat(ImageKind kind, bool opaque);
// A decoded picture as a QImage of `format` over the same pixels (no copy).
QImage PictureView(const Image& image, QImage::Format format);

// How a box paints its picture: enough to paint frames the same way on
// another thread.
struct BoxLook {
    QSize size;
    QColor background;
    PictureFit fit = PictureFit::OwnSize;
    bool smooth = true;
    QImage::Format frameFormat = QImage::Format_ARGB32; // how an animation's frames are viewed
    // White rows at the top of the box (the caption band); the picture is
    // fitted into the rest.
    int band = 0;
    PictureShape shape; // the picture's part, mirrored and turned, before it is fitted

    QSize PictureSize() const { return QSize(size.width(), std::max(0, size.height() - band)); }
};

// The colour of the caption band.
inline const QColor kBandColour(255, 255, 255);

// Paints the whole box as `look` says: the band, then the picture shaped
// and fitted into the rest by PaintPicture. Safe on any thread.
void PaintBox(QPainter& painter, const BoxLook& look, const QImage& picture, QImage& shrunk);

// Paints a box of `box` pixels as the work area shows `picture` shaped by
// `shape` and fitted by `fit`: the background, then the picture in its
// DisplayTarget, scaled smoothly (averaged down when shrinking) or by
// dropping and repeating pixels. `shrunk` keeps the averaged-down picture
// from paint to paint; clear it whenever the picture or the shape changes.
// Safe on any thread.
void PaintPicture(QPainter& painter, QSize box, const QColor& background, const QImage& picture,
                  PictureFit fit, bool smooth, QImage& shrunk, const PictureShape& shape = {});

// The averaged-down (and turned) picture PaintPicture shows of `view` in
// such a box; null when it draws the picture, or its part, without
// averaging it down. Safe on any thread.
QImage ShrunkPicture(QSize box, PictureFit fit, bool smooth, const QImage& view, const PictureShape& shape = {});

} // namespace mugrove
