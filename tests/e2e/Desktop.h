#pragma once

// A private X desktop for the end-to-end tests: its own Xvfb, its own home
// and XDG folders, the real program started on it, and the person's hands
// (xdotool) and eyes (screen read-back, xclip).

#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

struct _XDisplay;

namespace mugrove::e2e {

// Runs a tool to its end. Standard output comes back; failure to start,
// a time-out or a non-zero exit leaves ok false.
struct ToolResult {
    bool ok = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

class Desktop {
public:
    static constexpr int kScreenWidth = 1024;
    static constexpr int kScreenHeight = 768;
    static constexpr QSize kClientSize{636, 450};

    Desktop();
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    // Starts Xvfb on a free display and makes the private folders. Empty on
    // success, else what went wrong.
    QString Start();

    // Starts a Wayland compositor (weston, showing its one output in an X
    // window of the client area's size at the screen's corner); from then on
    // the program runs natively on it, and the screen read-back sees it there.
    QString StartWayland();

    QString Display() const { return display_; }
    QString Home() const;
    // The desktop folder the program is told about (it does not exist until
    // the program makes it).
    QString DesktopFolder() const;
    QString TempPath(const QString& name) const;

    // Starts the program and waits for its window to be shown and painted.
    QString LaunchApp(const QString& binary);
    // Closes the program if it still runs and forgets it.
    void StopApp();
    // Waits for the program to end by itself: its exit code, or -1000 when
    // it did not end in time or crashed.
    int WaitForAppExit(int timeoutMs);
    bool AppRunning() const;

    // Runs a program on this display with the private environment.
    ToolResult Run(const QString& program, const QStringList& args, int timeoutMs = 10000,
                   const QByteArray& input = {}) const;
    ToolResult Xdotool(const QStringList& args) const { return Run("xdotool", args); }

    // Hands: positions in the window's client area.
    bool Click(QPoint client);
    bool MoveTo(QPoint client);
    bool Drag(QPoint from, QPoint to); // left button, in small steps
    bool Key(const QStringList& keys, int repeat = 1);
    bool Type(const QString& text);

    // Eyes.
    QPoint ClientOrigin() const { return origin_; }
    QSize ClientSize() const;
    QImage Screenshot(); // the client area, as the screen shows it
    QByteArray Clipboard(const QString& target) const;
    QStringList ClipboardTargets() const;
    // Another program (xclip) owns the clipboard with `text` on it; true once
    // the text can be read back from it.
    bool SetClipboardText(const QString& text) const;

    // The drag source helper: drops files at a client position. Its exit
    // code (0 dropped, 2 refused).
    int DropFiles(const QString& helper, QPoint client, const QStringList& files) const;

private:
    QProcessEnvironment AppEnvironment() const;
    unsigned long FindWindow() const;

    QTemporaryDir dir_;
    std::unique_ptr<QProcess> xvfb_;
    std::unique_ptr<QProcess> app_;
    std::unique_ptr<QProcess> weston_;
    QString display_;
    QString wayland_; // the compositor's socket name, when there is one
    _XDisplay* x_ = nullptr;
    unsigned long window_ = 0;
    QPoint origin_;
};

// Pixels of a screenshot or picture that differ from the background.
bool IsRed(QRgb c);
bool IsDark(QRgb c);
// Bounding box of the pixels in `area` that `pick` selects, and how many.
QRect InkBox(const QImage& image, const QRect& area, bool (*pick)(QRgb), int* count = nullptr);
// Mean absolute channel difference of two same-sized images; -1 when sizes differ.
double MeanDifference(const QImage& a, const QImage& b);

} // namespace mugrove::e2e
