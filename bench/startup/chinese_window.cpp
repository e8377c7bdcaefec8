// The yardstick for start-up with Mugrove's own texts: a plain Qt Widgets
// window with stock widgets at the same places, showing the same Chinese
// texts (the template labels included) in the same faces, and nothing else:
// no pictures, no program logic. Reports like Mugrove after its first paint.
#include "FirstPaintWindow.h"
#include "app/WindowDefinition.h"
#include "app/model/LogFont.h"
#include "templates/Catalog.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>

#include <utility>
#include <variant>
#include <vector>

using namespace mugrove;

namespace {

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

QWidget* StockWidget(const ControlDefinition& c, QWidget* parent)
{
    const QString text = c.text ? QString::fromUtf8(c.text) : QString();
    return std::visit(
        Overloaded{
            [&](const GroupBoxRow&) -> QWidget* { return new QGroupBox(text, parent); },
            [&](const LabelRow&) -> QWidget* { return new QLabel(text, parent); },
            [&](const TransLabelRow&) -> QWidget* { return new QLabel(text, parent); },
            [&](const ButtonRow&) -> QWidget* { return new QPushButton(text, parent); },
            [&](const EditBoxRow&) -> QWidget* { return new QPlainTextEdit(text, parent); },
            [&](const CheckBoxRow&) -> QWidget* { return new QCheckBox(text, parent); },
            [&](const SliderBarRow&) -> QWidget* { return new QSlider(parent); },
            [&](const ListBoxRow&) -> QWidget* {
                auto* list = new QListWidget(parent);
                for (int i = 0; i < TemplateCatalog::Count(); ++i)
                    list->addItem(QString::fromUtf8(TemplateCatalog::Find(i)->label));
                return list;
            },
            // Drawn by Mugrove itself, or not shown.
            [](const auto&) -> QWidget* { return nullptr; },
        },
        c.kind);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    RegisterFontSubstitutions();
    UseDefaultGuiFont();
    const WindowDefinition& definition = DefaultWindowDefinition();
    first_paint::Window window;
    window.resize(definition.clientSize);
    std::vector<std::pair<GroupBox* Form::*, QWidget*>> groups;
    for (const ControlDefinition& c : definition.controls) {
        QWidget* parent = &window;
        for (const auto& [role, widget] : groups)
            if (role == c.parent)
                parent = widget;
        QWidget* widget = StockWidget(c, parent);
        if (!widget)
            continue;
        if (const auto* group = std::get_if<GroupBoxRow>(&c.kind))
            groups.emplace_back(group->role, widget);
        widget->setGeometry(c.geometry);
        if (c.font)
            widget->setFont(ToQFont(*c.font));
    }
    window.show();
    return QApplication::exec();
}
