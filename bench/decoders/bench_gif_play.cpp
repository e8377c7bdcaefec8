// The work area playing a long screen recording (800 × 600, 550 frames):
// the peak resident memory above the idle program, and the time of one
// frame step (decode + compose + paint) next to giflib decoding the same
// frame. The recording is made here: giflib encodes ten distinct frames of
// flat panels, text-like detail and a moving gradient, and the file repeats
// their data to 550 frames.

#include "bench/decoders/GifInMemory.h"
#include "controls/PicBox.h"
#include "controls/decoders/Gif.h"
#include "tests/support/HandTimer.h"

#include <benchmark/benchmark.h>

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <random>
#include <ctime>
#include <string>
#include <vector>

#include <gif_lib.h>

using namespace mugrove;
using namespace mugrove::bench;

namespace {

constexpr int kWidth = 800, kHeight = 600, kFrames = 550, kDistinct = 10;

std::vector<std::uint8_t> DistinctFrames()
{
    std::vector<std::uint8_t> file;
    GifFileType* gif = OpenGifWriter(file, kWidth, kHeight);
    std::mt19937 rng(11);
    std::vector<GifByteType> line(kWidth);
    for (int f = 0; f < kDistinct; ++f) {
        EGifPutImageDesc(gif, 0, 0, kWidth, kHeight, false, nullptr);
        const int boxX = 100 + f * 40, boxY = 200 + f * 10;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                int v = y < 40 ? 200 : (x < 160 ? 90 : 255); // title bar, side panel, page
                if (x >= 200 && x < 760 && y >= 80 && y < 560 && (y / 14) % 2 == 0 && rng() % 3 == 0)
                    v = 0; // lines of text
                if (x >= boxX && x < boxX + 200 && y >= boxY && y < boxY + 150)
                    v = (x - boxX + y - boxY + ((x & 3) * 4 + (y & 3)) * 2) & 255; // dithered picture
                line[static_cast<std::size_t>(x)] = static_cast<GifByteType>(v);
            }
            EGifPutLine(gif, line.data(), kWidth);
        }
    }
    int error = 0;
    EGifCloseFile(gif, &error);
    return file;
}

const std::vector<std::uint8_t>& Recording()
{
    static const std::vector<std::uint8_t> file = [] {
        const std::vector<std::uint8_t> distinct = DistinctFrames();
        GifIndex index;
        IndexGif(distinct, index);
        // Header and global table, then per frame a 40 ms graphic control,
        // the descriptor and one of the ten frames' data.
        std::vector<std::uint8_t> out(distinct.begin(), distinct.begin() + 13 + 768);
        for (int f = 0; f < kFrames; ++f) {
            const GifFrameInfo& frame = index.frames[static_cast<std::size_t>(f % kDistinct)];
            const std::uint8_t head[] = {0x21, 0xF9, 4, 0, 4, 0, 0, 0, 0x2C, 0, 0, 0, 0,
                                         kWidth & 255, kWidth >> 8, kHeight & 255, kHeight >> 8, 0,
                                         static_cast<std::uint8_t>(frame.minCodeSize)};
            out.insert(out.end(), std::begin(head), std::end(head));
            std::size_t end = frame.data;
            while (distinct[end] != 0)
                end += 1 + distinct[end];
            out.insert(out.end(), distinct.begin() + static_cast<std::ptrdiff_t>(frame.data),
                       distinct.begin() + static_cast<std::ptrdiff_t>(end + 1));
        }
        out.push_back(0x3B);
        return out;
    }();
    return file;
}

// Kilobytes of a /proc/self/status line (VmRSS, VmHWM).
double StatusKb(const char* key)
{
    std::ifstream in("/proc/self/status");
    std::string word;
    while (in >> word)
        if (word == key) {
            double kb = 0;
            in >> kb;
            return kb;
        }
    return 0;
}

struct Stage {
    QWidget window;
    PicBox* box;
    HandTimer* timer;
    Stage() : box(new PicBox(&window))
    {
        window.resize(kWidth, kHeight);
        box->setGeometry(0, 0, kWidth, kHeight);
        auto t = std::make_unique<HandTimer>();
        timer = t.get();
        box->SetFrameTimer(std::move(t));
        window.show();
        QApplication::processEvents();
        box->repaint();
    }
};

