#pragma once

#include "output/SaveToDesktop.h"

namespace mugrove {

struct Form;

// Binds each (control, event) pair of the window to its handler. The save
// takes its clock and desktop from `save`.
void BindEvents(Form& form, SaveEnvironment save = {});

} // namespace mugrove
