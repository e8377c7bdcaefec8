#include "app/WindowDefinition.h"

namespace mugrove {

namespace {

using K = ControlKind;

WindowDefinition BuildDefaultDefinition()
{
    const LogFont song = SongTi16();
    const LogFont yahei = YaHeiBold16();
    WindowDefinition d;
    d.caption = "Mugrove";
    d.outerSize = QSize(642, 479);
    d.clientSize = QSize(636, 450);
    d.controls = {
        {"分组框3", K::GroupBox, nullptr, 0, 3, 392, 400, false,
         "可直接拖入照片到此处，可缩放；文字显示需在图片范围内。", std::nullopt},
        {"图片框1", K::PicBox, nullptr, 5, 16, 379, 384, false, nullptr, std::nullopt},
        {"透明标签1", K::TransLabel, nullptr, 32, 216, 168, 24, false, "这里显示文字,可拖动", yahei},
        {"标签1", K::Label, nullptr, 10, 403, 99, 24, false, "图片宽度：", std::nullopt},
        {"标签4", K::Label, nullptr, 10, 427, 100, 24, false, "图片高度：", std::nullopt},
        {"按钮4", K::Button, nullptr, 122, 408, 127, 40, true, "放大+", song},
        {"按钮5", K::Button, nullptr, 256, 408, 127, 40, true, "缩小-", song},
        {"分组框1", K::GroupBox, nullptr, 394, 3, 241, 125, false, "修改文字在此", std::nullopt},
        {"编辑框1", K::EditBox, nullptr, 406, 21, 170, 67, true, "这里修改文字,可拖动", std::nullopt},
        {"按钮2", K::Button, nullptr, 407, 92, 65, 29, true, "字体修改", std::nullopt},
        {"颜色选择器1", K::ColorPicker, nullptr, 476, 92, 47, 28, true, nullptr, std::nullopt},
        {"选择框1", K::CheckBox, "分组框1", 134, 93, 48, 24, true, "粗体", std::nullopt},
        {"标签5", K::Label, "分组框1", 192, 18, 16, 96, false,
         "↑\r\n\r\n字\r\n体\r\n大\r\n小\r\n\r\n↓", std::nullopt},
        {"滑块条3", K::SliderBar, "分组框1", 209, 8, 24, 115, true, nullptr, std::nullopt},
        {"分组框2", K::GroupBox, nullptr, 395, 128, 240, 319, false, "属性修改", std::nullopt},
        {"列表框1", K::ListBox, nullptr, 404, 144, 220, 168, true, nullptr, std::nullopt},
        {"标签2", K::Label, nullptr, 408, 324, 48, 32, false, "文字宽度", std::nullopt},
        {"编辑框2", K::EditBox, nullptr, 457, 324, 32, 32, true, "192", std::nullopt},
        {"滑块条1", K::SliderBar, nullptr, 482, 328, 143, 24, true, nullptr, std::nullopt},
        {"标签3", K::Label, nullptr, 408, 361, 48, 32, false, "文字高度", std::nullopt},
        {"编辑框3", K::EditBox, nullptr, 457, 362, 32, 32, true, "40", std::nullopt},
        {"滑块条2", K::SliderBar, nullptr, 482, 362, 143, 24, true, nullptr, std::nullopt},
        {"按钮1", K::Button, nullptr, 404, 396, 106, 43, true, "复制图片", std::nullopt},
        {"按钮3", K::Button, nullptr, 515, 396, 106, 43, true, "保存到桌面", std::nullopt},
        {"通用对话框1", K::CommonDlg, nullptr, 0, 0, 0, 0, false, nullptr, std::nullopt},
        {"拖放对象1", K::DropTarget, nullptr, 0, 0, 0, 0, false, nullptr, std::nullopt},
    };
    d.stacking = {"标签1", "标签4", "按钮4", "按钮5", "透明标签1", "编辑框3", "编辑框2",
                  "按钮3", "滑块条2", "滑块条1", "颜色选择器1", "标签3", "标签2", "按钮2",
                  "编辑框1", "列表框1", "按钮1", "图片框1", "分组框1", "分组框2", "分组框3"};
    d.textGroupStacking = {"选择框1", "标签5", "滑块条3"};
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
