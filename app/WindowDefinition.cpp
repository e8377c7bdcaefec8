#include "app/WindowDefinition.h"

#include "app/model/Colour.h"
#include "templates/Catalog.h"

namespace mugrove {

namespace {

constexpr std::uint32_t kBlack = 0x00000000u;
constexpr std::uint32_t kWhite = 0x00FFFFFFu;
constexpr std::uint32_t kSilver = 0x00C0C0C0u;

QStringList TemplateLabels()
{
    QStringList labels;
    for (int i = 0; i < TemplateCatalog::Count(); ++i)
        labels << QString::fromUtf8(TemplateCatalog::Find(i)->label);
    return labels;
}


SliderBarRow SizeSlider(SliderBar* Form::*role)
{
    return {role, Qt::Horizontal, 1, 500, 1, QSlider::TicksBelow, 1, 1, 5};
}

LabelRow PlainLabel(Label* Form::*role)
{
    return {role, false, kBlack, kDefaultColour};
}

WindowDefinition BuildDefaultDefinition()
{
    const LogFont song = SongTi16();
    const LogFont yahei = YaHeiBold16();
    const std::optional<LogFont> gui; // the default GUI font
    GroupBox* Form::*const window = nullptr;
    GroupBox* Form::*const textGroup = &Form::textGroup;
    WindowDefinition d;
    d.caption = "Mugrove";
    d.outerSize = QSize(642, 479);
    d.clientSize = QSize(636, 450);
    // Name, parent, geometry, tab order, stacking rank, text, font, kind.
    d.controls = {
        {"分组框3", window, {0, 3, 392, 400}, 0, 20,
         "可直接拖入照片到此处，可缩放；文字显示需在图片范围内。", gui,
         GroupBoxRow{&Form::pictureGroup, kBlack, kSilver}},
        {"图片框1", window, {kWorkAreaOrigin, kWorkAreaFrame}, 0, 17, nullptr, gui,
         PicBoxRow{&Form::workArea}},
        {"透明标签1", window, {32, 216, 168, 24}, 0, 4, "这里显示文字,可拖动", yahei,
         TransLabelRow{&Form::captionOverlay, TextEffect::None, kBlack, HorizontalAlignment::Centre,
                       VerticalAlignment::Centre, true}},
        {"标签1", window, {10, 403, 99, 24}, 0, 0, "图片宽度：", gui, PlainLabel(&Form::widthLabel)},
        {"标签4", window, {10, 427, 100, 24}, 0, 1, "图片高度：", gui, PlainLabel(&Form::heightLabel)},
        {"按钮4", window, {122, 408, 127, 40}, 13, 2, "放大+", song, ButtonRow{&Form::zoomInButton}},
        {"按钮5", window, {256, 408, 127, 40}, 14, 3, "缩小-", song, ButtonRow{&Form::zoomOutButton}},
        {"分组框1", window, {394, 3, 241, 125}, 0, 18, "修改文字在此", gui,
         GroupBoxRow{&Form::textGroup, kBlack, kDefaultColour}},
        {"编辑框1", window, {406, 21, 170, 67}, 1, 14, "这里修改文字,可拖动", gui,
         EditBoxRow{&Form::captionBox, EditBox::Lines::Multi}},
        {"按钮2", window, {407, 92, 65, 29}, 2, 13, "字体修改", gui, ButtonRow{&Form::fontButton}},
        {"颜色选择器1", window, {476, 92, 47, 28}, 3, 10, nullptr, gui,
         ColorPickerRow{&Form::colourPicker, ColorPickerSettings{}}},
        {"选择框1", textGroup, {134, 93, 48, 24}, 4, 0, "粗体", gui,
         CheckBoxRow{&Form::boldBox, false, kBlack, kDefaultColour}},
        {"标签5", textGroup, {192, 18, 16, 96}, 0, 1, "↑\r\n\r\n字\r\n体\r\n大\r\n小\r\n\r\n↓", gui,
         LabelRow{&Form::fontSizeLabel, true, kBlack, kDefaultColour}},
        {"滑块条3", textGroup, {209, 8, 24, 115}, 5, 2, nullptr, gui,
         SliderBarRow{&Form::fontSizeSlider, Qt::Vertical, 5, 100, 100, QSlider::TicksBelow, 1, 1, 5}},
        {"分组框2", window, {395, 128, 240, 319}, 0, 19, "属性修改", gui,
         GroupBoxRow{&Form::propertyGroup, kBlack, kDefaultColour}},
        {"列表框1", window, {404, 144, 220, 168}, 6, 15, nullptr, gui,
         ListBoxRow{&Form::templateList, TemplateLabels, kBlack, kWhite}},
        {"标签2", window, {408, 324, 48, 32}, 0, 12, "文字宽度", gui, PlainLabel(&Form::textWidthLabel)},
        {"编辑框2", window, {457, 324, 32, 32}, 7, 6, "192", gui,
         EditBoxRow{&Form::widthBox, EditBox::Lines::Single}},
        {"滑块条1", window, {482, 328, 143, 24}, 8, 9, nullptr, gui, SizeSlider(&Form::widthSlider)},
        {"标签3", window, {408, 361, 48, 32}, 0, 11, "文字高度", gui, PlainLabel(&Form::textHeightLabel)},
        {"编辑框3", window, {457, 362, 32, 32}, 9, 5, "40", gui,
         EditBoxRow{&Form::heightBox, EditBox::Lines::Single}},
        {"滑块条2", window, {482, 362, 143, 24}, 10, 8, nullptr, gui, SizeSlider(&Form::heightSlider)},
        {"按钮1", window, {404, 396, 106, 43}, 11, 16, kCopyCaption, gui, ButtonRow{&Form::copyButton}},
        {"按钮3", window, {515, 396, 106, 43}, 12, 7, kSaveCaption, gui, ButtonRow{&Form::saveButton}},
        {"通用对话框1", window, {}, 0, -1, nullptr, gui, CommonDlgRow{&Form::fontDialog}},
        {"拖放对象1", window, {}, 0, -1, nullptr, gui, DropTargetRow{&Form::dropTarget}},
    };
    return d;
}

} // namespace

const WindowDefinition& DefaultWindowDefinition()
{
    static const WindowDefinition definition = BuildDefaultDefinition();
    return definition;
}

QPoint CentredPosition(QSize screen, QSize outer)
{
    // C++ integer division truncates toward zero, as the placement rule asks.
    return QPoint((screen.width() - outer.width()) / 2, (screen.height() - outer.height()) / 2);
}

} // namespace mugrove
