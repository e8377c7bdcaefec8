#include "templates/Selection.h"

#include "app/Form.h"

namespace mugrove {

void OnTemplateSelected(Form&) {}

void RefreshSizeLabels(Form&) {}

} // namespace mugrove
