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

#include <QApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>

#include <algorithm>
#include <type_traits>
#include <utility>

namespace mugrove {

Form::Form() = default;
Form::~Form() = default;

namespace {

// The font of a control whose text is fixed: when its face is installed it
// has every glyph the text needs, so no other faces are searched.
QFont FixedTextFont(const LogFont& stored)
{
    QFont font = ToQFont(stored);
    if (QFontDatabase::hasFamily(font.families().value(0)))
        font.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::NoFontMerging));
    return font;
}

// One kind each: creates the control of a row and gives it the row's text
// and kind settings.
GroupBox* Make(const GroupBoxRow& row, const QString& text, QWidget* parent)
{
    auto* box = new GroupBox(parent);
    box->SetCaption(text);
    box->SetColours(row.textColour, row.background);
    return box;
}

PicBox* Make(const PicBoxRow&, const QString&, QWidget* parent)
{
    return new PicBox(parent);
}

Label* Make(const LabelRow& row, const QString& text, QWidget* parent)
{
    auto* label = new Label(parent);
    label->SetCaption(text);
    label->setWordWrap(row.wordWrap);
    SetFixedColours(*label, row.textColour, row.background);
    return label;
}

Button* Make(const ButtonRow&, const QString& text, QWidget* parent)
{
    auto* button = new Button(parent);
    button->SetCaption(text);
    return button;
}

EditBox* Make(const EditBoxRow& row, const QString& text, QWidget* parent)
{
    auto* box = new EditBox(row.lines, parent);
    box->SetContent(text);
    return box;
}

CheckBox* Make(const CheckBoxRow& row, const QString& text, QWidget* parent)
{
    auto* box = new CheckBox(parent);
    box->setText(text);
    box->SetChecked(row.checked ? 1 : 0);
    SetFixedColours(*box, row.textColour, row.background);
    return box;
}

ListBox* Make(const ListBoxRow& row, const QString&, QWidget* parent)
{
    auto* list = new ListBox(parent);
    list->SetItems(row.items());
    list->setFrameStyle(QFrame::Box | QFrame::Plain); // a single-line border
    list->setLineWidth(1);
    SetFixedColours(*list, row.textColour, row.background);
    return list;
}

SliderBar* Make(const SliderBarRow& row, const QString&, QWidget* parent)
{
    auto* slider = new SliderBar(row.orientation, parent);
    slider->setRange(row.minimum, row.maximum);
    slider->setSingleStep(row.lineStep);
    slider->setPageStep(row.pageStep);
    slider->setTickInterval(row.tickInterval);
    slider->setTickPosition(row.ticks);
    slider->SetPosition(row.position);
    return slider;
}

ColorPicker* Make(const ColorPickerRow& row, const QString&, QWidget* parent)
{
    auto* picker = new ColorPicker(parent);
    picker->SetCurrentColour(row.settings.currentColour);
    picker->SetAllowTransparent(row.settings.allowTransparent);
    return picker;
}

CommonDlg* Make(const CommonDlgRow&, const QString&, QWidget* parent)
{
    return new CommonDlg(parent);
}

DropTarget* Make(const DropTargetRow&, const QString&, QWidget* parent)
{
    return new DropTarget(parent);
}

// The label keeps its font as the stored description and draws with it per paint.
TransLabel* Create(const TransLabelRow& row, const QString& text, QWidget* parent,
                   const std::optional<LogFont>& font)
{
    auto* label = new TransLabel(parent);
    label->SetTextEffect(int(row.effect));
    label->SetTextColour(row.textColour);
    label->SetHorizontalAlignment(int(row.horizontal));
    label->SetVerticalAlignment(int(row.vertical));
    label->SetWordWrap(row.wordWrap);
    label->SetLogFont(font);
    label->SetCaption(text);
    return label;
}

// Every other kind takes a stored font as its Qt font.
template <typename Row>
auto* Create(const Row& row, const QString& text, QWidget* parent, const std::optional<LogFont>& font)
{
    auto* control = Make(row, text, parent);
    // What the user types may hold any script and emoji; only fixed texts
    // keep to their one face.
    if constexpr (std::is_same_v<decltype(control), EditBox*>)
        control->setFont(font ? ToQFont(*font) : WithGlyphFallback(QApplication::font()));
    else if constexpr (std::is_base_of_v<QWidget, std::remove_pointer_t<decltype(control)>>)
        if (font)
            control->setFont(FixedTextFont(*font));
    return control;
}

bool HasEveryRole(const Form& f)
{
    const QObject* roles[] = {
        f.pictureGroup, f.workArea, f.captionOverlay, f.widthLabel, f.heightLabel,
        f.zoomInButton, f.zoomOutButton, f.textGroup, f.captionBox, f.fontButton,
        f.colourPicker, f.boldBox, f.fontSizeLabel, f.fontSizeSlider, f.propertyGroup,
        f.templateList, f.textWidthLabel, f.widthBox, f.widthSlider, f.textHeightLabel,
        f.heightBox, f.heightSlider, f.copyButton, f.saveButton, f.fontDialog, f.dropTarget};
    return std::ranges::none_of(roles, [](const QObject* o) { return o == nullptr; });
}

struct Placed {
    QWidget* widget;
    int stackRank;
    int tabOrder;
};

// Raises the siblings from the bottom up, so rank 0 ends on top; each raise
// only reorders the widget among its own siblings.
void ApplyStacking(std::vector<Placed> placed)
{
    std::ranges::stable_sort(placed, std::ranges::greater{}, &Placed::stackRank);
    for (const Placed& p : placed)
        p.widget->raise();
}

void ApplyTabOrder(std::vector<Placed> placed)
{
    std::erase_if(placed, [](const Placed& p) { return p.tabOrder <= 0; });
    std::ranges::stable_sort(placed, std::ranges::less{}, &Placed::tabOrder);
    for (std::size_t i = 1; i < placed.size(); ++i)
        QWidget::setTabOrder(placed[i - 1].widget, placed[i].widget);
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

    std::vector<Placed> placed;
    for (const ControlDefinition& def : definition.controls) {
        QWidget* parent = def.parent ? static_cast<QWidget*>((*form).*def.parent) : &window;
        if (!def.name || !parent)
            return nullptr; // a parent that does not exist (yet)
        const QString text = def.text ? QString::fromUtf8(def.text) : QString();
        const bool made = std::visit(
            [&](const auto& kind) {
                auto*& slot = (*form).*kind.role;
                if (slot)
                    return false; // a role filled twice
                slot = Create(kind, text, parent, def.font);
                slot->setObjectName(QString::fromUtf8(def.name));
                if constexpr (std::is_base_of_v<QWidget, std::remove_pointer_t<
                                                             std::remove_reference_t<decltype(slot)>>>) {
                    slot->setGeometry(def.geometry);
                    slot->setFocusPolicy(def.tabOrder > 0 ? Qt::StrongFocus : Qt::NoFocus);
                    placed.push_back({slot, def.stackRank, def.tabOrder});
                }
                return true;
            },
            def.kind);
        if (!made)
            return nullptr;
    }
    if (!HasEveryRole(*form))
        return nullptr;
    ApplyStacking(placed);
    ApplyTabOrder(placed);
    form->captions = {form->captionOverlay};
    form->currentCaption = form->captionOverlay;

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.move(CentredPosition(screen->geometry().size(), definition.outerSize));
    return form;
}

} // namespace mugrove
