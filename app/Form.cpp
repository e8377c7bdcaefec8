#include "app/Form.h"

#include "app/WindowDefinition.h"
#include "app/model/Button.h"
#include "app/model/CheckBox.h"
#include "app/model/Colour.h"
#include "app/model/CommonDlg.h"
#include "app/model/DropTarget.h"
#include "app/model/EditBox.h"
#include "app/model/GroupBox.h"
#include "app/model/Label.h"
#include "app/model/ListBox.h"
#include "app/model/MainWindow.h"
#include "app/model/SliderBar.h"
#include "controls/ColorPicker.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "templates/Catalog.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>

#include <map>
#include <string>

namespace mugrove {

Form::Form() = default;
Form::~Form() = default;

namespace {

// Creates the object of one definition row; null for an unknown kind.
QObject* CreateControl(const ControlDefinition& def, QWidget* parent)
{
    const std::string name = def.name;
    switch (def.kind) {
    case ControlKind::GroupBox: return new GroupBox(parent);
    case ControlKind::PicBox: return new PicBox(parent);
    case ControlKind::TransLabel: return new TransLabel(parent);
    case ControlKind::Label: return new Label(parent);
    case ControlKind::Button: return new Button(parent);
    case ControlKind::EditBox:
        return new EditBox(name == "编辑框1" ? EditBox::Lines::Multi : EditBox::Lines::Single, parent);
    case ControlKind::CheckBox: return new CheckBox(parent);
    case ControlKind::ListBox: return new ListBox(parent);
    case ControlKind::SliderBar:
        return new SliderBar(name == "滑块条3" ? Qt::Vertical : Qt::Horizontal, parent);
    case ControlKind::ColorPicker: return new ColorPicker(parent);
    case ControlKind::CommonDlg: return new CommonDlg(parent);
    case ControlKind::DropTarget: return new DropTarget(parent);
    }
    return nullptr;
}

void ApplyText(QObject* object, const QString& text)
{
    if (auto* g = qobject_cast<GroupBox*>(object)) g->SetCaption(text);
    else if (auto* t = qobject_cast<TransLabel*>(object)) t->SetCaption(text);
    else if (auto* l = qobject_cast<Label*>(object)) l->SetCaption(text);
    else if (auto* b = qobject_cast<Button*>(object)) b->SetCaption(text);
    else if (auto* e = qobject_cast<EditBox*>(object)) e->SetContent(text);
    else if (auto* c = qobject_cast<CheckBox*>(object)) c->setText(text);
}

// The font of a control whose text is fixed: when its face is installed it
// has every glyph the text needs, so no other faces are searched.
QFont FixedTextFont(const LogFont& stored)
{
    QFont font = ToQFont(stored);
    if (QFontDatabase::hasFamily(font.families().value(0)))
        font.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::NoFontMerging));
    return font;
}

void ApplyCommonSettings(const ControlDefinition& def, QObject* object)
{
    object->setObjectName(QString::fromUtf8(def.name));
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget)
        return;
    widget->setGeometry(def.left, def.top, def.width, def.height);
    widget->setFocusPolicy(def.tabStop ? Qt::StrongFocus : Qt::NoFocus);
    if (def.text)
        ApplyText(object, QString::fromUtf8(def.text));
    if (def.font) {
        if (auto* label = qobject_cast<TransLabel*>(object))
            label->SetLogFont(def.font);
        else
            widget->setFont(FixedTextFont(*def.font));
    }
}

void SetUpSlider(SliderBar& slider, int minimum, int maximum, int position)
{
    slider.setRange(minimum, maximum);
    slider.setSingleStep(1);
    slider.setPageStep(5);
    slider.setTickInterval(1);
    slider.setTickPosition(QSlider::TicksBelow); // right of a vertical slider
    slider.SetPosition(position);
}

// The settings that only some kinds have, as they are at creation.
void ApplyKindSettings(Form& f)
{
    f.pictureGroup->SetBackgroundColour(0x00C0C0C0u);

    f.captionOverlay->SetTextColour(0x00000000u);
    f.captionOverlay->SetHorizontalAlignment(1);
    f.captionOverlay->SetVerticalAlignment(1);
    f.captionOverlay->SetWordWrap(true);
    f.captionOverlay->SetTextEffect(0);

    f.fontSizeLabel->setWordWrap(true);
    f.fontSizeLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    SetUpSlider(*f.widthSlider, 1, 500, 1);
    SetUpSlider(*f.heightSlider, 1, 500, 1);
    SetUpSlider(*f.fontSizeSlider, 5, 100, 100);

    f.boldBox->SetChecked(0);

    QStringList items;
    for (int i = 0; i < TemplateCatalog::Count(); ++i)
        items << QString::fromUtf8(TemplateCatalog::Find(i)->label);
    f.templateList->SetItems(items);
    f.templateList->setFrameStyle(QFrame::Box | QFrame::Plain);
    f.templateList->setLineWidth(1);

    f.colourPicker->SetCurrentColour(0x00000000u);
}

