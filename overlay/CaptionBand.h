#pragma once

namespace mugrove {

struct Form;
class TransLabel;

// "白边文字": a white band above the picture holding one caption, black and
// centred, laid out over the picture's width (templates/BandLayout.h).

// Whether the band can be put on: only over a picture.
bool CanAddBand(const Form& form);

// Puts the band on: the picture and the captions move down by its height,
// and its caption, "新的文字" in the current caption's font at a tenth of
// the picture's width, becomes current with its text selected in the edit
// box, which takes the focus. Null when there is one already or no picture.
TransLabel* AddBand(Form& form);

// Takes the band off: the picture and the captions move back up; 透明标签1
// becomes current when the band's caption was.
void RemoveBand(Form& form);

// The band's caption, made and bound to its events but not laid out, shown
// or current; the one there already when there is one. For putting a meme
// back, with ForgetBand its counterpart.
TransLabel& MakeBandCaption(Form& form);
// The band's caption goes, and nothing else changes: when it was current,
// 透明标签1 is, without being shown in the controls.
void ForgetBand(Form& form);

} // namespace mugrove
