#pragma once

// The window with a clip on show and a caption over the picture, saving
// onto a desktop of its own, and the frames it shows kept as a stream of
// binary PPMs: what the benchmarks that save clips weigh our files against.
// ffmpeg (Debian's) makes the clips and measures; the program never uses it.

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
#include "bench/support/KeptFiles.h"
#include "tests/support/HandTimer.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

namespace mugrove::bench {

// Processor seconds of this process's threads (RUSAGE_SELF), or of the
// commands it ran (RUSAGE_CHILDREN).
inline double CpuSeconds(int who)
{
    rusage use{};
    getrusage(who, &use);
    return double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) + double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

inline void Run(const QByteArray& command)
{
    if (std::system(command.constData()) != 0)
        std::abort();
}

inline QByteArray Quoted(const QString& path)
{
    return '\'' + QFile::encodeName(path) + '\'';
}

struct ClipSaveScene {
    QTemporaryDir home;
    QString desktop = home.filePath(QStringLiteral("Desktop"));
    QString clip = home.filePath(QStringLiteral("clip.mp4"));
    QString frames = home.filePath(QStringLiteral("frames.ppm"));
    std::unique_ptr<Form> form;
    QSize size; // of the composed frames
    int rate;

    // `makeClip` is a command that writes the clip to the path appended to
    // it. The clip opens as a drop opens it, in a picture area of `box`
    // when that is given; the first `count` frames the window shows, `rate`
    // a second, are kept.
    ClipSaveScene(const QByteArray& makeClip, int count, int frameRate, QSize box = {}) : rate(frameRate)
    {
        QDir().mkpath(desktop);
        Run(makeClip + ' ' + Quoted(clip));
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
        if (!box.isEmpty()) {
            form->workArea->SetWidth(box.width());
            form->workArea->SetHeight(box.height());
        }
        // A white outlined caption along the bottom of the picture.
        const int width = form->workArea->width(), height = form->workArea->height();
        const int font = std::max(24, height / 12);
        TransLabel& caption = *form->captionOverlay;
        caption.SetCaption(QStringLiteral("我就静静地看着你"));
        caption.SetTextColour(0x00FFFFFF);
        caption.SetFontSize(font);
        caption.SetFontBold(1);
        caption.SetOutline(true);
        caption.SetWidth(width - 20);
        caption.SetHeight(font * 5 / 2);
        caption.SetLeft(form->workArea->Left() + 10);
        caption.SetTop(form->workArea->Top() + height - font * 5 / 2 - 10);
        QApplication::processEvents();
        std::FILE* out = std::fopen(QFile::encodeName(frames).constData(), "wb");
        for (int i = 0; i < count; ++i) {
            const QImage shot = CaptureWindow(&form->workArea->NativeWindow()).convertToFormat(QImage::Format_RGB888);
            size = shot.size();
            std::fprintf(out, "P6\n%d %d\n255\n", shot.width(), shot.height());
            for (int y = 0; y < shot.height(); ++y)
                std::fwrite(shot.constScanLine(y), 1, std::size_t(shot.width()) * 3, out);
            timer->Fire();
        }
        std::fclose(out);
    }

    // Chooses an entry of the save button's menu: a size limit or a format.
    void Choose(const QString& entry)
    {
        for (QAction* action : form->saveButton->findChild<QMenu*>(QStringLiteral("sizeLimitMenu"))->actions())
            if (action->text() == entry)
                action->trigger();
    }

    // Clicks "保存到桌面" and runs the window until the file is in place.
    QString Save(const QString& pattern)
    {
        QMetaObject::invokeMethod(form->saveButton, "click");
        while (form->events->AnimatedSaveRunning()) {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
            QApplication::processEvents();
        }
        const QStringList files = QDir(desktop).entryList({pattern}, QDir::Files);
        return files.isEmpty() ? QString() : desktop + u'/' + files.first();
    }

    // ffmpeg's input options that read the kept frames.
    QByteArray FramesInput() const
    {
        return "-f image2pipe -c:v ppm -framerate " + QByteArray::number(rate) + " -i " + Quoted(frames);
    }

    // ffmpeg's mean SSIM ("All") of `video` against the kept frames, the row
    // and column an odd size added cut off (after the conversion: a 4:2:0
    // crop rounds to even).
    double Ssim(const QString& video) const
    {
        const QByteArray crop = QByteArray::number(size.width()) + ':' + QByteArray::number(size.height()) + ":0:0";
        const QByteArray command = "ffmpeg -v info -nostats -i " + Quoted(video) + ' ' + FramesInput()
                                   + " -lavfi '[0:v]format=gbrp,crop=" + crop
                                   + "[a];[1:v]format=gbrp[b];[a][b]ssim' -f null - 2>&1";
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
};

// Runs the benchmark's iterations, each one click on "保存到桌面" timed
// until the file is in place (each kept as `kept` with %1 its number, see
// KeptFiles.h), and counts the processor time of all this program's threads.
// Gives the last file, left in place, and the mean wall time in `seconds`.
inline QString TimeSaves(benchmark::State& state, ClipSaveScene& scene, const QString& pattern, const QString& kept,
                         double* seconds = nullptr)
{
    QString saved;
    double cpu = 0, wall = 0;
    int count = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (!saved.isEmpty())
            QFile::remove(saved);
        state.ResumeTiming();
        const double before = CpuSeconds(RUSAGE_SELF);
        const auto start = std::chrono::steady_clock::now();
        saved = scene.Save(pattern);
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu += CpuSeconds(RUSAGE_SELF) - before;
        state.PauseTiming();
        KeepFile(saved, kept.arg(++count));
        state.ResumeTiming();
    }
    state.counters["cpu_s_all_threads"] = cpu / double(state.iterations());
    if (seconds)
        *seconds = wall / double(state.iterations());
    return saved;
}

// ffmpeg writing the kept frames and the clip's sound (AAC at ffmpeg's own
// rate) as H.264 with `video`'s options (yuv420p, an odd side padded) into
// `out`, the index in front.
inline QByteArray FfmpegMp4(const ClipSaveScene& scene, const QByteArray& video, const QString& out)
{
    return "ffmpeg -v error -y " + scene.FramesInput() + " -i " + Quoted(scene.clip)
           + " -map 0:v -map 1:a -c:v libx264 " + video
           + " -vf 'pad=ceil(iw/2)*2:ceil(ih/2)*2' -pix_fmt yuv420p -c:a aac -movflags +faststart " + Quoted(out);
}

// The size and likeness of an MP4.
inline void ReportVideo(benchmark::State& state, const QString& video, const ClipSaveScene& scene)
{
    state.counters["file_KiB"] = double(QFileInfo(video).size()) / 1024.0;
    state.counters["ssim"] = scene.Ssim(video);
}

// The benchmarks' main: the window off screen unless a platform is named,
// and `scene` let go before the application.
inline int RunWithScene(int argc, char** argv, std::unique_ptr<ClipSaveScene>& scene)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    scene.reset();
    return 0;
}

} // namespace mugrove::bench
