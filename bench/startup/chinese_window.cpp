// The yardstick for start-up with Mugrove's own texts: a plain Qt Widgets
// window with stock widgets at the same places, showing the same Chinese
// texts (the template labels included) in the same faces, and nothing else:
// no pictures, no program logic. Reports like Mugrove after its first paint.
#include "FirstPaintWindow.h"
#include "app/WindowDefinition.h"
#include "app/program/Startup.h"
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

#include <map>
#include <string>

using namespace mugrove;

namespace {

QWidget* StockWidget(const ControlDefinition& c, QWidget* parent)
{
    const QString text = c.text ? QString::fromUtf8(c.text) : QString();
    switch (c.kind) {
    case ControlKind::GroupBox: return new QGroupBox(text, parent);
    case ControlKind::Label:
    case ControlKind::TransLabel: return new QLabel(text, parent);
    case ControlKind::Button: return new QPushButton(text, parent);
    case ControlKind::EditBox: return new QPlainTextEdit(text, parent);
    case ControlKind::CheckBox: return new QCheckBox(text, parent);
    case ControlKind::SliderBar: return new QSlider(parent);
    case ControlKind::ListBox: {
        auto* list = new QListWidget(parent);
        for (int i = 0; i < TemplateCatalog::Count(); ++i)
            list->addItem(QString::fromUtf8(TemplateCatalog::Find(i)->label));
        return list;
    }
    default: return nullptr; // drawn by Mugrove itself, or not shown
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    RegisterFontSubstitutions();
    UseChineseGuiFont();
    const WindowDefinition& definition = DefaultWindowDefinition();
    first_paint::Window window;
    window.resize(definition.clientSize);
    std::map<std::string, QWidget*> byName;
    for (const ControlDefinition& c : definition.controls) {
        QWidget* parent = c.parent ? byName.at(c.parent) : &window;
        QWidget* widget = StockWidget(c, parent);
        if (!widget)
            continue;
        byName[c.name] = widget;
        widget->setGeometry(c.left, c.top, c.width, c.height);
        if (c.font)
            widget->setFont(ToQFont(*c.font));
    }
    window.show();
    return QApplication::exec();
}
