#pragma once

#include <QImage>
#include <QSize>

namespace mugrove {

// How like `reference` `picture` looks, 1 when the same: the mean over red,
// green and blue of their structural similarity in 8 × 8 windows four
// pixels apart, with the usual constants for 8-bit samples. Viewers compare
// a limited save with the full one this way, colour by colour, so a search
// that ranks its candidates by it keeps what they would keep. Both of one
// size (0 otherwise).
double Likeness(const QImage& reference, const QImage& picture);

// `picture` enlarged (or shrunk) to `size` with a bicubic filter, as a
// reduced file is scaled back to be compared with the full one. RGB32.
QImage ScaledBack(const QImage& picture, QSize size);

} // namespace mugrove
