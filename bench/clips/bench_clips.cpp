// Clips: the first frame of a 1080p H.264 clip; playing a 1080p30 clip in
// a 640 × 360 box for 20 s at its own timing (late frames, CPU share of one
// core); the resident memory of a 10-minute clip as it plays. The clips are
// made with Debian's ffmpeg on the first run, into bench/clips-data beside
// this program (the 10-minute clip repeats the 20 s one by stream copy).

#include "controls/PicturePaint.h"
#include "controls/clips/Clip.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <sys/resource.h>

#include <any>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

using namespace mugrove;
namespace fs = std::filesystem;

namespace {

fs::path DataDir()
{
    static const fs::path dir = fs::read_symlink("/proc/self/exe").parent_path() / "clips-data";
    return dir;
}

void Run(const std::string& command)
{
    if (std::system(command.c_str()) != 0)
        std::abort();
}

// The 20 s 1080p30 clip and its 10-minute repeat.
std::string Clip1080()
{
    const fs::path clip = DataDir() / "1080p30.mp4";
    if (!fs::exists(clip)) {
        fs::create_directories(DataDir());
        Run("ffmpeg -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=30:duration=20 -c:v libx264 -preset veryfast "
            "-pix_fmt yuv420p -b:v 8M -movflags +faststart '" + clip.string() + "'");
    }
    return clip.string();
}

std::string TenMinutes()
{
    const fs::path clip = DataDir() / "ten-minutes.mp4";
    if (!fs::exists(clip)) {
        const fs::path list = DataDir() / "ten-minutes.txt";
        std::ofstream out(list);
        for (int i = 0; i < 30; ++i)
            out << "file '" << Clip1080() << "'\n";
        out.close();
        Run("ffmpeg -v error -y -f concat -safe 0 -i '" + list.string() + "' -c copy '" + clip.string() + "'");
    }
    return clip.string();
}

double CpuSeconds()
{
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

long StatusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::strtol(line.c_str() + std::char_traits<char>::length(field), nullptr, 10);
    return -1;
}

// Opening a clip from its file up to its first frame converted.
void BM_FirstFrame1080p(benchmark::State& state)
{
    const std::string path = Clip1080();
    for (auto _ : state) {
        DecodedPicture decoded;
        if (DecodeClipInProcess({path, nullptr}, decoded) != DecodeError::None)
            state.SkipWithError("the clip did not open");
        benchmark::DoNotOptimize(decoded.image.pixels.data());
        state.PauseTiming();
        decoded.animation.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstFrame1080p)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

// Plays at the clip's timing as the box's timer would, painting each frame
// into a 640 × 360 box shrunk smoothly as the work area paints it. A frame
// is late when it reaches the box more than 5 ms after its time.
void BM_Play1080pIn640x360(benchmark::State& state)
{
    const std::string path = Clip1080();
    QImage box(640, 360, QImage::Format_RGB32);
    for (auto _ : state) {
        std::unique_ptr<ClipPlayer> clip;
        if (ClipPlayer::Open({path, nullptr}, clip) != DecodeError::None) {
            state.SkipWithError("the clip did not open");
            break;
        }
        // As the work area does: the worker shrinks each frame to the box.
        clip->SetFrameTask([size = box.size()](const Image& frame) -> std::any {
            QImage shrunk = ShrunkPicture(size, PictureFit::Stretch, true, PictureView(frame, QImage::Format_RGB32));
            return shrunk.isNull() ? std::any() : std::any(std::move(shrunk));
        });
        const auto show = [&] {
            if (clip->Advance() != DecodeError::None)
                return false;
            const auto* worked = std::any_cast<QImage>(&clip->TaskResult());
            QImage shrunk = worked != nullptr ? *worked : QImage();
            QPainter painter(&box);
            PaintPicture(painter, box.size(), Qt::gray, PictureView(clip->Canvas(), QImage::Format_RGB32),
                         PictureFit::Stretch, true, shrunk);
            return true;
        };
        // As in the box, the clock starts once the first frame is on show
        // (its cost is the time to the first frame, measured above).
        if (!show()) {
            state.SkipWithError("the first frame failed");
            break;
        }
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        const double cpuBefore = CpuSeconds();
        auto due = start + std::chrono::milliseconds(clip->DelayMs(clip->Current()));
        int frames = 1, late = 0;
        while (due - start < std::chrono::seconds(20)) {
            std::this_thread::sleep_until(due);
            if (!show()) {
                state.SkipWithError("a frame failed");
                break;
            }
            if (Clock::now() - due > std::chrono::milliseconds(5))
                ++late;
            ++frames;
            due += std::chrono::milliseconds(clip->DelayMs(clip->Current()));
        }
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        state.counters["frames"] = frames;
        state.counters["late"] = late;
        state.counters["cpu_share_of_a_core"] = (CpuSeconds() - cpuBefore) / wall;
    }
}
BENCHMARK(BM_Play1080pIn640x360)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// Resident memory while a 10-minute 1080p clip opens and plays 300 frames
// as fast as they come.
void BM_TenMinuteResident(benchmark::State& state)
{
    const std::string path = TenMinutes();
    const long before = StatusKiB("VmRSS:");
    long peak = 0;
    for (auto _ : state) {
        std::unique_ptr<ClipPlayer> clip;
        if (ClipPlayer::Open({path, nullptr}, clip) != DecodeError::None) {
            state.SkipWithError("the clip did not open");
            break;
        }
        for (int i = 0; i < 300; ++i)
            if (clip->Advance() != DecodeError::None)
                break;
        peak = std::max(peak, StatusKiB("VmRSS:"));
    }
    state.counters["resident_MiB"] = static_cast<double>(peak) / 1024.0;
    state.counters["added_MiB"] = static_cast<double>(peak - before) / 1024.0;
    state.counters["peak_process_MiB"] = static_cast<double>(StatusKiB("VmHWM:")) / 1024.0;
}
BENCHMARK(BM_TenMinuteResident)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
