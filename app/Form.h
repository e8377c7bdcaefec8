#pragma once

#include "app/Steps.h"
#include "app/model/CaptionState.h"

#include <memory>
#include <vector>

namespace mugrove {

class Button;
class CheckBox;
class ColorPicker;
class CommonDlg;
class DropTarget;
class EventTable;
class EditBox;
class GroupBox;
class Label;
class ListBox;
class MainWindow;
class PicBox;
class SliderBar;
class TransLabel;
struct WindowDefinition;

// The main window and typed references to every control, by role. The
// controls are owned by the window (Qt parent chain); the form owns the window.
struct Form {
    // The caption's handler state: made before the window, released after it.
    CaptionState caption;
    std::unique_ptr<MainWindow> window;

    GroupBox* pictureGroup = nullptr;    // 分组框3
    PicBox* workArea = nullptr;          // 图片框1
    TransLabel* captionOverlay = nullptr; // 透明标签1
    Label* widthLabel = nullptr;         // 标签1: picture width
    Label* heightLabel = nullptr;        // 标签4: picture height
    Button* zoomInButton = nullptr;      // 按钮4
    Button* zoomOutButton = nullptr;     // 按钮5
    GroupBox* textGroup = nullptr;       // 分组框1
    EditBox* captionBox = nullptr;       // 编辑框1
    Button* fontButton = nullptr;        // 按钮2
    ColorPicker* colourPicker = nullptr; // 颜色选择器1
    CheckBox* boldBox = nullptr;         // 选择框1
    Label* fontSizeLabel = nullptr;      // 标签5
    SliderBar* fontSizeSlider = nullptr; // 滑块条3
    GroupBox* propertyGroup = nullptr;   // 分组框2
    ListBox* templateList = nullptr;     // 列表框1
    Label* textWidthLabel = nullptr;     // 标签2
    EditBox* widthBox = nullptr;         // 编辑框2
    SliderBar* widthSlider = nullptr;    // 滑块条1
    Label* textHeightLabel = nullptr;    // 标签3
    EditBox* heightBox = nullptr;        // 编辑框3
    SliderBar* heightSlider = nullptr;   // 滑块条2
    Button* copyButton = nullptr;        // 按钮1
    Button* saveButton = nullptr;        // 按钮3
    CommonDlg* fontDialog = nullptr;     // 通用对话框1
    DropTarget* dropTarget = nullptr;    // 拖放对象1

    // The handlers bound to the controls (BindEvents); owned by the window.
    EventTable* events = nullptr;
    // The meme's undo history, which the bindings run user actions through;
    // null while there is none (a form without its events bound).
    StepHistory* history = nullptr;

    // Every caption, bottom first: 透明标签1, then those added. The style
    // controls, the font dialog and a drag work on the current one.
    std::vector<TransLabel*> captions;
    TransLabel* currentCaption = nullptr;
    // The caption of the white band above the picture, while there is one
    // (not among `captions`: it is laid out, not placed).
    TransLabel* bandCaption = nullptr;

    Form();
    ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;
};

// Builds the window and all its controls from a definition, placed centred on
// the primary screen and not yet shown. Null when the definition cannot be
// built (a control naming an unknown parent, a name used twice, a role missing).
std::unique_ptr<Form> CreateForm(const WindowDefinition& definition);

} // namespace mugrove
