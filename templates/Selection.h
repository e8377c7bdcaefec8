#pragma once

namespace mugrove {

struct Form;

// 列表框1 SelectionChanged: shows the chosen template at its catalogue size.
void OnTemplateSelected(Form& form);

// Writes the work area's current width and height into 标签1 and 标签4.
void RefreshSizeLabels(Form& form);

} // namespace mugrove
