#pragma once

#include "app/Form.h"
#include "app/model/EditBox.h"
#include "app/model/LogFont.h"
#include "controls/ColorPicker.h"
#include "controls/TransLabel.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QSlider>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

namespace mugrove {

// Facts of the window definition that handlers use as well.
inline constexpr QPoint kWorkAreaOrigin(5, 16);       // 图片框1's place
inline constexpr QSize kWorkAreaFrame(379, 384);      // 图片框1's size: the frame a picture is fitted into
inline constexpr const char* kCopyCaption = "复制图片";   // 按钮1
inline constexpr const char* kSaveCaption = "保存到桌面"; // 按钮3

// The settings of each control kind, as a row of the definition holds them.
// `role` is the member of Form the control fills.
struct GroupBoxRow {
    GroupBox* Form::*role;
    std::uint32_t textColour;
    std::uint32_t background; // 0x00BBGGRR or kDefaultColour
};
struct PicBoxRow { // no border, the default background, no picture, mode 0
    PicBox* Form::*role;
};
struct TransLabelRow { // caption and font come from the row
    TransLabel* Form::*role;
    TextEffect effect;
    std::uint32_t textColour; // 0x00BBGGRR
    HorizontalAlignment horizontal;
    VerticalAlignment vertical;
    bool wordWrap;
};
struct LabelRow {
    Label* Form::*role;
    bool wordWrap;
    std::uint32_t textColour;
    std::uint32_t background;
};
struct ButtonRow {
    Button* Form::*role;
};
struct EditBoxRow {
    EditBox* Form::*role;
    EditBox::Lines lines;
};
struct CheckBoxRow {
    CheckBox* Form::*role;
    bool checked;
    std::uint32_t textColour;
    std::uint32_t background;
};
struct ListBoxRow {
    ListBox* Form::*role;
    QStringList (*items)(); // in the stored order
    std::uint32_t textColour;
    std::uint32_t background;
};
struct SliderBarRow {
    SliderBar* Form::*role;
    Qt::Orientation orientation;
    int minimum, maximum, position;
    QSlider::TickPosition ticks; // TicksBelow is right of a vertical slider
    int tickInterval, lineStep, pageStep;
};
struct ColorPickerRow {
    ColorPicker* Form::*role;
    ColorPickerSettings settings;
};
struct CommonDlgRow { // a font dialog with nothing chosen yet
    CommonDlg* Form::*role;
};
struct DropTargetRow { // bound to the work area when the window is created
    DropTarget* Form::*role;
};

using KindSettings = std::variant<GroupBoxRow, PicBoxRow, TransLabelRow, LabelRow,
                                  ButtonRow, EditBoxRow, CheckBoxRow,
                                  ListBoxRow, SliderBarRow, ColorPickerRow,
                                  CommonDlgRow, DropTargetRow>;

// One row of the window definition: a control as it exists right after
// creation.
struct ControlDefinition {
    const char* name;               // also the Qt object name
    GroupBox* Form::*parent;        // nullptr: the main window
    QRect geometry;                 // in the parent's client area
    int tabOrder;                   // place in focus traversal from 1; 0: no tab stop
    int stackRank;                  // place among its siblings, 0 on top; -1 (not read) no window
    const char* text;               // nullptr: none
    std::optional<LogFont> font;    // nullopt: the default GUI font
    KindSettings kind;
};

struct WindowDefinition {
    const char* caption;
    QSize outerSize;   // stored outer size, frame and title bar included
    QSize clientSize;  // the fixed client area the controls are placed in
    std::vector<ControlDefinition> controls; // creation order
};

// The window definition Mugrove runs with.
const WindowDefinition& DefaultWindowDefinition();

// left = (screen width - outer width) / 2, top likewise, truncating toward zero.
QPoint CentredPosition(QSize screen, QSize outer);

} // namespace mugrove
