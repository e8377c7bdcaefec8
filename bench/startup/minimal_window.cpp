// The yardstick for start-up: the smallest Qt Widgets program that shows a
// window with one push button, reporting like Mugrove does after its first paint.
#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

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

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Window window;
    window.resize(636, 450);
    auto* button = new QPushButton(QStringLiteral("OK"), &window);
    button->move(10, 10);
    window.show();
    return QApplication::exec();
}
