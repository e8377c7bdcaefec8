#include "tests/e2e/Desktop.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>

namespace mugrove::e2e {

namespace {

// Polls `done` every 20 ms until it holds or the time is up.
template <typename F>
bool PollUntil(F done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (done())
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
}

} // namespace

Desktop::Desktop() = default;

Desktop::~Desktop()
{
    StopApp();
    if (x_)
        XCloseDisplay(x_);
    for (QProcess* server : {weston_.get(), xvfb_.get()}) {
        if (!server || server->state() == QProcess::NotRunning)
            continue;
        server->terminate();
        if (!server->waitForFinished(3000)) {
            server->kill();
            server->waitForFinished(3000);
        }
    }
}

QString Desktop::Home() const { return dir_.filePath("home"); }

QString Desktop::DesktopFolder() const { return dir_.filePath(QStringLiteral("home/桌面")); }

QString Desktop::TempPath(const QString& name) const { return dir_.filePath(name); }

QString Desktop::Start()
{
    if (!dir_.isValid())
        return "cannot make a temporary folder";
    QDir root(dir_.path());
    for (const char* sub : {"home", "config", "data", "cache", "runtime", "files"})
        root.mkpath(sub);
    QFile::setPermissions(dir_.filePath("runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // A desktop folder with a Chinese name that does not exist yet: saving
    // must create it and cope with the name.
    QFile dirs(dir_.filePath("config/user-dirs.dirs"));
    if (!dirs.open(QIODevice::WriteOnly))
        return "cannot write user-dirs.dirs";
    dirs.write("XDG_DESKTOP_DIR=\"$HOME/\xE6\xA1\x8C\xE9\x9D\xA2\"\n");
    dirs.close();

    xvfb_ = std::make_unique<QProcess>();
    xvfb_->setProgram("Xvfb");
    // -displayfd 1: Xvfb picks a free display and writes its number to us.
    xvfb_->setArguments({"-displayfd", "1", "-screen", "0",
                         QString("%1x%2x24").arg(kScreenWidth).arg(kScreenHeight),
                         "-nolisten", "tcp", "-noreset"});
    xvfb_->setProcessChannelMode(QProcess::SeparateChannels);
    xvfb_->start();
    if (!xvfb_->waitForStarted(5000))
        return "cannot start Xvfb (install it with scripts/setup.sh)";
    QByteArray number;
    QDeadlineTimer deadline(15000);
    while (!number.contains('\n') && !deadline.hasExpired()) {
        xvfb_->waitForReadyRead(200);
        number += xvfb_->readAllStandardOutput();
        if (xvfb_->state() == QProcess::NotRunning)
            return "Xvfb ended: " + QString::fromLocal8Bit(xvfb_->readAllStandardError());
    }
    if (!number.contains('\n'))
        return "Xvfb did not report its display";
    display_ = ":" + QString::fromLatin1(number.trimmed());
    x_ = XOpenDisplay(display_.toLatin1().constData());
    if (!x_)
        return "cannot connect to " + display_;
    for (const char* tool : {"xdotool", "xclip"}) {
        if (!Run(tool, {"-version"}, 5000).ok && !Run(tool, {"version"}, 5000).ok)
            return QString("%1 is missing (install it with scripts/setup.sh)").arg(tool);
    }
    return {};
}

QString Desktop::StartWayland()
{
    const QString socket = QStringLiteral("wayland-e2e");
    weston_ = std::make_unique<QProcess>();
    weston_->setProcessEnvironment(AppEnvironment());
    weston_->setProcessChannelMode(QProcess::MergedChannels);
    // Its X11 back end draws on our Xvfb (its headless one has no seat, so
    // no clipboard); the kiosk shell shows the one window filling the output.
    weston_->start("weston", {"--backend=x11-backend.so", "--shell=kiosk-shell.so", "--use-pixman",
                              QString("--width=%1").arg(kClientSize.width()),
                              QString("--height=%1").arg(kClientSize.height()),
                              "--socket=" + socket, "--no-config", "--idle-time=0"});
    if (!weston_->waitForStarted(5000))
        return "cannot start weston (install it with scripts/setup.sh)";
    const QString path = dir_.filePath("runtime/" + socket);
    if (!PollUntil([&] { return QFile::exists(path) || weston_->state() == QProcess::NotRunning; }, 15000)
        || weston_->state() == QProcess::NotRunning)
        return "weston did not start: " + QString::fromLocal8Bit(weston_->readAll().right(2000));
    wayland_ = socket;
    return {};
}

QProcessEnvironment Desktop::AppEnvironment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display_);
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("HOME", Home());
    env.insert("XDG_CONFIG_HOME", dir_.filePath("config"));
    env.insert("XDG_DATA_HOME", dir_.filePath("data"));
    env.insert("XDG_CACHE_HOME", dir_.filePath("cache"));
    env.insert("XDG_RUNTIME_DIR", dir_.filePath("runtime"));
    env.insert("LANG", "C.UTF-8");
    env.insert("LC_ALL", "C.UTF-8");
    env.insert("NO_AT_BRIDGE", "1");
    env.remove("QT_IM_MODULE");
    env.remove("XAUTHORITY");
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    // Under the sanitizers, leaks inside system libraries are not ours.
    const QString lsan = env.value("LSAN_OPTIONS");
    env.insert("LSAN_OPTIONS", (lsan.isEmpty() ? QString() : lsan + ":")
                                   + "suppressions=" MUGROVE_E2E_LSAN_SUPPRESSIONS);
    if (!wayland_.isEmpty()) {
        env.insert("WAYLAND_DISPLAY", wayland_);
        env.insert("QT_QPA_PLATFORM", "wayland");
        // The compositor's output is exactly the client area; Qt's own title
        // bar would push the window down.
        env.insert("QT_WAYLAND_DISABLE_WINDOWDECORATION", "1");
        // Qt's Wayland plugin leaves memory to the process's end.
        const QString asan = env.value("ASAN_OPTIONS");
        env.insert("ASAN_OPTIONS", (asan.isEmpty() ? QString() : asan + ":") + "detect_leaks=0");
    }
    return env;
}

ToolResult Desktop::Run(const QString& program, const QStringList& args, int timeoutMs,
                        const QByteArray& input) const
{
    ToolResult result;
    QProcess p;
    p.setProcessEnvironment(AppEnvironment());
    p.start(program, args);
    if (!p.waitForStarted(5000))
        return result;
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(2000);
        result.out = p.readAllStandardOutput();
        result.err = "timed out";
        return result;
    }
    result.exitCode = p.exitCode();
    result.out = p.readAllStandardOutput();
    result.err = p.readAllStandardError();
    result.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return result;
}

