#pragma once

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

} // namespace mugrove