template <typename T>
bool Find(const MainWindow& window, const char* name, T*& out)
{
    out = window.findChild<T*>(QString::fromUtf8(name));
    return out != nullptr;
}

bool FindRoles(Form& f)
{
    const MainWindow& w = *f.window;
    return Find(w, "分组框3", f.pictureGroup) && Find(w, "图片框1", f.workArea)
        && Find(w, "透明标签1", f.captionOverlay) && Find(w, "标签1", f.widthLabel)
        && Find(w, "标签4", f.heightLabel) && Find(w, "按钮4", f.zoomInButton)
        && Find(w, "按钮5", f.zoomOutButton) && Find(w, "分组框1", f.textGroup)
        && Find(w, "编辑框1", f.captionBox) && Find(w, "按钮2", f.fontButton)
        && Find(w, "颜色选择器1", f.colourPicker) && Find(w, "选择框1", f.boldBox)
        && Find(w, "标签5", f.fontSizeLabel) && Find(w, "滑块条3", f.fontSizeSlider)
        && Find(w, "分组框2", f.propertyGroup) && Find(w, "列表框1", f.templateList)
        && Find(w, "标签2", f.textWidthLabel) && Find(w, "编辑框2", f.widthBox)
        && Find(w, "滑块条1", f.widthSlider) && Find(w, "标签3", f.textHeightLabel)
        && Find(w, "编辑框3", f.heightBox) && Find(w, "滑块条2", f.heightSlider)
        && Find(w, "按钮1", f.copyButton) && Find(w, "按钮3", f.saveButton)
        && Find(w, "通用对话框1", f.fontDialog) && Find(w, "拖放对象1", f.dropTarget);
}

// Raises the named siblings from the bottom up, so the first ends on top.
bool ApplyStacking(const std::map<std::string, QObject*>& byName,
                   const std::vector<const char*>& topFirst)
{
    for (auto it = topFirst.rbegin(); it != topFirst.rend(); ++it) {
        const auto found = byName.find(*it);
        auto* widget = found == byName.end() ? nullptr : qobject_cast<QWidget*>(found->second);
        if (!widget)
            return false;
        widget->raise();
    }
    return true;
}

// Focus moves in reading order: caption text and style, then the list and
// the size boxes, then the output and zoom buttons.
void ApplyTabOrder(Form& f)
{
    QWidget* order[] = {f.captionBox, f.fontButton, f.colourPicker, f.boldBox,
                        f.fontSizeSlider, f.templateList, f.widthBox, f.widthSlider,
                        f.heightBox, f.heightSlider, f.copyButton, f.saveButton,
                        f.zoomInButton, f.zoomOutButton};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

} // namespace

std::unique_ptr<Form> CreateForm(const WindowDefinition& definition)
{
    auto form = std::make_unique<Form>();
    form->window = std::make_unique<MainWindow>();
    MainWindow& window = *form->window;
    window.setObjectName(QStringLiteral("MainWindow"));
    window.setWindowTitle(QString::fromUtf8(definition.caption));
    // A fixed dialog-style frame: title, system menu, minimise and close, no maximise.
    window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                          | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    window.setFixedSize(definition.clientSize);
    window.setWindowIcon(QIcon(QStringLiteral(":/mugrove/icon-50x48.png")));
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, ButtonFaceColour());
    window.setPalette(palette);

    std::map<std::string, QObject*> byName;
    for (const ControlDefinition& def : definition.controls) {
        if (!def.name || byName.count(def.name))
            return nullptr;
        QWidget* parent = &window;
        if (def.parent) {
            const auto found = byName.find(def.parent);
            parent = found == byName.end() ? nullptr : qobject_cast<QWidget*>(found->second);
            if (!parent)
                return nullptr;
        }
        QObject* object = CreateControl(def, parent);
        if (!object)
            return nullptr;
        ApplyCommonSettings(def, object);
        byName.emplace(def.name, object);
    }
    if (!FindRoles(*form))
        return nullptr;
    ApplyKindSettings(*form);
    if (!ApplyStacking(byName, definition.stacking)
        || !ApplyStacking(byName, definition.textGroupStacking))
        return nullptr;
    ApplyTabOrder(*form);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.move(CentredPosition(screen->geometry().size(), definition.outerSize));
    return form;
}

} // namespace mugrove
