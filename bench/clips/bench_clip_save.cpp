// Saving a clip: a 640 × 360, 30 fps, 4-second clip (a photo panned and
// zoomed, with a little grain, as a phone films it) with a caption, saved
// through the window's "保存到桌面" (decoding, composing, encoding, the file
// in place), side by side with ffmpeg's two-pass palettegen/paletteuse GIF
// of the same composed frames: wall time, file size and the mean colour
// error per channel against the composed frames. ffmpeg makes the clip on
// the first run and is the yardstick; the program never uses it.
#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "app/model/Button.h"
#include "app/model/LogFont.h"
#include "app/model/MainWindow.h"
#include "app/program/EventTable.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "output/Snapshot.h"
#include "templates/PhotoDrop.h"
#include "bench/support/GifCompare.h"
#include "bench/support/KeptFiles.h"
#include "tests/support/HandTimer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <gif_lib.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

using namespace mugrove;

namespace {

constexpr int kFrames = 120; // 4 s at 30 frames a second

// Processor seconds of this process's threads, or of the commands it ran.
double CpuSeconds(int who)
{
    rusage use{};
    getrusage(who, &use);
    return double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) + double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

void Run(const QByteArray& command)
{
    if (std::system(command.constData()) != 0)
        std::abort();
}

struct Scene {
    QTemporaryDir home;
    QString desktop = home.filePath(QStringLiteral("Desktop"));
    QString clip = home.filePath(QStringLiteral("clip.mp4"));
    QString frames = home.filePath(QStringLiteral("frames.ppm"));
    std::unique_ptr<Form> form;

    Scene()
    {
        QDir().mkpath(desktop);
        Run("ffmpeg -v error -y -loop 1 -i '" MUGROVE_SOURCE_DIR "/assets/templates/00.jpg' -vf "
            "\"scale=1280:720,zoompan=z='1+0.004*on':x='iw/2-(iw/zoom/2)+20*sin(on/10)':y='ih/2-(ih/zoom/2)'"
            ":d=1:s=640x360:fps=30,noise=alls=4:allf=t\" -frames:v 120 -c:v libx264 -preset veryfast "
            "-pix_fmt yuv420p -crf 18 '" + QFile::encodeName(clip) + "'");
        RegisterFontSubstitutions();
        form = CreateForm(DefaultWindowDefinition());
        SaveEnvironment environment;
        environment.desktopFolder = [this] { return desktop; };
        BindEvents(*form, environment);
        form->window->Created.Raise();
        form->window->show();
        QApplication::processEvents();
        auto* timer = new HandTimer;
        form->workArea->SetFrameTimer(std::unique_ptr<FrameTimer>(timer));
        if (!ShowFirstPicture(*form, {clip}))
            std::abort();
        TransLabel& caption = *form->captionOverlay;
        caption.SetCaption(QStringLiteral("我就静静地看着你 Just watching"));
        caption.SetTextColour(0x00FFFFFF);
        caption.SetFontSize(24);
        caption.SetFontBold(1);
        caption.SetOutline(true);
        caption.SetWidth(620);
        caption.SetHeight(60);
        caption.SetLeft(form->workArea->Left() + 10);
        caption.SetTop(form->workArea->Top() + 290);
        QApplication::processEvents();
        // The frames as the window shows them, one PPM after another.
        std::FILE* out = std::fopen(QFile::encodeName(frames).constData(), "wb");
        for (int i = 0; i < kFrames; ++i) {
            const QImage shot = CaptureWindow(&form->workArea->NativeWindow()).convertToFormat(QImage::Format_RGB888);
            std::fprintf(out, "P6\n%d %d\n255\n", shot.width(), shot.height());
            for (int y = 0; y < shot.height(); ++y)
                std::fwrite(shot.constScanLine(y), 1, std::size_t(shot.width()) * 3, out);
            timer->Fire();
        }
        std::fclose(out);
    }

    // Clicks "保存到桌面" and runs the window until the file is in place.
    QString Save()
    {
        QMetaObject::invokeMethod(form->saveButton, "click");
        while (form->events->AnimatedSaveRunning()) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
            QApplication::processEvents();
        }
        const QStringList files = QDir(desktop).entryList({QStringLiteral("*.gif")}, QDir::Files);
        return files.isEmpty() ? QString() : desktop + u'/' + files.first();
    }
};

std::unique_ptr<Scene> theScene; // let go before the application

Scene& TheScene()
{
    if (!theScene)
        theScene = std::make_unique<Scene>();
    return *theScene;
}


void Report(benchmark::State& state, const QString& gif, const QString& frames)
{
    const bench::Compared c = bench::CompareGifWithFrames(gif, frames);
    state.counters["file_KiB"] = double(QFileInfo(gif).size()) / 1024.0;
    state.counters["mean_error"] = c.error;
    state.counters["frames"] = c.frames;
    state.counters["running_cs"] = c.runningCs;
}

void BM_MugroveClipSave(benchmark::State& state)
{
    Scene& scene = TheScene();
    QString saved;
    double cpu = 0;
    int kept = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (!saved.isEmpty())
            QFile::remove(saved);
        state.ResumeTiming();
        const double before = CpuSeconds(RUSAGE_SELF);
        saved = scene.Save();
        cpu += CpuSeconds(RUSAGE_SELF) - before;
        state.PauseTiming();
        bench::KeepFile(saved, QStringLiteral("clip_save_%1.gif").arg(++kept));
        state.ResumeTiming();
    }
    state.counters["cpu_s_all_threads"] = cpu / double(state.iterations());
    Report(state, saved, scene.frames);
    QFile::remove(saved);
}
BENCHMARK(BM_MugroveClipSave)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_FfmpegPalettegenPaletteuse(benchmark::State& state)
{
    Scene& scene = TheScene();
    const QByteArray frames = QFile::encodeName(scene.frames);
    const QByteArray palette = QFile::encodeName(scene.home.filePath(QStringLiteral("palette.png")));
    const QString out = scene.home.filePath(QStringLiteral("ffmpeg.gif"));
    const QByteArray input = "-f image2pipe -c:v ppm -framerate 30 -i '" + frames + "'";
    const double before = CpuSeconds(RUSAGE_CHILDREN);
    for (auto _ : state) {
        Run("ffmpeg -v error -y " + input + " -vf palettegen '" + palette + "'");
        Run("ffmpeg -v error -y " + input + " -i '" + palette + "' -lavfi paletteuse -loop 0 '" + QFile::encodeName(out) + "'");
    }
    state.counters["cpu_s_all_threads"] = (CpuSeconds(RUSAGE_CHILDREN) - before) / double(state.iterations());
    Report(state, out, scene.frames);
}
BENCHMARK(BM_FfmpegPalettegenPaletteuse)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    theScene.reset();
    return 0;
}
