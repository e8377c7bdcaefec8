#pragma once

#include "output/JpegEncoder.h"

#include <QImage>
#include <QString>

#include <cstdint>

namespace mugrove {

// A cap on the size of a saved file in bytes; 0 for none. 1 MB is 1,000,000
// bytes and 1 KB 1,000, as the places that cap uploads count them.
using ByteLimit = std::uint64_t;

// The quality a save uses when it has room, the highest a limited save
// tries, and the smallest share of the box's width and height a limited
// still shrinks to.
constexpr int kFullJpegQuality = 95;
constexpr double kSmallestStillScale = 0.25;

// `limit` as people say it: "1 MB", "250 KB", "1234 B"; "不限" for none.
QString LimitText(ByteLimit limit);

// The work area as a JPEG of at most `limit` bytes (any size when 0): the
// unlimited save when it fits, else of the sizes from the box's own down to
// a quarter, each with colour at full and half resolution at the highest
// quality that fits, the one most like the unlimited save (by Likeness).
// Empty, with the reason in `why`, when nothing fits or the encoder fails.
EncodedBytes FitJpeg(const ShownPicture& shown, ByteLimit limit, QString* why = nullptr);

// How like `reference` `picture` looks, by the mean structural similarity of
// their 8 × 8 blocks in luma and chroma (weighted 6:1:1); both of one size.
double Similarity(const QImage& reference, const QImage& picture);

} // namespace mugrove