unsigned long Desktop::FindWindow() const
{
    // On Wayland the program's window is inside the compositor's (which
    // xdotool does not count as visible).
    const ToolResult found = Run("xdotool", wayland_.isEmpty()
        ? QStringList{"search", "--onlyvisible", "--name", "^Mugrove$"}
        : QStringList{"search", "--class", "^Weston Compositor$"}, 5000);
    if (!found.ok)
        return 0;
    const QList<QByteArray> ids = found.out.trimmed().split('\n');
    return ids.isEmpty() ? 0 : ids.front().toULong();
}

QString Desktop::LaunchApp(const QString& binary)
{
    StopApp();
    app_ = std::make_unique<QProcess>();
    app_->setProcessEnvironment(AppEnvironment());
    app_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    app_->start(binary, {});
    if (!app_->waitForStarted(5000))
        return "cannot start " + binary;
    if (!PollUntil([&] { return AppRunning() && (window_ = FindWindow()) != 0; }, 15000))
        return "the program did not show its window";
    Window child = 0;
    int x = 0, y = 0;
    XTranslateCoordinates(x_, window_, DefaultRootWindow(x_), 0, 0, &x, &y, &child);
    origin_ = QPoint(x, y);
    // Painted when the picture group box shows its grey around the work area.
    if (!PollUntil(
            [&] {
                const QImage shot = Screenshot();
                const QRgb group = shot.pixel(388, 300);
                return group == shot.pixel(388, 100) && group == shot.pixel(3, 300)
                       && group != shot.pixel(200, 200) && qGray(group) > 100
                       && qGray(group) < 230;
            },
            10000))
        return "the window was not painted";
    // The pointer starts over the window's own background, away from every control.
    MoveTo(QPoint(390, 410));
    return {};
}

bool Desktop::AppRunning() const { return app_ && app_->state() == QProcess::Running; }

void Desktop::StopApp()
{
    if (!app_)
        return;
    if (app_->state() != QProcess::NotRunning) {
        app_->terminate();
        if (!app_->waitForFinished(3000)) {
            app_->kill();
            app_->waitForFinished(3000);
        }
    }
    app_.reset();
    window_ = 0;
}

