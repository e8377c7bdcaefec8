// What a picture from outside pays for its decoder process: from starting
// the helper to its first answer (a 2 × 2 BMP opened), against the same
// request to a process started earlier whose libraries are loaded, as the
// one the program starts ahead of need is.
#include "sandbox/DecoderProcess.h"
#include "sandbox/SharedMemory.h"
#include "sandbox/Wire.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

using namespace mugrove::sandbox;

namespace {

// A 2 × 2 BMP of 24 bits per pixel, rows padded to 8 bytes.
std::vector<std::uint8_t> TinyBmp()
{
    std::vector<std::uint8_t> b(54 + 16, 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    b[0] = 'B', b[1] = 'M';
    put32(2, static_cast<std::uint32_t>(b.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, 2);
    put32(22, 2);
    b[26] = 1;
    b[28] = 24;
    return b;
}

const DecoderLimits kLimits{std::uint64_t{3} << 30, 30};

// Sends the picture and waits for the facts; false when the process failed.
bool Open(DecoderProcess& process, const UniqueFd& picture)
{
    const int fd = picture.Get();
    std::vector<std::uint8_t> answer;
    std::vector<UniqueFd> fds;
    Message type{};
    return process.Send(Writer(Message::OpenPicture).Bytes(), {&fd, 1}) && process.Receive(answer, fds) &&
           Reader(answer).Type(type) && type == Message::Opened;
}

void BM_DecoderStartToFirstAnswer(benchmark::State& state)
{
    const UniqueFd picture = SealedCopy(TinyBmp());
    for (auto _ : state) {
        std::unique_ptr<DecoderProcess> process = DecoderProcess::Start(kLimits);
        if (!process || !Open(*process, picture)) {
            state.SkipWithError("the decoder process did not answer");
            return;
        }
        state.PauseTiming();
        process.reset(); // its end is not the picture's wait
        state.ResumeTiming();
    }
}

void BM_DecoderStartedAheadAnswers(benchmark::State& state)
{
    const UniqueFd picture = SealedCopy(TinyBmp());
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<DecoderProcess> process = DecoderProcess::Start(kLimits);
        // Long enough for it to load its libraries and wait for a request.
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        state.ResumeTiming();
        if (!process || !Open(*process, picture)) {
            state.SkipWithError("the decoder process did not answer");
            return;
        }
        state.PauseTiming();
        process.reset();
        state.ResumeTiming();
    }
}

BENCHMARK(BM_DecoderStartToFirstAnswer)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(30);
BENCHMARK(BM_DecoderStartedAheadAnswers)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

} // namespace

BENCHMARK_MAIN();
