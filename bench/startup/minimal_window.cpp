// The yardstick for start-up: the smallest Qt Widgets program that shows a
// window with one push button, reporting like Mugrove does after its first paint.
#include "FirstPaintWindow.h"

#include <QApplication>
#include <QPushButton>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    first_paint::Window window;
    window.resize(636, 450);
    auto* button = new QPushButton(QStringLiteral("OK"), &window);
    button->move(10, 10);
    window.show();
    return QApplication::exec();
}
