#pragma once

namespace mugrove {

struct Form;

// 按钮4 / 按钮5 Clicked: enlarge or shrink the work area by 1.1 or 0.9.
void OnZoomIn(Form& form);
void OnZoomOut(Form& form);

} // namespace mugrove
