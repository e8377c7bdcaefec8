#pragma once

namespace mugrove {

struct Form;

// 按钮1 Clicked: puts the work area as shown on the clipboard.
void OnCopyClicked(Form& form);

} // namespace mugrove
