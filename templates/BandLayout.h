#pragma once

#include <QString>

class QFont;

namespace mugrove {

struct Form;

// The caption band's measures for a picture `width` pixels wide: the space
// above and below its text and at each side of it (a twentieth of the
// width), and the pixel size its caption starts at (a tenth, at least 16).
int BandMargin(int width);
int BandStartPixels(int width);

// The height `text` takes in `font` as a caption laid out at `dpi` draws
// it, centred and wrapped within `width` (emoji in their colour face); at
// least one line, so an emptied band keeps its place for the next character.
int BandTextHeight(const QFont& font, int dpi, int width, const QString& text);

// Lays the band's caption out anew over the picture's width: its place and
// height, the band's height, and the picture with every caption moved down
// or up by what the band grew or shrank. Nothing without a band, or while
// a meme is being put back.
void LayOutBand(Form& form);

// The same after the work area was just given a picture's size (a template,
// a drop, a zoom): its height is the picture's alone, and the band goes on
// top of it.
void PlacePictureUnderBand(Form& form);

// The band's rows, moved out of the work area: the picture and the captions
// go back up by its height.
void TakeBandAway(Form& form);

} // namespace mugrove
