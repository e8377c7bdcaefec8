// One drag step: a mouse move while the caption is held, which moves the
// caption (a Left write, then a Top write) and repaints what lies beneath it
// at once, without and with the caption's outline. Also the paste, the save
// and the copy of a huge caption. Reported per step: the mean from the library, p50 and p95 as
// counters (microseconds) from the timed steps themselves, in wall-clock time
// and in the thread's own processor time (which a busy machine's scheduler
// does not inflate).
#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/model/LogFont.h"
#include "app/model/EditBox.h"
#include "app/model/Button.h"
#include "app/model/MainWindow.h"
#include "app/program/EventTable.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "output/SaveToDesktop.h"
#include "output/Snapshot.h"
#include "overlay/Captions.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

using namespace mugrove;

namespace {

double ThreadSeconds()
{
#if defined(CLOCK_THREAD_CPUTIME_ID)
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
#else
    return double(std::clock()) / CLOCKS_PER_SEC; // the process's time where threads have none
#endif
}

double Percentile(std::vector<double>& values, double q)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    return values[std::size_t(q * double(values.size() - 1))];
}

// A 24-bit bottom-up BMP with a colour gradient, standing for a photo.
PictureBytes GradientBmp(int width, int height)
{
    const int stride = (width * 3 + 3) & ~3;
    const std::uint32_t imageSize = std::uint32_t(stride * height);
    PictureBytes b(54 + imageSize, 0);
    auto put16 = [&](std::size_t at, std::uint32_t v) { b[at] = std::uint8_t(v); b[at + 1] = std::uint8_t(v >> 8); };
    auto put32 = [&](std::size_t at, std::uint32_t v) { put16(at, v); put16(at + 2, v >> 16); };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, std::uint32_t(b.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, std::uint32_t(width));
    put32(22, std::uint32_t(height));
    put16(26, 1);
    put16(28, 24);
    put32(34, imageSize);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = b.data() + 54 + std::size_t(y * stride + x * 3);
            p[0] = std::uint8_t(x * 255 / width);
            p[1] = std::uint8_t(y * 255 / height);
            p[2] = std::uint8_t((x + y) * 127 / (width + height));
        }
    return b;
}

