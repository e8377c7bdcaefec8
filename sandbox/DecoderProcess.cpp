#include "sandbox/DecoderProcess.h"

#include "sandbox/Channel.h"
#include "sandbox/Lockdown.h"
#include "sandbox/Sanitized.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace mugrove::sandbox {

static_assert(kAnswerTimeout == std::chrono::seconds(10), "StopText says how long a decoder may take");

UniqueFd::UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.Release();
    }
    return *this;
}

UniqueFd::~UniqueFd()
{
    if (fd_ >= 0)
        ::close(fd_);
}

int UniqueFd::Release() noexcept
{
    return std::exchange(fd_, -1);
}

std::string_view StopText(DecoderStop stop)
{
    switch (stop) {
    case DecoderStop::None:
        return "still running";
    case DecoderStop::BlockedCall:
        return "blocked system call";
    case DecoderStop::MemoryLimit:
        return "out of its memory limit";
    case DecoderStop::CpuLimit:
        return "used up its processor time";
    case DecoderStop::TooLong:
        return "took longer than 10 s";
    case DecoderStop::Crashed:
        return "crashed";
    case DecoderStop::Killed:
        return "killed from outside";
    case DecoderStop::Refused:
        return "broke the protocol";
    case DecoderStop::CannotStart:
        return "could not be started";
    }
    return "stopped";
}

namespace {

using Clock = std::chrono::steady_clock;

// How long a process that closed its end of the channel may take to be
// gone: it is on its way out (its descriptors close as it exits), unless it
// closed the channel and went on running, which the protocol does not allow.
constexpr std::chrono::milliseconds kExitGrace{2'000};

void WriteStopLine(DecoderStop stop, const std::string& detail)
{
    std::fprintf(stderr, "mugrove: decoder stopped: %.*s%s\n", static_cast<int>(StopText(stop).size()),
                 StopText(stop).data(), detail.c_str());
}

int MillisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

// Waits for `events` on `fd` until the deadline; false when it passed.
bool WaitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd wait{fd, events, 0};
        const int ready = ::poll(&wait, 1, MillisecondsLeft(deadline));
        if (ready > 0)
            return true;
        if (ready == 0)
            return false;
        if (errno != EINTR)
            return true; // let the call that follows say what is wrong
    }
}

std::string DirectoryOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string ThisProgram()
{
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

// The helper installed beside this program; else, for a program that runs
// from the build tree (and only then, so that an installed program never
// starts whatever lies where it was once built), the one built there.
std::string FindHelper()
{
    const std::string self = ThisProgram();
    if (!self.empty()) {
        const std::string beside = DirectoryOf(self) + "/mugrove-decoder";
        if (::access(beside.c_str(), X_OK) == 0)
            return beside;
    }
#ifdef MUGROVE_BUILD_TREE_DECODER
    const std::string built = MUGROVE_BUILD_TREE_DECODER;
    const std::string tree = DirectoryOf(built) + "/";
    if (!tree.empty() && self.starts_with(tree))
        return built;
#endif
    return {};
}

// Moves a descriptor above the standard ones and the channel's number, so
// that placing the child's descriptors cannot overwrite it.
UniqueFd Above(UniqueFd fd)
{
    if (fd.Get() > kChannelFd)
        return fd;
    return UniqueFd(::fcntl(fd.Get(), F_DUPFD_CLOEXEC, kChannelFd + 1));
}

} // namespace

struct DecoderProcess::State {
    pid_t pid = -1;
    UniqueFd pidfd; // to wait for the end with a time limit; may be missing
    UniqueFd channel;
    DecoderLimits limits;
    // Why we killed it, when we did: TooLong or Refused.
    DecoderStop killedFor = DecoderStop::None;
    bool reaped = false;
    DecoderStop stop = DecoderStop::None;
    std::string detail; // after the reason: the signal or the exit code

    void Kill(DecoderStop why)
    {
        if (reaped || killedFor != DecoderStop::None)
            return;
        killedFor = why;
        ::kill(pid, SIGKILL); // not reaped yet, so the number is still its own
    }

    // Waits until the process has ended and reaps it.
    void Reap()
    {
        if (reaped)
            return;
        if (killedFor == DecoderStop::None && pidfd && !WaitFor(pidfd.Get(), POLLIN, Clock::now() + kExitGrace))
            Kill(DecoderStop::Refused);
        int status = 0;
        rusage usage{};
        pid_t got;
        do
            got = ::wait4(pid, &status, 0, &usage);
        while (got < 0 && errno == EINTR);
        reaped = true;
        pidfd = UniqueFd();
        stop = got == pid ? Classify(status, usage) : DecoderStop::Refused;
    }

    DecoderStop Classify(int status, const rusage& usage)
    {
        if (WIFEXITED(status)) {
            switch (WEXITSTATUS(status)) {
            case kExitOutOfMemory:
                return DecoderStop::MemoryLimit;
            case kExitLockdownFailed:
                return DecoderStop::CannotStart;
            case kExitProtocol:
                return DecoderStop::Refused;
            default:
                detail = " (it ended with " + std::to_string(WEXITSTATUS(status)) + ")";
                return DecoderStop::Refused;
            }
        }
        if (!WIFSIGNALED(status))
            return DecoderStop::Refused;
        const int signal = WTERMSIG(status);
        if (signal == SIGKILL && killedFor != DecoderStop::None)
            return killedFor;
        if (signal == SIGSYS)
            return DecoderStop::BlockedCall;
        if (signal == SIGXCPU)
            return DecoderStop::CpuLimit;
        if (signal == SIGKILL) {
            // The kernel kills with SIGKILL at the hard processor-time limit
            // (a process that let SIGXCPU pass at the soft one).
            const double seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
            if (limits.cpuSeconds != 0 && seconds >= limits.cpuSeconds)
                return DecoderStop::CpuLimit;
            return DecoderStop::Killed;
        }
        detail = " (signal " + std::to_string(signal) + ")";
        return DecoderStop::Crashed;
    }
};

