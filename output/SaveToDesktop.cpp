#include "output/SaveToDesktop.h"

#include "app/Form.h"

namespace mugrove {

void OnSaveClicked(Form&) {}

} // namespace mugrove