// This thread's processor time in milliseconds: on a shared machine the
// wall clock also counts the time other programs had the processor.
double CpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double Percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

// Idle: the window with the empty box shown. Playing: the recording's 550
// frames, each stepped and painted. Peak taken after the kernel's peak
// counter is reset at idle.
void BM_RecordingPeakMemory(benchmark::State& state)
{
    const std::vector<std::uint8_t>& file = Recording();
    for (auto _ : state) {
        Stage stage;
        const double idle = StatusKb("VmRSS:");
        std::ofstream("/proc/self/clear_refs") << "5";
        stage.box->SetPicture(PictureBytes(file));
        stage.box->repaint();
        for (int i = 0; i < kFrames; ++i) {
            stage.timer->Fire();
            stage.box->repaint();
        }
        const double peak = StatusKb("VmHWM:");
        state.counters["idle_MB"] = idle / 1024;
        state.counters["above_idle_MB"] = (peak - idle) / 1024;
        state.counters["file_MB"] = static_cast<double>(file.size()) / (1 << 20);
        state.counters["allowed_MB"] = static_cast<double>(file.size()) / (1 << 20) + 8;
    }
}

// One frame step as the window does it: the timer fires (decode and
// compose the next frame), then the box paints. Per-step processor times
// over the 550 frames, in milliseconds.
void BM_RecordingFrameStep(benchmark::State& state)
{
    const std::vector<std::uint8_t>& file = Recording();
    Stage stage;
    stage.box->SetPicture(PictureBytes(file));
    stage.box->repaint();
    std::vector<double> step, decode;
    for (auto _ : state) {
        step.clear();
        for (int i = 0; i < kFrames; ++i) {
            const double t0 = CpuMs();
            stage.timer->Fire();
            const double t1 = CpuMs();
            stage.box->repaint();
            step.push_back(CpuMs() - t0);
            decode.push_back(t1 - t0);
        }
    }
    state.counters["p50_ms"] = Percentile(step, 0.5);
    state.counters["p95_ms"] = Percentile(step, 0.95);
    state.counters["max_ms"] = Percentile(step, 1.0);
    state.counters["decode_p95_ms"] = Percentile(decode, 0.95);
}

// giflib decoding each frame of the same file to its colour indices, one
// frame at a time, timed per frame.
void BM_RecordingFrameGiflib(benchmark::State& state)
{
    const std::vector<std::uint8_t>& file = Recording();
    std::vector<GifByteType> pixels(static_cast<std::size_t>(kWidth) * kHeight);
    std::vector<double> step;
    for (auto _ : state) {
        step.clear();
        MemoryInput in{&file, 0};
        int error = 0;
        GifFileType* gif = DGifOpen(&in, ReadFromMemory, &error);
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        while (gif != nullptr && DGifGetRecordType(gif, &type) == GIF_OK && type != TERMINATE_RECORD_TYPE) {
            if (type == EXTENSION_RECORD_TYPE) {
                int code = 0;
                GifByteType* ext = nullptr;
                DGifGetExtension(gif, &code, &ext);
                while (ext != nullptr)
                    DGifGetExtensionNext(gif, &ext);
            } else if (type == IMAGE_DESC_RECORD_TYPE) {
                const double t0 = CpuMs();
                DGifGetImageDesc(gif);
                for (int y = 0; y < gif->Image.Height; ++y)
                    DGifGetLine(gif, pixels.data() + static_cast<std::size_t>(y) * kWidth, gif->Image.Width);
                step.push_back(CpuMs() - t0);
            }
        }
        DGifCloseFile(gif, &error);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.counters["p50_ms"] = Percentile(step, 0.5);
    state.counters["p95_ms"] = Percentile(step, 0.95);
    state.counters["max_ms"] = Percentile(step, 1.0);
}

} // namespace

// Memory first, while the process has not yet played anything.
BENCHMARK(BM_RecordingPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordingFrameStep)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordingFrameGiflib)->Iterations(3)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Recording(); // made before the idle figure is taken
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
