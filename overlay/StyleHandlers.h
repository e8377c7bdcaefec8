#pragma once

namespace mugrove {

struct Form;

// The controls that edit the caption's text and style, one handler each.
void OnCaptionEdited(Form& form);       // 编辑框1 ContentChanged
void OnWidthSliderMoved(Form& form);    // 滑块条1 PositionChanged
void OnHeightSliderMoved(Form& form);   // 滑块条2 PositionChanged
void OnWidthBoxEdited(Form& form);      // 编辑框2 ContentChanged
void OnHeightBoxEdited(Form& form);     // 编辑框3 ContentChanged
void OnFontSizeSliderMoved(Form& form); // 滑块条3 PositionChanged
void OnBoldClicked(Form& form);         // 选择框1 Clicked
void OnColourChosen(Form& form);        // 颜色选择器1 ColourChanged
void OnFontButtonClicked(Form& form);   // 按钮2 Clicked, through form.caption.font

} // namespace mugrove
