#pragma once

#include "app/model/LogFont.h"

#include <QPoint>
#include <QSize>

#include <optional>
#include <vector>

namespace mugrove {

enum class ControlKind {
    GroupBox, PicBox, TransLabel, Label, Button, EditBox, CheckBox, ListBox, SliderBar,
    ColorPicker, CommonDlg, DropTarget
};

// One row of the window definition: a control as it exists right after
// creation. Kind-specific settings are applied by name after all rows exist.
struct ControlDefinition {
    const char* name;   // also the Qt object name
    ControlKind kind;
    const char* parent; // nullptr: the main window
    int left, top, width, height;
    bool tabStop;
    const char* text;   // nullptr: none
    std::optional<LogFont> font; // nullopt: the default GUI font
};

struct WindowDefinition {
    const char* caption;
    QSize outerSize;   // stored outer size, frame and title bar included
    QSize clientSize;  // the fixed client area the controls are placed in
    std::vector<ControlDefinition> controls; // creation order
    std::vector<const char*> stacking;       // the window's children, top first
    std::vector<const char*> textGroupStacking; // children of 分组框1, top first
};

// The window definition Mugrove runs with.
const WindowDefinition& DefaultWindowDefinition();

// left = (screen width - outer width) / 2, top likewise, truncating toward zero.
QPoint CentredPosition(QSize screen, QSize outer);

} // namespace mugrove
