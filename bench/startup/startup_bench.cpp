// Time from process start to the first painted main window, and resident
// memory at that moment: Mugrove against a minimal Qt Widgets program.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Runs `program` until it reports its first paint; returns the resident KiB
// it printed, or -1.
long RunOnce(const std::string& program)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return -1;
    }
    std::string out;
    char buffer[256];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, std::size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    const auto at = out.find("rss-kib=");
    return at == std::string::npos ? -1 : std::strtol(out.c_str() + at + 8, nullptr, 10);
}

void Measure(benchmark::State& state, const std::string& program)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("MUGROVE_FIRST_PAINT_REPORT", "1", 1);
    long rss = 0;
    for (auto _ : state) {
        rss = RunOnce(program);
        if (rss < 0) {
            state.SkipWithError(("no first-paint report from " + program).c_str());
            return;
        }
    }
    state.counters["rss_MiB"] = double(rss) / 1024.0;
}

const std::string kBinaryDir = MUGROVE_BINARY_DIR;

// The same texts in the same faces, in stock widgets: the fair yardstick.
void BM_ChineseTextsQtFirstPaint(benchmark::State& state)
{
    Measure(state, kBinaryDir + "/bench/chinese_window");
}
void BM_MugroveFirstPaint(benchmark::State& state) { Measure(state, kBinaryDir + "/mugrove"); }
void BM_MinimalQtFirstPaint(benchmark::State& state)
{
    Measure(state, kBinaryDir + "/bench/minimal_window");
}

BENCHMARK(BM_MinimalQtFirstPaint)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_ChineseTextsQtFirstPaint)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_MugroveFirstPaint)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

} // namespace

BENCHMARK_MAIN();
