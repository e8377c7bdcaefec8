#include "overlay/Dragging.h"

#include "app/Form.h"
#include "controls/TransLabel.h"
#include "overlay/Captions.h"
#include "overlay/TextToNumber.h"

namespace mugrove {

// The caption keeps the mouse from the press to the release and hands every
// move and the release to the main window in its client coordinates, which
// is the capture a drag needs; there is nothing to take or give back here.
void StartDrag(Form& form, int x, int y, int)
{
    DragState& drag = form.caption.drag;
    drag.GrabX = x;
    drag.GrabY = y;
    drag.Dragging = true;
}

void OnOverlayMouseDown(Form& form, int x, int y, int keys)
{
    OnCaptionMouseDown(form, *form.captionOverlay, x, y, keys);
}

// Two moves per step, horizontal first, so that the grabbed point of the
// caption stays under the cursor.
void OnWindowMouseMove(Form& form, int x, int y, int)
{
    const DragState& drag = form.caption.drag;
    if (!drag.Dragging)
        return;
    TransLabel& caption = *form.currentCaption;
    caption.SetLeft(NumberToInteger(double(x) - double(drag.GrabX)));
    caption.SetTop(NumberToInteger(double(y) - double(drag.GrabY)));
}

void OnWindowMouseUp(Form& form, int, int, int)
{
    form.caption.drag.Dragging = false;
}

} // namespace mugrove
