#pragma once

namespace mugrove {

struct Form;

// Binds each (control, event) pair of the window to its handler.
void BindEvents(Form& form);

} // namespace mugrove
