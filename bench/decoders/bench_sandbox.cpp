// Decoding in a decoder process against decoding here, side by side: a
// 12-megapixel photo (4000 × 3000) as JPEG, HEIC, AVIF and JPEG XL, and a
// 500 × 500 PNG, from the bytes to the picture the box paints. The files
// are made at start (the HEIC, AVIF and JPEG XL ones with heif-enc, avifenc
// and cjxl when they are installed: Debian's libheif-examples, libavif-bin
// and libjxl-tools; a kind whose tool is missing is left out). The process
// started ahead of need is given time to load between drops, as between a
// user's drops; that wait is not timed.

#include "bench/support/PhotoPixels.h"
#include "controls/decoders/Decoders.h"
#include "sandbox/Decode.h"
#include "tests/support/JpegMaker.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QImage>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

using namespace mugrove;

namespace {

std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What an encoder tool wrote; empty when the tool is missing or fails.
std::vector<std::uint8_t> Through(const std::string& command, const std::string& out)
{
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
        return {};
    return ReadFile(out);
}

std::vector<std::uint8_t> Png(const std::vector<std::uint8_t>& rgba, int width, int height)
{
    const QImage image(rgba.data(), width, height, width * 4, QImage::Format_RGBA8888);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return {bytes.begin(), bytes.end()};
}

// The file of `kind`, made on first use.
const std::vector<std::uint8_t>& File(const std::string& kind)
{
    static std::map<std::string, std::vector<std::uint8_t>> made;
    if (const auto it = made.find(kind); it != made.end())
        return it->second;
    if (kind == "png") // a pasted screenshot's or a sticker's size
        return made[kind] = Png(bench::PhotoLikePixels(500, 500, 4), 500, 500);
    const auto rgb = bench::PhotoLikePixels(4000, 3000, 3);
    std::vector<std::uint8_t> jpeg = testing::MakeJpeg(rgb.data(), 4000, 3000, 90);
    if (kind == "jpeg")
        return made[kind] = std::move(jpeg);
    const std::string dir = "/tmp/mugrove-bench-sandbox-" + std::to_string(getpid());
    const std::string in = dir + "/photo.jpg", out = dir + "/photo." + kind;
    std::system(("mkdir -p " + dir).c_str());
    std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), std::streamsize(jpeg.size()));
    const std::map<std::string, std::string> commands = {
        {"heic", "heif-enc -q 90 -p preset=fast " + in + " -o " + out},
        {"avif", "avifenc -s 8 " + in + " " + out},
        {"jxl", "cjxl --lossless_jpeg=0 -d 1 " + in + " " + out},
    };
    made[kind] = Through(commands.at(kind), out);
    std::system(("rm -rf " + dir).c_str());
    return made[kind];
}

void Decode(benchmark::State& state, const std::string& kind, bool sandboxed)
{
    const std::vector<std::uint8_t>& bytes = File(kind);
    if (bytes.empty()) {
        state.SkipWithError(("no " + kind + " file: its encoder tool is not installed").c_str());
        return;
    }
    StartDecoderAhead();
    for (auto _ : state) {
        if (sandboxed) {
            state.PauseTiming();
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            state.ResumeTiming();
        }
        DecodedPicture picture;
        const DecodeError e = sandboxed ? DecodePicture(bytes, picture) : DecodePictureInProcess(bytes, picture);
        if (e != DecodeError::None) {
            state.SkipWithError("the picture did not decode");
            return;
        }
        benchmark::DoNotOptimize(picture.image.pixels.data());
    }
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    for (const char* kind : {"jpeg", "heic", "avif", "jxl", "png"})
        for (const bool sandboxed : {false, true})
            benchmark::RegisterBenchmark((std::string(sandboxed ? "Sandboxed/" : "InProcess/") + kind).c_str(),
                                         [kind, sandboxed](benchmark::State& s) { Decode(s, kind, sandboxed); })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->Iterations(kind == std::string("png") ? 40 : 12);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
