#pragma once

#include "controls/decoders/PictureBytes.h"

namespace mugrove {

struct Form;

// Empties the clipboard and puts the picture of `snapshot` on it. False when
// there is no clipboard or no picture to put on it.
bool CopyPictureToClipboard(const PictureBytes& snapshot);

// 按钮1 Clicked: puts the work area as shown on the clipboard; the button
// tells whether it worked.
void OnCopyClicked(Form& form);

} // namespace mugrove
