#pragma once

#include <QSize>

#include <cstdint>

namespace mugrove {

struct Form;

inline constexpr double kZoomInFactor = 1.1;
inline constexpr double kZoomOutFactor = 0.9;

// n x factor in double precision, truncated toward zero (saturating at the
// ends of the 32-bit range).
std::int32_t ScaleToPixels(std::int32_t size, double factor);

// Puts the work area back at its place in the window definition and scales its height, then its width.
void ZoomWorkArea(Form& form, double factor);

// 按钮4 / 按钮5 Clicked: enlarge or shrink the work area by 1.1 or 0.9.
void OnZoomIn(Form& form);
void OnZoomOut(Form& form);

// The largest size with the picture's proportions that fits inside the
// work area's frame of the window definition (379 × 384), each side
// rounded to the nearest pixel and at least 1; empty for no picture.
// Small pictures grow to it as big ones shrink.
QSize FitInFrame(QSize picture);

// "适应图框": the work area takes the picture's fitted size at its place in
// the window definition, as a zoom step does (the labels follow, the zoom
// buttons go on from there). Without a picture nothing changes.
void OnFitToFrame(Form& form);

} // namespace mugrove
