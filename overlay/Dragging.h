#pragma once

namespace mugrove {

struct Form;

// The drag's state is the form's caption.drag; the current caption moves.
void StartDrag(Form& form, int x, int y, int keys);           // grabbed at (x, y)
void OnOverlayMouseDown(Form& form, int x, int y, int keys); // 透明标签1 MouseDown
void OnWindowMouseMove(Form& form, int x, int y, int keys);  // MainWindow MouseMove
void OnWindowMouseUp(Form& form, int x, int y, int keys);    // MainWindow MouseUp

} // namespace mugrove
