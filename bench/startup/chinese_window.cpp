// The yardstick for start-up with Mugrove's own texts: a plain Qt Widgets
// window with stock widgets at the same places, showing the same Chinese
// texts (the template labels included) in the same faces, and nothing else:
// no pictures, no program logic. Reports like Mugrove after its first paint.
#include "app/WindowDefinition.h"
#include "app/model/LogFont.h"
#include "templates/Catalog.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <cstdio>
#include <map>
#include <string>

using namespace mugrove;

namespace {

long ResidentKib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    return -1;
}

class Window : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override
    {
        if (reported_)
            return;
        reported_ = true;
        QTimer::singleShot(0, qApp, [] {
            std::printf("first-paint rss-kib=%ld\n", ResidentKib());
            std::fflush(stdout);
            QApplication::quit();
        });
    }

private:
    bool reported_ = false;
};

// The GUI face Mugrove leads with on this machine, set the same way.
void SameGuiFont()
{
    const QString chinese = QStringLiteral("Noto Sans CJK SC");
    if (!QFontDatabase::hasFamily(chinese))
        return;
    QFont font = QApplication::font();
    QStringList families = font.families();
    if (families.isEmpty())
        families << font.family();
    families.prepend(chinese);
    font.setFamilies(families);
    font.setStyleStrategy(QFont::NoFontMerging);
    QApplication::setFont(font);
}

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
    SameGuiFont();
    const WindowDefinition& definition = DefaultWindowDefinition();
    Window window;
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
