#include "output/Clipboard.h"

#include "app/Form.h"

namespace mugrove {

void OnCopyClicked(Form&) {}

} // namespace mugrove
