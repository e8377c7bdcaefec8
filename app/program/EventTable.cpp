#include "app/program/EventTable.h"

#include "app/Form.h"
#include "app/model/Button.h"
#include "app/model/CheckBox.h"
#include "app/model/DropTarget.h"
#include "app/model/EditBox.h"
#include "app/model/ListBox.h"
#include "app/model/MainWindow.h"
#include "app/model/SliderBar.h"
#include "app/program/Paste.h"
#include "app/program/Startup.h"
#include "controls/ColorPicker.h"
#include "controls/TransLabel.h"
#include "output/Clipboard.h"
#include "output/SaveToDesktop.h"
#include "overlay/Dragging.h"
#include "overlay/StyleHandlers.h"
#include "templates/PhotoDrop.h"
#include "templates/Selection.h"
#include "templates/Zoom.h"

#include <QString>

#include <utility>

namespace mugrove {

namespace {

// Adapts a handler taking only the form to an event without arguments.
auto Plain(Form& form, void (*handler)(Form&))
{
    return [&form, handler] { handler(form); };
}

auto Mouse(Form& form, void (*handler)(Form&, int, int, int))
{
    return [&form, handler](int x, int y, int keys) { handler(form, x, y, keys); };
}

} // namespace

void BindEvents(Form& f, SaveEnvironment save)
{
    f.window->Created.Bind(Plain(f, OnWindowCreated));
    f.window->MouseMove.Bind(Mouse(f, OnWindowMouseMove));
    f.window->MouseUp.Bind(Mouse(f, OnWindowMouseUp));
    f.captionOverlay->MouseDown.Bind(Mouse(f, OnOverlayMouseDown));
    f.templateList->SelectionChanged.Bind(Plain(f, OnTemplateSelected));
    f.zoomInButton->Clicked.Bind(Plain(f, OnZoomIn));
    f.zoomOutButton->Clicked.Bind(Plain(f, OnZoomOut));
    f.dropTarget->FilesDropped.Bind([&f](const QString& names) { OnPhotoDropped(f, names); });
    f.captionBox->ContentChanged.Bind(Plain(f, OnCaptionEdited));
    f.widthSlider->PositionChanged.Bind(Plain(f, OnWidthSliderMoved));
    f.heightSlider->PositionChanged.Bind(Plain(f, OnHeightSliderMoved));
    f.widthBox->ContentChanged.Bind(Plain(f, OnWidthBoxEdited));
    f.heightBox->ContentChanged.Bind(Plain(f, OnHeightBoxEdited));
    f.fontSizeSlider->PositionChanged.Bind(Plain(f, OnFontSizeSliderMoved));
    f.boldBox->Clicked.Bind(Plain(f, OnBoldClicked));
    f.colourPicker->ColourChanged.Bind(Plain(f, OnColourChosen));
    f.fontButton->Clicked.Bind(Plain(f, OnFontButtonClicked));
    f.saveButton->Clicked.Bind([&f, save = std::move(save)] { OnSaveClicked(f, save); });
    f.copyButton->Clicked.Bind(Plain(f, OnCopyClicked));
    BindPaste(f); // the paste keys and the work area's menu
}

} // namespace mugrove
