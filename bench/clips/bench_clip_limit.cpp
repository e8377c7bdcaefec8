// A limited MP4 save: a busy 1280 × 720, 30 fps, 10-second clip with stereo
// sound (tools/make-test-data.py busy-clip: a grainy photo panning under a
// noisy test card), shown at its own size with a caption over it, saved
// through the window's "保存到桌面" within "1 MB 以内" and without a limit,
// beside ffmpeg's two-pass libx264 (medium) of the same composed frames at
// the video bit rate that fits 1 MB with its AAC sound: wall time, bytes and
// ffmpeg's SSIM against the composed frames. The limited save should be as
// like the frames as ffmpeg's, fit, and take at most three times as long as
// the unlimited one. ffmpeg is handed the frames already composed and is
// the yardstick; the program never uses it.
#include "bench/support/ClipSaveScene.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QFileInfo>

#include <memory>

using namespace mugrove;
using bench::CpuSeconds;
using bench::Quoted;
using bench::Run;
using Scene = bench::ClipSaveScene;

namespace {

constexpr int kRate = 30;
constexpr int kFrames = 10 * kRate;
constexpr qint64 kLimit = 1000000;

std::unique_ptr<Scene> theScene; // let go before the application
double unlimitedSeconds = 0;     // the unlimited save's mean wall time

Scene& TheScene()
{
    if (!theScene)
        theScene = std::make_unique<Scene>("python3 '" MUGROVE_SOURCE_DIR "/tools/make-test-data.py' busy-clip", kFrames,
                                           kRate, QSize(1280, 720));
    return *theScene;
}

void ReportLimited(benchmark::State& state, const QString& video, const Scene& scene)
{
    const qint64 bytes = QFileInfo(video).size();
    bench::ReportVideo(state, video, scene);
    state.counters["bytes"] = double(bytes);
    state.counters["fits"] = bytes > 0 && bytes <= kLimit;
}

void BM_MugroveMp4Unlimited(benchmark::State& state)
{
    Scene& scene = TheScene();
    scene.Choose(QStringLiteral("MP4 视频(&M)"));
    scene.Choose(QStringLiteral("不限大小(&N)"));
    const QString saved = bench::TimeSaves(state, scene, QStringLiteral("*.mp4"), QStringLiteral("clip_unlimited_%1.mp4"),
                                           &unlimitedSeconds);
    bench::ReportVideo(state, saved, scene);
    QFile::remove(saved);
}
BENCHMARK(BM_MugroveMp4Unlimited)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_MugroveMp4Within1MB(benchmark::State& state)
{
    Scene& scene = TheScene();
    scene.Choose(QStringLiteral("MP4 视频(&M)"));
    scene.Choose(QStringLiteral("1 MB 以内（微信表情）(&W)"));
    double seconds = 0;
    const QString saved = bench::TimeSaves(state, scene, QStringLiteral("*.mp4"), QStringLiteral("clip_1mb_%1.mp4"),
                                           &seconds);
    scene.Choose(QStringLiteral("不限大小(&N)"));
    ReportLimited(state, saved, scene);
    if (unlimitedSeconds > 0)
        state.counters["times_unlimited"] = seconds / unlimitedSeconds;
    QFile::remove(saved);
}
BENCHMARK(BM_MugroveMp4Within1MB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// Two passes at `kbps` into `out`.
void TwoPasses(const Scene& scene, int kbps, const QString& out)
{
    const QByteArray rate = "-preset medium -b:v " + QByteArray::number(kbps) + "k -passlogfile "
                            + Quoted(scene.home.filePath(QStringLiteral("passes")));
    Run("ffmpeg -v error -y " + scene.FramesInput() + " -c:v libx264 " + rate
        + " -pass 1 -vf 'pad=ceil(iw/2)*2:ceil(ih/2)*2' -pix_fmt yuv420p -an -f null /dev/null");
    Run(bench::FfmpegMp4(scene, rate + " -pass 2", out));
}

// The video bit rate as a person fits a file to the limit: what is left
// after ffmpeg's AAC of the sound over the duration, less 2% for the
// index and the rate control's miss; lowered by the overshoot until the
// file fits (found before the timing).
void BM_FfmpegTwoPassWithin1MB(benchmark::State& state)
{
    Scene& scene = TheScene();
    const QString sound = scene.home.filePath(QStringLiteral("sound.m4a"));
    Run("ffmpeg -v error -y -i " + Quoted(scene.clip) + " -vn -c:a aac -movflags +faststart " + Quoted(sound));
    const double seconds = double(kFrames) / kRate;
    const qint64 soundBytes = QFileInfo(sound).size();
    int kbps = int(double(kLimit - soundBytes) * 8 * 0.98 / seconds / 1000);
    const QString out = scene.home.filePath(QStringLiteral("ffmpeg.mp4"));
    int tries = 1;
    for (TwoPasses(scene, kbps, out); QFileInfo(out).size() > kLimit && tries < 5; TwoPasses(scene, kbps, out), ++tries)
        kbps = int(kbps * double(kLimit) / double(QFileInfo(out).size()) * 0.99);
    const double before = CpuSeconds(RUSAGE_CHILDREN);
    for (auto _ : state)
        TwoPasses(scene, kbps, out);
    state.counters["cpu_s_all_threads"] = (CpuSeconds(RUSAGE_CHILDREN) - before) / double(state.iterations());
    state.counters["video_kbps"] = kbps;
    state.counters["sound_bytes"] = double(soundBytes);
    state.counters["tries"] = tries;
    ReportLimited(state, out, scene);
}
BENCHMARK(BM_FfmpegTwoPassWithin1MB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

} // namespace

int main(int argc, char** argv)
{
    return bench::RunWithScene(argc, argv, theScene);
}
