#pragma once

namespace mugrove {

struct Form;

// Ctrl+V and Shift+Insert anywhere in the main window paste copied files
// or a picture into the work area; when an edit box has the focus and the
// clipboard holds text but no files, or nothing can be shown, the key does
// what it did before. A right-click on the work area opens its menu:
// "粘贴图片(&V)", "添加文字(&T)", "适应图框(&F)" and, while a clip is shown,
// "截取片段(&C)...". Ctrl + wheel over the picture zooms.
void BindPaste(Form& form);

} // namespace mugrove
