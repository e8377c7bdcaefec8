#include "overlay/StyleHandlers.h"

#include "app/Form.h"
#include "app/model/EditBox.h"
#include "app/model/SliderBar.h"
#include "overlay/TextToNumber.h"

namespace mugrove {

void OnCaptionEdited(Form&) {}

void OnWidthSliderMoved(Form&) {}

void OnHeightSliderMoved(Form&) {}

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

void OnFontSizeSliderMoved(Form&) {}

void OnBoldClicked(Form&) {}

void OnColourChosen(Form&) {}

void OnFontButtonClicked(Form&) {}

} // namespace mugrove
