#pragma once

namespace mugrove {

struct Form;

// 按钮3 Clicked: saves the work area as shown to a date-named file on the desktop.
void OnSaveClicked(Form& form);

} // namespace mugrove
