#pragma once

#include <QColor>
#include <QImage>

namespace mugrove {

// The edge drawn around every glyph when the outline is on: 1/12 of the
// font's pixel height, rounded, at least one pixel.
int OutlineWidth(int fontPixelHeight);
// Black around light text (luminance 0.299 R + 0.587 G + 0.114 B above one
// half), white around dark text.
QColor OutlineColour(const QColor& text);

// The edge layer for a glyph mask: opaque `colour` wherever a pixel lies
// within `width` pixels of one whose alpha is at least one half, fading out
// over the next pixel, transparent beyond. Same size (and pixel ratio) as the
// mask; premultiplied.
QImage OutlineLayer(const QImage& glyphs, int width, const QColor& colour);

} // namespace mugrove
