#include "overlay/Dragging.h"

#include "app/Form.h"

namespace mugrove {

DragState& TheDragState()
{
    static DragState state;
    return state;
}

void OnOverlayMouseDown(Form&, int, int, int) {}

void OnWindowMouseMove(Form&, int, int, int) {}

void OnWindowMouseUp(Form&, int, int, int) {}

} // namespace mugrove
