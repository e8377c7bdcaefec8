// Saving a playing picture as an animated GIF, side by side with ImageMagick's
// convert turning the same composed frames into a GIF: wall time, file size
// and mean colour error against the composed frames; and the memory the save
// of a long recording takes above the program's own before the click.
#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/model/Button.h"
#include "app/model/LogFont.h"
#include "app/model/MainWindow.h"
#include "app/program/EventTable.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "output/Clipboard.h"
#include "output/GifEncoder.h"
#include "output/SaveToDesktop.h"
#include "output/Snapshot.h"
#include "bench/support/GifCompare.h"
#include "bench/support/KeptFiles.h"
#include "tests/support/HandTimer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <gif_lib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace mugrove;

namespace {

constexpr int kDelayMs = 80;

// A recording-like film: a photo that stays, with a round window moving over
// it that shows the photo drifting beneath, as in a cut-out reaction clip.
QByteArray MakeSourceGif(int width, int height, int frames)
{
    QFile jpeg(QStringLiteral(MUGROVE_SOURCE_DIR "/assets/templates/00.jpg"));
    jpeg.open(QIODevice::ReadOnly);
    const QByteArray bytes = jpeg.readAll();
    const QImage photo = DecodeToImage(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                                 std::size_t(bytes.size())))
                             ->scaled(width * 2, height * 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QByteArray file;
    GifEncoder encoder;
    encoder.Begin(width, height, 0, [&file](std::span<const std::uint8_t> b) {
        file.append(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
        return true;
    });
    QImage frame(width, height, QImage::Format_RGB32);
    for (int i = 0; i < frames; ++i) {
        QPainter painter(&frame);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.drawImage(QRect(0, 0, width, height), photo);
        const int r = std::min(width, height) / 4;
        const QPoint centre(width / 2 + int((width / 4) * std::sin(i * 0.15)), height / 2 + int((height / 5) * std::cos(i * 0.11)));
        QPainterPath disc;
        disc.addEllipse(centre, r, r);
        painter.setClipPath(disc);
        painter.drawImage(QPoint(-(i * 5) % width, -(i * 3) % height), photo);
        painter.end();
        encoder.AddFrame(frame, kDelayMs);
    }
    encoder.Finish();
    bench::KeepBytes(file, QStringLiteral("source_%1x%2x%3.gif").arg(width).arg(height).arg(frames));
    return file;
}

long ProcKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field));
    return -1;
}

double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// The window playing one film, with a caption over it, stepped by hand.
struct Scene {
    QTemporaryDir home;
    QString desktop = home.filePath(QStringLiteral("Desktop"));
    std::unique_ptr<Form> form;
    HandTimer* timer = nullptr;
    int frames = 0;

    // The box is `percent` of the picture's size: above 100 the window
    // stretches every frame smoothly, which gives far more colours.
    Scene(int width, int height, int count, int percent) : frames(count)
    {
        QDir().mkpath(desktop);
        RegisterFontSubstitutions();
        form = CreateForm(DefaultWindowDefinition());
        SaveEnvironment environment;
        environment.desktopFolder = [this] { return desktop; };
        BindEvents(*form, environment);
        form->window->show();
        QApplication::processEvents();
        timer = new HandTimer;
        form->workArea->SetFrameTimer(std::unique_ptr<FrameTimer>(timer));
        const QByteArray gif = MakeSourceGif(width, height, count);
        form->workArea->SetPicture(PictureBytes(gif.begin(), gif.end()));
        width = width * percent / 100;
        height = height * percent / 100;
        form->workArea->SetWidth(width);
        form->workArea->SetHeight(height);
        TransLabel& caption = *form->captionOverlay;
        caption.SetCaption(QStringLiteral("我就静静地看着你 Just watching"));
        caption.SetTextColour(0x00FFFFFF);
        caption.SetTextEffect(3);
        caption.SetFontSize(std::max(12, width / 24));
        caption.SetFontBold(1);
        caption.SetWidth(width - 20);
        caption.SetHeight(height / 6);
        caption.SetLeft(form->workArea->Left() + 10);
        caption.SetTop(form->workArea->Top() + height - height / 6 - 10);
        QApplication::processEvents();
    }

    // Writes the frames as the window shows them into one PPM stream.
    QString WriteComposedFrames()
    {
        const QString path = home.filePath(QStringLiteral("frames.ppm"));
        std::FILE* out = std::fopen(QFile::encodeName(path).constData(), "wb");
        for (int i = 0; i < frames; ++i) {
            const QImage shot = CaptureWindow(&form->workArea->NativeWindow()).convertToFormat(QImage::Format_RGB888);
            std::fprintf(out, "P6\n%d %d\n255\n", shot.width(), shot.height());
            for (int y = 0; y < shot.height(); ++y)
                std::fwrite(shot.constScanLine(y), 1, std::size_t(shot.width()) * 3, out);
            timer->Fire();
        }
        std::fclose(out);
        return path;
    }