std::unique_ptr<DecoderProcess> DecoderProcess::Start(const DecoderLimits& limits)
{
    return Start(FindHelper(), limits);
}

std::unique_ptr<DecoderProcess> DecoderProcess::Start(const std::string& program, const DecoderLimits& limits)
{
    const auto cannot = [](const char* why) {
        WriteStopLine(DecoderStop::CannotStart, std::string(" (") + why + ")");
        return nullptr;
    };
    if (program.empty())
        return cannot("the helper program mugrove-decoder was not found");
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        return cannot(std::strerror(errno));
    UniqueFd ours(ends[0]);
    UniqueFd theirs = Above(UniqueFd(ends[1]));
    if (!theirs)
        return cannot(std::strerror(errno));
    // A message may be as long as kMaxMessageBytes where the system lets a
    // socket hold that much; the kernel caps the size asked for.
    const int room = static_cast<int>(kMaxMessageBytes) + 4096;
    ::setsockopt(ours.Get(), SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
    ::setsockopt(theirs.Get(), SOL_SOCKET, SO_SNDBUF, &room, sizeof room);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    // The child's end on the channel's number, /dev/null on the standard
    // three (a sanitized build keeps standard error so that its findings
    // are seen), and nothing else.
    posix_spawn_file_actions_adddup2(&actions, theirs.Get(), kChannelFd);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
#if !defined(MUGROVE_SANITIZED)
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
#endif
    posix_spawn_file_actions_addclosefrom_np(&actions, kChannelFd + 1);
    // Signals as a new program expects them, whatever this thread blocks or
    // this program ignores.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> arguments = LimitArguments(limits);
    arguments.insert(arguments.begin(), program);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    // The libraries' symbols bound as they load, while the process waits
    // for work, instead of one by one on the first picture's path.
    std::vector<char*> environment;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "LD_BIND_NOW=", 12) != 0)
            environment.push_back(*e);
    char bindNow[] = "LD_BIND_NOW=1";
    environment.push_back(bindNow);
    environment.push_back(nullptr);

    pid_t pid = -1;
    const int failed = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0)
        return cannot(std::strerror(failed));

    std::unique_ptr<DecoderProcess> process(new DecoderProcess);
    process->state_ = std::make_unique<State>();
    State& state = *process->state_;
    state.pid = pid;
    state.pidfd = UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    state.channel = std::move(ours);
    state.limits = limits;
    return process;
}

DecoderProcess::~DecoderProcess()
{
    if (!state_ || state_->reaped)
        return;
    state_->Kill(DecoderStop::Refused);
    state_->Reap();
}

bool DecoderProcess::Send(std::span<const std::uint8_t> message, std::span<const int> fds,
                          std::chrono::milliseconds timeout)
{
    State& state = *state_;
    if (state.reaped || state.killedFor != DecoderStop::None)
        return false;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        switch (SendMessageNow(state.channel.Get(), message, fds)) {
        case Sent::Whole:
            return true;
        case Sent::Failed:
            return false;
        case Sent::Full:
            break;
        }
        if (!WaitFor(state.channel.Get(), POLLOUT, deadline)) {
            state.Kill(DecoderStop::TooLong);
            return false;
        }
    }
}

bool DecoderProcess::Receive(std::vector<std::uint8_t>& message, std::vector<UniqueFd>& fds,
                             std::chrono::milliseconds timeout)
{
    State& state = *state_;
    message.clear();
    fds.clear();
    if (state.reaped || state.killedFor != DecoderStop::None)
        return false;
    if (!WaitFor(state.channel.Get(), POLLIN, Clock::now() + timeout)) {
        state.Kill(DecoderStop::TooLong);
        return false;
    }
    switch (ReceiveMessage(state.channel.Get(), message, fds)) {
    case Received::Message:
        return true;
    case Received::Malformed:
        state.Kill(DecoderStop::Refused);
        return false;
    case Received::Closed:
    case Received::Failed:
        return false;
    }
    return false;
}

DecoderStop DecoderProcess::Stopped()
{
    state_->Reap();
    return state_->stop;
}

DecoderStop DecoderProcess::ReportStop()
{
    const DecoderStop stop = Stopped();
    WriteStopLine(stop, state_->detail);
    return stop;
}

pid_t DecoderProcess::Pid() const
{
    return state_->pid;
}

bool DecoderProcess::LimitCpu(unsigned seconds)
{
    State& state = *state_;
    if (state.reaped || seconds == 0)
        return false;
    // The hard limit a little above, as at start, so that SIGXCPU comes first.
    const rlimit limit{seconds, seconds + 2};
    if (::prlimit(state.pid, RLIMIT_CPU, &limit, nullptr) != 0)
        return false;
    state.limits.cpuSeconds = seconds;
    return true;
}

} // namespace mugrove::sandbox
