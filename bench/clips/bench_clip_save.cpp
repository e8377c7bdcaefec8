// Saving a clip: a 640 × 360, 30 fps, 4-second clip with sound (a photo
// panned and zoomed, with a little grain, as a phone films it) with a
// caption, saved through the window's "保存到桌面" (decoding, composing,
// encoding, the file in place), as a GIF side by side with ffmpeg's
// two-pass palettegen/paletteuse GIF of the same composed frames (wall time,
// file size and the mean colour error per channel against the composed
// frames), and as an MP4 side by side with ffmpeg's libx264 (medium, CRF 23)
// and AAC of the composed frames and the clip's sound (wall time, file size
// and ffmpeg's SSIM against the composed frames). ffmpeg makes the clip on
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

#include <QAction>
#include <QApplication>
#include <QMenu>
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
    QSize size; // of the composed frames

    Scene()
    {
        QDir().mkpath(desktop);
        Run("ffmpeg -v error -y -loop 1 -i '" MUGROVE_SOURCE_DIR "/assets/templates/00.jpg' "
            "-f lavfi -i 'sine=frequency=440:duration=4' -map 0:v -map 1:a -vf "
            "\"scale=1280:720,zoompan=z='1+0.004*on':x='iw/2-(iw/zoom/2)+20*sin(on/10)':y='ih/2-(ih/zoom/2)'"
            ":d=1:s=640x360:fps=30,noise=alls=4:allf=t\" -frames:v 120 -c:v libx264 -preset veryfast "
            "-pix_fmt yuv420p -crf 18 -c:a aac -b:a 128k '"
            + QFile::encodeName(clip) + "'");
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
            size = shot.size();
            std::fprintf(out, "P6\n%d %d\n255\n", shot.width(), shot.height());
            for (int y = 0; y < shot.height(); ++y)
                std::fwrite(shot.constScanLine(y), 1, std::size_t(shot.width()) * 3, out);
            timer->Fire();
        }
        std::fclose(out);
    }

    // Chooses the format in the save button's menu.
    void Choose(const QString& entry)
    {
        for (QAction* action : form->saveButton->findChild<QMenu*>(QStringLiteral("sizeLimitMenu"))->actions())
            if (action->text() == entry)
                action->trigger();
    }

    // Clicks "保存到桌面" and runs the window until the file is in place.
    QString Save(const QString& pattern = QStringLiteral("*.gif"))
    {
        QMetaObject::invokeMethod(form->saveButton, "click");
        while (form->events->AnimatedSaveRunning()) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
            QApplication::processEvents();
        }
        const QStringList files = QDir(desktop).entryList({pattern}, QDir::Files);
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

// ffmpeg's mean SSIM ("All") of `video`, the row and column an odd size
// added cut off (after the conversion: a 4:2:0 crop rounds to even), against
// the composed frames.
double Ssim(const QString& video, const QString& frames, QSize size)
{
    const QByteArray crop = QByteArray::number(size.width()) + ':' + QByteArray::number(size.height()) + ":0:0";
    const QByteArray command = "ffmpeg -v info -nostats -i '" + QFile::encodeName(video)
                               + "' -f image2pipe -c:v ppm -framerate 30 -i '" + QFile::encodeName(frames)
                               + "' -lavfi '[0:v]format=gbrp,crop=" + crop + "[a];[1:v]format=gbrp[b];[a][b]ssim' -f null - 2>&1";
    std::FILE* pipe = popen(command.constData(), "r");
    if (!pipe)
        return 0;
    QByteArray said;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        said.append(buffer, qsizetype(n));
    pclose(pipe);
    const qsizetype at = said.lastIndexOf("All:");
    return at < 0 ? 0 : said.mid(at + 4).split(' ').first().toDouble();
}

void ReportVideo(benchmark::State& state, const QString& video, const Scene& scene)
{
    state.counters["file_KiB"] = double(QFileInfo(video).size()) / 1024.0;
    state.counters["ssim"] = Ssim(video, scene.frames, scene.size);
}

void BM_MugroveClipSaveMp4(benchmark::State& state)
{
    Scene& scene = TheScene();
    scene.Choose(QStringLiteral("MP4 视频(&M)"));
    QString saved;
    double cpu = 0;
    int kept = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (!saved.isEmpty())
            QFile::remove(saved);
        state.ResumeTiming();
        const double before = CpuSeconds(RUSAGE_SELF);
        saved = scene.Save(QStringLiteral("*.mp4"));
        cpu += CpuSeconds(RUSAGE_SELF) - before;
        state.PauseTiming();
        bench::KeepFile(saved, QStringLiteral("clip_save_%1.mp4").arg(++kept));
        state.ResumeTiming();
    }
    scene.Choose(QStringLiteral("GIF 动图(&G)"));
    state.counters["cpu_s_all_threads"] = cpu / double(state.iterations());
    ReportVideo(state, saved, scene);
    QFile::remove(saved);
}
BENCHMARK(BM_MugroveClipSaveMp4)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_FfmpegX264Aac(benchmark::State& state)
{
    Scene& scene = TheScene();
    const QString out = scene.home.filePath(QStringLiteral("ffmpeg.mp4"));
    const double before = CpuSeconds(RUSAGE_CHILDREN);
    for (auto _ : state)
        Run("ffmpeg -v error -y -f image2pipe -c:v ppm -framerate 30 -i '" + QFile::encodeName(scene.frames)
            + "' -i '" + QFile::encodeName(scene.clip) + "' -map 0:v -map 1:a -c:v libx264 -preset medium -crf 23 "
            "-vf 'pad=ceil(iw/2)*2:ceil(ih/2)*2' -pix_fmt yuv420p -c:a aac -movflags +faststart '" + QFile::encodeName(out) + "'");
    state.counters["cpu_s_all_threads"] = (CpuSeconds(RUSAGE_CHILDREN) - before) / double(state.iterations());
    ReportVideo(state, out, scene);
}
BENCHMARK(BM_FfmpegX264Aac)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

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