int Desktop::WaitForAppExit(int timeoutMs)
{
    if (!app_)
        return -1000;
    if (app_->state() != QProcess::NotRunning && !app_->waitForFinished(timeoutMs))
        return -1000;
    if (app_->exitStatus() != QProcess::NormalExit)
        return -1000;
    return app_->exitCode();
}

QSize Desktop::ClientSize() const
{
    XWindowAttributes attributes{};
    if (!window_ || !XGetWindowAttributes(x_, window_, &attributes))
        return {};
    return QSize(attributes.width, attributes.height);
}

bool Desktop::MoveTo(QPoint client)
{
    const QPoint p = origin_ + client;
    // No --sync: it waits for a movement that never comes when the pointer
    // is there already. The server handles the fake input in order anyway.
    return Xdotool({"mousemove", QString::number(p.x()), QString::number(p.y())}).ok;
}

bool Desktop::Click(QPoint client)
{
    return MoveTo(client) && Xdotool({"click", "1"}).ok;
}

bool Desktop::Drag(QPoint from, QPoint to)
{
    if (!MoveTo(from) || !Xdotool({"mousedown", "1"}).ok)
        return false;
    const int steps = 8;
    bool ok = true;
    for (int i = 1; i <= steps && ok; ++i)
        ok = MoveTo(from + (to - from) * i / steps);
    return Xdotool({"mouseup", "1"}).ok && ok;
}

bool Desktop::Key(const QStringList& keys, int repeat)
{
    QStringList args{"key", "--delay", "30"};
    if (repeat > 1)
        args << "--repeat" << QString::number(repeat);
    return Xdotool(args + keys).ok;
}

bool Desktop::Type(const QString& text)
{
    return Xdotool({"type", "--delay", "60", text}).ok;
}

QImage Desktop::Screenshot()
{
    XSync(x_, False);
    XImage* shot = XGetImage(x_, DefaultRootWindow(x_), origin_.x(), origin_.y(),
                             static_cast<unsigned>(kClientSize.width()),
                             static_cast<unsigned>(kClientSize.height()), AllPlanes, ZPixmap);
    if (!shot)
        return {};
    QImage image(shot->width, shot->height, QImage::Format_RGB32);
    for (int y = 0; y < shot->height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < shot->width; ++x) {
            const unsigned long p = XGetPixel(shot, x, y);
            line[x] = qRgb(static_cast<int>((p & shot->red_mask) >> 16),
                           static_cast<int>((p & shot->green_mask) >> 8),
                           static_cast<int>(p & shot->blue_mask));
        }
    }
    XDestroyImage(shot);
    return image;
}

QByteArray Desktop::Clipboard(const QString& target) const
{
    const ToolResult r = Run("xclip", {"-selection", "clipboard", "-t", target, "-o"}, 5000);
    return r.ok ? r.out : QByteArray();
}

bool Desktop::SetClipboardText(const QString& text) const
{
    const QByteArray bytes = text.toUtf8();
    // xclip takes the clipboard from a child it leaves running, which may not
    // hold it yet when the command returns.
    return Run("xclip", {"-selection", "clipboard", "-i"}, 5000, bytes).ok
        && PollUntil([&] { return Clipboard("UTF8_STRING") == bytes; }, 10000);
}

QStringList Desktop::ClipboardTargets() const
{
    QStringList targets;
    for (const QByteArray& line : Clipboard("TARGETS").split('\n'))
        if (!line.trimmed().isEmpty())
            targets << QString::fromUtf8(line.trimmed());
    return targets;
}

int Desktop::DropFiles(const QString& helper, QPoint client, const QStringList& files) const
{
    const QPoint p = origin_ + client;
    const ToolResult r =
        Run(helper, QStringList{QString::number(p.x()), QString::number(p.y())} + files, 15000);
    return r.err == "timed out" ? -1 : r.exitCode;
}

bool IsRed(QRgb c) { return qRed(c) > 170 && qGreen(c) < 90 && qBlue(c) < 90; }

bool IsDark(QRgb c) { return qRed(c) + qGreen(c) + qBlue(c) < 200; }

QRect InkBox(const QImage& image, const QRect& area, bool (*pick)(QRgb), int* count)
{
    QRect box;
    int n = 0;
    const QRect inside = area & image.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (pick(image.pixel(x, y))) {
                box |= QRect(x, y, 1, 1);
                ++n;
            }
    if (count)
        *count = n;
    return box;
}

double MeanDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull())
        return -1;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q))
                   + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

} // namespace mugrove::e2e
