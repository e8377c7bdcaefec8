#pragma once

#include <cstdint>

namespace mugrove {

struct Form;

// Program-wide drag state: whether a drag runs and where the caption was
// grabbed, in pixels from its top-left corner.
struct DragState {
    std::int32_t Dragging = 0;
    std::int32_t GrabX = 0;
    std::int32_t GrabY = 0;
};

DragState& TheDragState();

void OnOverlayMouseDown(Form& form, int x, int y, int keys); // 透明标签1 MouseDown
void OnWindowMouseMove(Form& form, int x, int y, int keys);  // MainWindow MouseMove
void OnWindowMouseUp(Form& form, int x, int y, int keys);    // MainWindow MouseUp

} // namespace mugrove