    // Clicks "保存到桌面" and runs the window until the file is in place.
    // Keeps the longest time the window thread spent on the click or on any
    // one turn of its event loop meanwhile: how long the window could freeze.
    double longestPauseMs = 0;
    double windowCpuMs = 0; // the window thread's processor time from the click to the file
    QString Save()
    {
        const double cpuBefore = ThreadCpuMs();
        QElapsedTimer clock;
        clock.start();
        QMetaObject::invokeMethod(form->saveButton, "click");
        longestPauseMs = double(clock.nsecsElapsed()) / 1e6;
        while (form->events->AnimatedSaveRunning()) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
            clock.restart();
            QApplication::processEvents();
            longestPauseMs = std::max(longestPauseMs, double(clock.nsecsElapsed()) / 1e6);
        }
        windowCpuMs = ThreadCpuMs() - cpuBefore;
        const QStringList files = QDir(desktop).entryList({QStringLiteral("*.gif")}, QDir::Files);
        return files.isEmpty() ? QString() : desktop + u'/' + files.first();
    }
};

double MeanError(const QString& gifPath, const QString& ppmPath)
{
    return mugrove::bench::CompareGifWithFrames(gifPath, ppmPath).error;
}

std::map<std::string, std::unique_ptr<Scene>>& Scenes()
{
    static std::map<std::string, std::unique_ptr<Scene>> scenes;
    return scenes;
}

Scene& SceneFor(const benchmark::State& state, QString* frames = nullptr)
{
    const std::string key = std::to_string(state.range(0)) + "x" + std::to_string(state.range(1)) + "x"
        + std::to_string(state.range(2)) + "@" + std::to_string(state.range(3));
    auto& scene = Scenes()[key];
    if (!scene)
        scene = std::make_unique<Scene>(int(state.range(0)), int(state.range(1)), int(state.range(2)), int(state.range(3)));
    static std::map<std::string, QString> written;
    if (frames) {
        if (written[key].isEmpty())
            written[key] = scene->WriteComposedFrames();
        *frames = written[key];
    }
    return *scene;
}

void BM_MugroveSave(benchmark::State& state)
{
    QString frames;
    Scene& scene = SceneFor(state, &frames);
    qint64 size = 0;
    double error = 0;
    for (auto _ : state) {
        const QString saved = scene.Save();
        state.PauseTiming();
        size = QFileInfo(saved).size();
        error = MeanError(saved, frames);
        bench::KeepFile(saved, QStringLiteral("save_%1x%2x%3@%4.gif")
                                   .arg(state.range(0)).arg(state.range(1)).arg(state.range(2)).arg(state.range(3)));
        QFile gif(saved);
        gif.open(QIODevice::ReadOnly);
        const QByteArray header = gif.read(10);
        if (header.size() == 10)
            state.counters["width"] = double(std::uint8_t(header[6]) | (std::uint8_t(header[7]) << 8));
        QFile::remove(saved);
        state.ResumeTiming();
    }
    state.counters["file_KiB"] = double(size) / 1024.0;
    state.counters["mean_error"] = error;
    state.counters["window_pause_ms"] = scene.longestPauseMs;
    state.counters["window_cpu_ms"] = scene.windowCpuMs;
}

void BM_ImageMagickConvert(benchmark::State& state)
{
    QString frames;
    Scene& scene = SceneFor(state, &frames);
    const QString out = scene.home.filePath(QStringLiteral("convert.gif"));
    const QByteArray command = "/usr/bin/convert -delay " + QByteArray::number(kDelayMs / 10) + " -loop 0 '"
        + QFile::encodeName(frames) + "' '" + QFile::encodeName(out) + "'";
    qint64 size = 0;
    double error = 0;
    for (auto _ : state) {
        if (std::system(command.constData()) != 0)
            state.SkipWithError("convert failed");
        state.PauseTiming();
        size = QFileInfo(out).size();
        error = MeanError(out, frames);
        QFile::remove(out);
        state.ResumeTiming();
    }
    state.counters["file_KiB"] = double(size) / 1024.0;
    state.counters["mean_error"] = error;
}

// The save's peak resident memory above the program's before the click.
void BM_SavePeakMemory(benchmark::State& state)
{
    Scene& scene = SceneFor(state);
    long before = 0, peak = 0;
    for (auto _ : state) {
        before = ProcKb("VmRSS:");
        std::ofstream("/proc/self/clear_refs") << "5"; // the peak starts again from here
        const QString saved = scene.Save();
        peak = ProcKb("VmHWM:");
        state.PauseTiming();
        bench::KeepFile(saved, QStringLiteral("long_save_%1x%2x%3.gif").arg(state.range(0)).arg(state.range(1)).arg(state.range(2)));
        QFile::remove(saved);
        state.ResumeTiming();
    }
    state.counters["before_MiB"] = double(before) / 1024.0;
    state.counters["peak_above_MiB"] = double(peak - before) / 1024.0;
}

} // namespace

// Width, height and frames of the picture; the box's size in percent of it.
BENCHMARK(BM_MugroveSave)->Args({400, 400, 40, 100})->Args({800, 600, 200, 100})->Args({400, 400, 40, 150})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ImageMagickConvert)->Args({400, 400, 40, 100})->Args({800, 600, 200, 100})->Args({400, 400, 40, 150})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_SavePeakMemory)->Args({800, 600, 550, 100})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Scenes().clear();
    return 0;
}
