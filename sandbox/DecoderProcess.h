#pragma once

// The program's side of a decoder process: a helper program of ours that
// decodes one picture or plays one clip in a process that can do nothing
// else (see Lockdown.h), so that a hostile file can crash only that process.
// Plain C++ (Linux), no Qt.

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mugrove::sandbox {

// A descriptor owned alone: closed when the owner goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept;
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd();
    int Get() const noexcept { return fd_; }
    int Release() noexcept;
    explicit operator bool() const noexcept { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Why a decoder process is gone.
enum class DecoderStop {
    None,           // still running
    BlockedCall,    // the filter stopped a system call it does not allow
    MemoryLimit,    // its address space ran out (it says so by its exit code)
    CpuLimit,       // its processor time ran out
    TooLong,        // no answer within the time allowed: killed by us
    Crashed,        // ended by a signal of its own making (SIGSEGV, SIGABRT, ...)
    Killed,         // killed from outside
    Refused,        // sent what the protocol does not allow, or ended by itself
    CannotStart,    // the helper program could not be found or started
};

// The words after "mugrove: decoder stopped: ": "blocked system call",
// "out of its memory limit", "took longer than 10 s", ...
std::string_view StopText(DecoderStop stop);

// Exit codes the helper ends with when it stops itself.
inline constexpr int kExitLockdownFailed = 70;
inline constexpr int kExitOutOfMemory = 71;
inline constexpr int kExitProtocol = 72;

// The limits a process runs under; both are set before it reads a byte.
struct DecoderLimits {
    std::uint64_t addressSpaceBytes = 0; // 0: none
    unsigned cpuSeconds = 0;             // 0: none (a clip plays for as long as it is shown)
};

// The largest message either side sends; pixels and file bytes cross in
// shared memory, never in messages.
inline constexpr std::size_t kMaxMessageBytes = 1 << 20;

// How long a decoder may take to answer one request.
inline constexpr std::chrono::milliseconds kAnswerTimeout{10'000};

class DecoderProcess {
public:
    // Starts the helper program found beside this program (or in the build
    // tree) with one end of a socket pair as its only descriptor besides
    // /dev/null on 0, 1 and 2. Null when it cannot be started; then it has
    // written the one line ReportStop would ("...: could not be started").
    static std::unique_ptr<DecoderProcess> Start(const DecoderLimits& limits);
    // The same with the helper program named: tests start a test build of it.
    static std::unique_ptr<DecoderProcess> Start(const std::string& program, const DecoderLimits& limits);
    // Kills the process if it still runs and reaps it.
    ~DecoderProcess();
    DecoderProcess(const DecoderProcess&) = delete;
    DecoderProcess& operator=(const DecoderProcess&) = delete;

    // Sends one message with the descriptors given (duplicated into the
    // process). False when the process is gone, or when it has not taken
    // enough of what was sent before for this to fit within `timeout` (then
    // it is killed, and Stopped() says TooLong).
    bool Send(std::span<const std::uint8_t> message, std::span<const int> fds = {},
              std::chrono::milliseconds timeout = kAnswerTimeout);
    // Waits up to `timeout` for one whole message and the descriptors sent
    // with it. False when the process died, sent more than kMaxMessageBytes
    // or a truncated message (then it is killed), or did not answer in time
    // (then it is killed, and Stopped() says TooLong).
    bool Receive(std::vector<std::uint8_t>& message, std::vector<UniqueFd>& fds,
                 std::chrono::milliseconds timeout = kAnswerTimeout);
    // After Send or Receive failed: reaps the process and says why it ended.
    DecoderStop Stopped();
    // Stopped(), and one line on standard error: "mugrove: decoder stopped: <why>".
    DecoderStop ReportStop();
    pid_t Pid() const;
    // Lowers the processor time it may use, from now on counting what it
    // used already: a process started ahead of need gets the limit of the
    // work it is given. False when the system refuses.
    bool LimitCpu(unsigned seconds);

private:
    DecoderProcess() = default;
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace mugrove::sandbox
