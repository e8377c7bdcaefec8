#include "overlay/StyleHandlers.h"

#include "app/Form.h"
#include "app/model/CheckBox.h"
#include "app/model/CommonDlg.h"
#include "app/model/EditBox.h"
#include "app/model/SliderBar.h"
#include "controls/ColorPicker.h"
#include "controls/TransLabel.h"
#include "overlay/TextToNumber.h"

namespace mugrove {

void OnCaptionEdited(Form& form)
{
    if (form.caption.showing)
        return; // the box is being shown the current caption's own text
    form.currentCaption->SetCaption(form.captionBox->Content());
}

// The content write runs OnWidthBoxEdited nested, which puts the same
// position back into the slider without raising anything.
void OnWidthSliderMoved(Form& form)
{
    const int p = form.widthSlider->Position();
    // The band lays its caption out itself.
    if (form.currentCaption != form.bandCaption)
        form.currentCaption->SetWidth(p);
    form.widthBox->SetContent(QString::number(p));
}

void OnHeightSliderMoved(Form& form)
{
    const int p = form.heightSlider->Position();
    if (form.currentCaption != form.bandCaption)
        form.currentCaption->SetHeight(p);
    form.heightBox->SetContent(QString::number(p));
}

// A number typed into the box only moves the slider's thumb; the caption
// follows at the slider's next movement by the user.
void OnWidthBoxEdited(Form& form)
{
    form.widthSlider->SetPosition(NumberToInteger(TextToNumber(form.widthBox->Content())));
}

void OnHeightBoxEdited(Form& form)
{
    form.heightSlider->SetPosition(NumberToInteger(TextToNumber(form.heightBox->Content())));
}

// The slider has its minimum at the top, so the top is the largest size and
// the bottom (100) is size 0, the face's default height.
void OnFontSizeSliderMoved(Form& form)
{
    const int p = form.fontSizeSlider->Position();
    form.currentCaption->SetFontSize(NumberToInteger(100.0 - p));
}

void OnBoldClicked(Form& form)
{
    if (form.boldBox->Checked() == 1)
        form.currentCaption->SetFontBold(true);
    if (form.boldBox->Checked() == 0)
        form.currentCaption->SetFontBold(false);
}

void OnColourChosen(Form& form)
{
    form.currentCaption->SetTextColour(form.colourPicker->CurrentColour());
}

// A cancelled dialog leaves the caption's font as it is; a confirmed choice
// replaces every field of the record but the angle.
void OnFontButtonClicked(Form& form)
{
    OverlayFont& record = form.caption.font;
    CommonDlg& dialog = *form.fontDialog;
    if (!dialog.OpenFont())
        return;
    record.Size = dialog.FontSize();
    record.Bold = dialog.FontBold();
    record.Italic = dialog.FontItalic();
    record.Underline = dialog.FontUnderline();
    record.StrikeOut = dialog.FontStrikeout();
    const QString name = dialog.FontName();
    record.FaceName = name.isEmpty() ? std::nullopt : std::optional<QString>(name);
    form.currentCaption->SetFont(record);
}

} // namespace mugrove
