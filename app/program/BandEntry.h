#pragma once

class QMenu;

namespace mugrove {

struct Form;

// "白边文字(&B)", a tick in the work area's menu: ticked while the band is
// on, greyed without a picture; each choice puts it on or takes it off as
// one step.
void AddBandEntry(QMenu& menu, Form& form);

} // namespace mugrove
