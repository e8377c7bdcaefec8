#pragma once

#include "controls/decoders/PictureBytes.h"

namespace mugrove {

struct Form;

// Empties the clipboard and puts the picture of `snapshot` on it. True when
// the clipboard then holds an image of the snapshot's size.
bool CopyPictureToClipboard(const PictureBytes& snapshot);

// 按钮1 Clicked: puts the work area as shown on the clipboard; the button
// tells whether it worked.
void OnCopyClicked(Form& form);

} // namespace mugrove
