#pragma once

#include <QPoint>

namespace mugrove {

struct Form;
class TransLabel;

// 透明标签1 and the captions added to it, at most this many in all.
inline constexpr int kMaxCaptions = 16;

bool CanAddCaption(const Form& form);

// Adds a caption centred on `centre` (main window client coordinates) with
// the current caption's whole look, stacked above every caption before it
// and below every other control, and makes it current: the edit box then
// holds "新的文字", selected, with the keyboard focus. Null at the cap.
TransLabel* AddCaption(Form& form, QPoint centre);

// A new caption above every other, bound to its events like those the
// menu adds but with a new label's settings, not yet shown and not
// current. Null at the cap. For putting a meme's captions back.
TransLabel* AppendCaption(Form& form);

// Removes an added caption and nothing else: when it was current,
// 透明标签1 is, without being shown in the controls.
void DropCaption(Form& form, TransLabel& caption);

// Removes an added caption; 透明标签1 becomes current. 透明标签1 itself stays.
void RemoveCaption(Form& form, TransLabel& caption);

// Makes `caption` current and shows its text, sizes, bold and colour in the
// controls, changing no caption.
void MakeCaptionCurrent(Form& form, TransLabel& caption);

// A left press on a caption: it becomes current and its drag starts.
void OnCaptionMouseDown(Form& form, TransLabel& caption, int x, int y, int keys);

} // namespace mugrove
