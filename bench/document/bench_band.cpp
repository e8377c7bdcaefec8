// The caption band: one character typed into its caption (the band laid
// out anew, the picture and captions moved, what changed repainted), and a
// 200-frame animated GIF saved with the band next to the same GIF saved
// without it.
#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/model/Button.h"
#include "app/model/EditBox.h"
#include "app/model/LogFont.h"
#include "app/model/MainWindow.h"
#include "app/program/EventTable.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "output/GifEncoder.h"
#include "output/SaveToDesktop.h"
#include "overlay/CaptionBand.h"
#include "tests/support/HandTimer.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <thread>
#include <vector>

using namespace mugrove;

namespace {

double Percentile(std::vector<double>& values, double q)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    return values[std::size_t(q * double(values.size() - 1))];
}

double ProcessCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// A film of `frames` frames: a gradient with a square moving over it.
QByteArray MakeFilm(int width, int height, int frames)
{
    QByteArray file;
    GifEncoder encoder;
    encoder.Begin(width, height, 0, [&file](std::span<const std::uint8_t> b) {
        file.append(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
        return true;
    });
    QImage frame(width, height, QImage::Format_RGB32);
    for (int i = 0; i < frames; ++i) {
        QPainter painter(&frame);
        QLinearGradient gradient(0, 0, width, height);
        gradient.setColorAt(0, QColor(30, 60, 120));
        gradient.setColorAt(1, QColor(200, 170, 90));
        painter.fillRect(frame.rect(), gradient);
        painter.fillRect(QRect((i * 7) % (width - 60), (i * 3) % (height - 60), 60, 60), QColor(230, 80, 40));
        painter.end();
        encoder.AddFrame(frame, 40);
    }
    encoder.Finish();
    return file;
}

struct Window {
    QTemporaryDir home;
    QString desktop = home.filePath(QStringLiteral("Desktop"));
    std::unique_ptr<Form> form;

    Window()
    {
        QDir().mkpath(desktop);
        RegisterFontSubstitutions();
        form = CreateForm(DefaultWindowDefinition());
        SaveEnvironment environment;
        environment.desktopFolder = [this] { return desktop; };
        BindEvents(*form, environment);
        form->window->Created.Raise();
        form->window->show();
        QElapsedTimer waited;
        waited.start();
        while (!form->window->windowHandle()->isExposed() && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QCoreApplication::processEvents();
    }

    // Clicks "保存到桌面" and runs the window until the file is in place;
    // the file's size.
    qint64 Save()
    {
        QMetaObject::invokeMethod(form->saveButton, "click");
        while (form->events->AnimatedSaveRunning()) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
            QApplication::processEvents();
        }
        form->events->WaitForRecords();
        qint64 size = 0;
        for (const QString& name : QDir(desktop).entryList(QDir::Files)) {
            size += QFileInfo(QDir(desktop).filePath(name)).size();
            QFile::remove(QDir(desktop).filePath(name));
        }
        return size;
    }
};

// A key typed into the edit box as the keyboard sends it.
void Type(QWidget* editor, Qt::Key key, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(editor, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(editor, &release);
}

// One character typed into, or taken out of, the band's caption over a
// 379-pixel-wide picture (the frame's width), the text growing from one
// line to three and back.
void BandTypedCharacter(benchmark::State& state)
{
    Window w;
    Form& form = *w.form;
    QImage picture(379, 284, QImage::Format_RGB32);
    picture.fill(QColor(90, 120, 150));
    // A BMP, which the box decodes itself, as it does a template.
    QByteArray bmp;
    {
        QBuffer buffer(&bmp);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "BMP");
    }
    form.workArea->SetPicture(PictureBytes(bmp.begin(), bmp.end()));
    form.workArea->SetWidth(379);
    form.workArea->SetHeight(284);
    if (AddBand(form) == nullptr) {
        state.SkipWithError("no band");
        return;
    }
    QWidget* editor = form.captionBox->focusProxy();
    QApplication::setActiveWindow(form.window.get());
    editor->setFocus();
    const QString words = QStringLiteral("when the code works on the first try and nobody knows why ");
    std::vector<double> micros, cpuMicros;
    int typed = 0;
    bool growing = true;
    for (auto _ : state) {
        const double cpuStart = ThreadCpuMs();
        const auto start = std::chrono::steady_clock::now();
        if (growing)
            Type(editor, Qt::Key_A, words.mid(typed % words.size(), 1));
        else
            Type(editor, Qt::Key_Backspace, QString());
        const auto end = std::chrono::steady_clock::now();
        cpuMicros.push_back((ThreadCpuMs() - cpuStart) * 1e3);
        typed += growing ? 1 : -1;
        if (typed >= 2 * int(words.size()))
            growing = false;
        else if (typed <= 0)
            growing = true;
        const double seconds = std::chrono::duration<double>(end - start).count();
        state.SetIterationTime(seconds);
        micros.push_back(seconds * 1e6);
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["band_rows"] = form.workArea->Band();
    state.counters["p50_cpu_us"] = Percentile(cpuMicros, 0.50);
    state.counters["p95_cpu_us"] = Percentile(cpuMicros, 0.95);
    state.counters["p50_us"] = Percentile(micros, 0.50);
    state.counters["p95_us"] = Percentile(micros, 0.95);
    state.counters["max_us"] = Percentile(micros, 1.0);
}

// A 400 x 300, 200-frame GIF saved as the window shows it: without the
// band (0), with a band of one line (1) and of three (3).
void BandGifSave(benchmark::State& state)
{
    Window w;
    Form& form = *w.form;
    auto* timer = new HandTimer;
    form.workArea->SetFrameTimer(std::unique_ptr<FrameTimer>(timer));
    static const QByteArray film = MakeFilm(400, 300, 200);
    form.workArea->SetPicture(PictureBytes(film.begin(), film.end()));
    form.workArea->SetWidth(400);
    form.workArea->SetHeight(300);
    TransLabel& caption = *form.captionOverlay;
    caption.SetCaption(QStringLiteral("我就静静地看着你 Just watching"));
    caption.SetTextColour(0x00FFFFFF);
    caption.SetFontSize(16);
    caption.SetWidth(380);
    caption.SetLeft(form.workArea->Left() + 10);
    caption.SetTop(form.workArea->Top() + 240);
    if (state.range(0) != 0) {
        if (AddBand(form) == nullptr) {
            state.SkipWithError("no band");
            return;
        }
        // One line, or three.
        form.bandCaption->SetCaption(state.range(0) == 1 ? QStringLiteral("Me on Monday")
                                                          : QStringLiteral("When the build is green on the first try"));
    }
    QCoreApplication::processEvents();
    qint64 size = 0;
    double cpu = 0;
    for (auto _ : state) {
        const double before = ProcessCpuMs();
        size = w.Save();
        cpu = ProcessCpuMs() - before;
    }
    state.counters["height"] = form.workArea->Height();
    state.counters["bytes"] = double(size);
    // All threads' processor time: what a busy machine's scheduler does not inflate.
    state.counters["process_cpu_ms"] = cpu;
}

} // namespace

BENCHMARK(BandTypedCharacter)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(400);
BENCHMARK(BandGifSave)->Arg(0)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