// side 0: the start sizes, a 400 x 300 picture stretched into the work
// area; otherwise a side x side picture in a work area of its size, under a
// 95-point caption in a box of the sliders' largest size.
std::unique_ptr<Form> ShownForm(int side, bool outline, SaveEnvironment save = {})
{
    auto form = CreateForm(DefaultWindowDefinition());
    BindEvents(*form, std::move(save));
    form->window->Created.Raise();
    form->workArea->SetPicture(side > 0 ? GradientBmp(side, side) : GradientBmp(400, 300));
    TransLabel& caption = *form->captionOverlay;
    if (side > 0) {
        form->workArea->SetWidth(side);
        form->workArea->SetHeight(side);
        caption.SetFontSize(95);
        caption.SetWidth(500);
        caption.SetHeight(500);
    }
    caption.SetOutline(outline);
    form->window->show();
    QElapsedTimer waited;
    waited.start();
    while (!form->window->windowHandle()->isExposed() && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
    return form;
}

void DragStep(benchmark::State& state)
{
    const auto form = ShownForm(int(state.range(0)), state.range(1) != 0);
    form->caption.drag = DragState{true, 10, 5};
    MainWindow& window = *form->window;
    std::vector<double> micros, cpuMicros;
    micros.reserve(1 << 16);
    cpuMicros.reserve(1 << 16);
    int step = 0;
    for (auto _ : state) {
        // Wander over the picture so that every step moves in both directions.
        const int x = 20 + (step * 7) % 300;
        const int y = 30 + (step * 5) % 320;
        ++step;
        const double cpuStart = ThreadSeconds();
        const auto start = std::chrono::steady_clock::now();
        window.MouseMove.Raise(x, y, 0);
        const auto end = std::chrono::steady_clock::now();
        cpuMicros.push_back((ThreadSeconds() - cpuStart) * 1e6);
        const double seconds = std::chrono::duration<double>(end - start).count();
        state.SetIterationTime(seconds);
        micros.push_back(seconds * 1e6);
        // Work the window's own queue as the message loop would between moves.
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["p50_us"] = Percentile(micros, 0.50);
    state.counters["p95_us"] = Percentile(micros, 0.95);
    state.counters["p50_cpu_us"] = Percentile(cpuMicros, 0.50);
    state.counters["p95_cpu_us"] = Percentile(cpuMicros, 0.95);
}

// The start window with `count` captions: 透明标签1 and the rest added over
// the picture, the last added current. With `dragged` 1 the current one is
// 95 points and outlined in its start box; with 2 also in a box of the
// sliders' largest size.
std::unique_ptr<Form> ManyCaptions(int count, int dragged)
{
    auto form = ShownForm(0, false);
    for (int i = 1; i < count; ++i)
        AddCaption(*form, QPoint(60 + (i % 4) * 90, 40 + (i / 4) * 80));
    TransLabel& current = *form->currentCaption;
    if (dragged > 0) {
        current.SetFontSize(95);
        current.SetOutline(true);
    }
    if (dragged > 1) {
        current.SetWidth(500);
        current.SetHeight(500);
    }
    QCoreApplication::processEvents();
    return form;
}

// The path of the mouse: over the picture, or to and fro across the edit
// box 编辑框1 (406, 21, 170 x 67), which the caption then passes beneath on
// every step, so the box repaints where the caption was and where it goes.
enum class Path { Picture, EditBox };

void Steps(benchmark::State& state, Form& form, Path path = Path::Picture)
{
    form.caption.drag = DragState{true, 10, 5};
    std::vector<double> micros, cpuMicros;
    micros.reserve(1 << 16);
    cpuMicros.reserve(1 << 16);
    int step = 0;
    for (auto _ : state) {
        const int x = path == Path::Picture ? 20 + (step * 7) % 300 : 260 + (step * 7) % 150;
        const int y = path == Path::Picture ? 30 + (step * 5) % 320 : 20 + (step * 5) % 60;
        ++step;
        const double cpuStart = ThreadSeconds();
        const auto start = std::chrono::steady_clock::now();
        form.window->MouseMove.Raise(x, y, 0);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpuMicros.push_back((ThreadSeconds() - cpuStart) * 1e6);
        state.SetIterationTime(seconds);
        micros.push_back(seconds * 1e6);
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["p50_us"] = Percentile(micros, 0.50);
    state.counters["p95_us"] = Percentile(micros, 0.95);
    state.counters["max_us"] = Percentile(micros, 1.0);
    state.counters["p95_cpu_us"] = Percentile(cpuMicros, 0.95);
    state.counters["max_cpu_us"] = Percentile(cpuMicros, 1.0);
}

// A drag step among 16 captions, the dragged one outlined at 95 points.
void DragAmongCaptions(benchmark::State& state)
{
    const auto form = ManyCaptions(int(state.range(0)), 1 + int(state.range(1)));
    Steps(state, *form);
}

// 100,000 characters, or 5,000 emoji.
QString HugeText(bool emoji)
{
    return emoji ? QStringLiteral("😂👍").repeated(2500) : QString(100000, QLatin1Char('A')) + QStringLiteral("字");
}

// A drag step of a caption holding a huge text at the start box size; over
// the picture or across the edit box, which holds the same text.
void DragHugeCaption(benchmark::State& state)
{
    const auto form = ShownForm(0, false);
    form->captionBox->SetContent(HugeText(state.range(0) != 0)); // as if pasted into the edit box
    QCoreApplication::processEvents();
    Steps(state, *form, state.range(1) == 0 ? Path::Picture : Path::EditBox);
}

// The paste of the huge text into the edit box (the box and the caption lay
// it out and draw it once), one more character typed at its end, then the
// save to the desktop and the copy with it as the caption, each timed once
// per iteration. A failed save or copy ends the benchmark with an error.
void OutputHugeCaption(benchmark::State& state)
{
    QTemporaryDir home;
    const QString desktop = home.filePath(QStringLiteral("Desktop"));
    QDir().mkpath(desktop);
    SaveEnvironment environment;
    environment.desktopFolder = [desktop] { return desktop; };
    const auto form = ShownForm(0, false, environment);
    const QString text = HugeText(state.range(0) != 0);
    double pasteMs = 0, typeMs = 0, saveMs = 0, copyMs = 0;
    double pasteCpuMs = 0, typeCpuMs = 0;
    QWidget* editor = form->captionBox->focusProxy();
    const auto timed = [](double& total, auto&& what, double* cpu = nullptr) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = ThreadSeconds();
        what();
        total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (cpu)
            *cpu += (ThreadSeconds() - cpuStart) * 1e3;
    };
    for (auto _ : state) {
        form->captionBox->SetContent(QString());
        QCoreApplication::processEvents();
        timed(pasteMs, [&] {
            form->captionBox->SetContent(text);
            QCoreApplication::processEvents();
        }, &pasteCpuMs);
        timed(typeMs, [&] {
            QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
            QCoreApplication::sendEvent(editor, &end);
            QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
            QCoreApplication::sendEvent(editor, &key);
            QCoreApplication::processEvents();
        }, &typeCpuMs);
        timed(saveMs, [&] { form->events->OnSaveClicked(); });
        timed(copyMs, [&] { form->events->OnCopyClicked(); });
        if (form->saveButton->Caption() != QStringLiteral("保存成功!!")
            || form->copyButton->Caption() != QStringLiteral("复制成功!!")) {
            state.SkipWithError("the save or the copy failed");
            break;
        }
    }
    const double n = double(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["paste_ms"] = pasteMs / n;
    state.counters["type_ms"] = typeMs / n;
    state.counters["paste_cpu_ms"] = pasteCpuMs / n;
    state.counters["type_cpu_ms"] = typeCpuMs / n;
    state.counters["save_ms"] = saveMs / n;
    state.counters["copy_ms"] = copyMs / n;
}

BENCHMARK(OutputHugeCaption)->ArgName("emoji")->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);

// The snapshot with 1 and with 16 captions over the picture.
void SnapshotWithCaptions(benchmark::State& state)
{
    const auto form = ManyCaptions(int(state.range(0)), 0);
    QWidget* box = &form->workArea->NativeWindow();
    for (auto _ : state) {
        PictureBytes shot = TakeSnapshot(box, 0, 0);
        benchmark::DoNotOptimize(shot.data());
    }
}

} // namespace

BENCHMARK(DragAmongCaptions)
    ->ArgNames({"captions", "largest_box"})
    ->Args({16, 0})
    ->Args({16, 1})
    ->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(DragHugeCaption)
    ->ArgNames({"emoji", "across_edit_box"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(SnapshotWithCaptions)->ArgName("captions")->Arg(1)->Arg(16)->Unit(benchmark::kMicrosecond);

// {0, outline}: the start sizes; {1000, outline}: a 1000 x 1000 picture
// under a 95-point caption. Without and with the outline, side by side.
BENCHMARK(DragStep)
    ->ArgNames({"side", "outline"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1000, 0})
    ->Args({1000, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The fonts as the program sets them up: without the default GUI font a
    // generic application face leaves the number boxes' digits to the emoji face.
    RegisterFontSubstitutions();
    UseDefaultGuiFont();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
