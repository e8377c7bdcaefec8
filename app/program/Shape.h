#pragma once

#include "controls/PictureShape.h"

#include <QRect>

class QMenu;

namespace mugrove {

struct Form;
class CropFrame;

// Turns or flips the picture as it is shown. A turn swaps the work area's
// width and height, its top-left corner staying; the captions stay where
// they are. Nothing without a picture.
void ReorientPicture(Form& form, Reorientation how);

// Cuts the picture down to the part under `onScreen` (work area pixels):
// the work area takes the size the part had on screen, its top-left at the
// frame's, and the captions move with the part. Nothing without a picture.
void CropPicture(Form& form, QRect onScreen);

// Starts cropping: a crop rectangle over the picture, the captions hidden
// until it is applied or cancelled. Null without a picture.
CropFrame* StartCrop(Form& form);

// "旋转和翻转(&O)" and "裁剪(&X)..." for the work area's menu, each a step.
void AddShapeEntries(QMenu& menu, Form& form);

} // namespace mugrove
