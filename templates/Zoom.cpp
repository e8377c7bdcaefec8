#include "templates/Zoom.h"

#include "app/Form.h"

namespace mugrove {

void OnZoomIn(Form&) {}

void OnZoomOut(Form&) {}

} // namespace mugrove
