// Saving a clip: a 640 × 360, 30 fps, 4-second clip with sound (a picture
// panned and zoomed, with a little grain, as a phone films it), shown as it
// opens (379 × 213) with a caption over it, saved through the window's
// "保存到桌面" (decoding, composing, encoding, the file in place), as a GIF
// side by side with ffmpeg's two-pass palettegen/paletteuse GIF of the same
// composed frames (wall time, file size and the mean colour error per
// channel against the composed frames), and as an MP4 side by side with
// ffmpeg's libx264 (medium, CRF 23) and AAC of the composed frames and the
// clip's sound (wall time, file size and ffmpeg's SSIM against the composed
// frames). ffmpeg is handed the frames already composed: it neither decodes
// the clip nor draws the caption, which our time includes.
#include "bench/support/ClipSaveScene.h"
#include "bench/support/GifCompare.h"
#include "bench/support/KeptFiles.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QFileInfo>

#include <memory>

using namespace mugrove;
using bench::CpuSeconds;
using bench::Run;
using Scene = bench::ClipSaveScene;

namespace {

constexpr int kFrames = 120; // 4 s at 30 frames a second

std::unique_ptr<Scene> theScene; // let go before the application

Scene& TheScene()
{
    if (!theScene)
        theScene = std::make_unique<Scene>(
            "ffmpeg -v error -y -loop 1 -i '" MUGROVE_SOURCE_DIR "/assets/templates/00.jpg' "
            "-f lavfi -i 'sine=frequency=440:duration=4' -map 0:v -map 1:a -vf "
            "\"scale=1280:720,zoompan=z='1+0.004*on':x='iw/2-(iw/zoom/2)+20*sin(on/10)':y='ih/2-(ih/zoom/2)'"
            ":d=1:s=640x360:fps=30,noise=alls=4:allf=t\" -frames:v 120 -c:v libx264 -preset veryfast "
            "-pix_fmt yuv420p -crf 18 -c:a aac -b:a 128k",
            kFrames, 30);
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
    const QString saved = bench::TimeSaves(state, scene, QStringLiteral("*.gif"), QStringLiteral("clip_save_%1.gif"));
    Report(state, saved, scene.frames);
    QFile::remove(saved);
}
BENCHMARK(BM_MugroveClipSave)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_FfmpegPalettegenPaletteuse(benchmark::State& state)
{
    Scene& scene = TheScene();
    const QByteArray palette = bench::Quoted(scene.home.filePath(QStringLiteral("palette.png")));
    const QString out = scene.home.filePath(QStringLiteral("ffmpeg.gif"));
    const QByteArray input = scene.FramesInput();
    const double before = CpuSeconds(RUSAGE_CHILDREN);
    for (auto _ : state) {
        Run("ffmpeg -v error -y " + input + " -vf palettegen " + palette);
        Run("ffmpeg -v error -y " + input + " -i " + palette + " -lavfi paletteuse -loop 0 " + bench::Quoted(out));
    }
    state.counters["cpu_s_all_threads"] = (CpuSeconds(RUSAGE_CHILDREN) - before) / double(state.iterations());
    Report(state, out, scene.frames);
}
BENCHMARK(BM_FfmpegPalettegenPaletteuse)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_MugroveClipSaveMp4(benchmark::State& state)
{
    Scene& scene = TheScene();
    scene.Choose(QStringLiteral("MP4 视频(&M)"));
    const QString saved = bench::TimeSaves(state, scene, QStringLiteral("*.mp4"), QStringLiteral("clip_save_%1.mp4"));
    scene.Choose(QStringLiteral("GIF 动图(&G)"));
    bench::ReportVideo(state, saved, scene);
    QFile::remove(saved);
}
BENCHMARK(BM_MugroveClipSaveMp4)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_FfmpegX264Aac(benchmark::State& state)
{
    Scene& scene = TheScene();
    const QString out = scene.home.filePath(QStringLiteral("ffmpeg.mp4"));
    const double before = CpuSeconds(RUSAGE_CHILDREN);
    for (auto _ : state)
        Run(bench::FfmpegMp4(scene, "-preset medium -crf 23", out));
    state.counters["cpu_s_all_threads"] = (CpuSeconds(RUSAGE_CHILDREN) - before) / double(state.iterations());
    bench::ReportVideo(state, out, scene);
}
BENCHMARK(BM_FfmpegX264Aac)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    return bench::RunWithScene(argc, argv, theScene);
}
