#include "sandbox/Lockdown.h"

#include "sandbox/Sanitized.h"

#include <seccomp.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <initializer_list>

#include <fcntl.h>
#include <linux/sched.h>
#include <malloc.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>


namespace mugrove::sandbox {

namespace {

// Descriptors a decoder may hold at once: the standard three, the channel,
// and what the program hands over (a picture's bytes, shared memory).
constexpr rlim_t kMaxOpenFiles = 64;
// The hard processor-time limit lies this far beyond the soft one, where
// the kernel sends SIGXCPU; at the hard one it kills.
constexpr rlim_t kCpuGraceSeconds = 2;

bool CloseAllButOurs()
{
    if (::close_range(kChannelFd + 1, ~0U, 0) == 0)
        return true;
    // Kernels before 5.9: one at a time up to the descriptor limit.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0)
        return false;
    const long last = files.rlim_cur == RLIM_INFINITY ? 1 << 20 : static_cast<long>(std::min<rlim_t>(files.rlim_cur, 1 << 20));
    for (long fd = kChannelFd + 1; fd < last; ++fd)
        ::close(static_cast<int>(fd));
    return true;
}

bool Limit(int resource, rlim_t soft, rlim_t hard)
{
    const rlimit limit{soft, hard};
    return ::setrlimit(resource, &limit) == 0;
}

bool SetLimits(const DecoderLimits& limits)
{
    // No core files: a crash of a decoder is expected and its memory holds
    // the user's pictures.
    if (!Limit(RLIMIT_CORE, 0, 0) || !Limit(RLIMIT_NOFILE, kMaxOpenFiles, kMaxOpenFiles))
        return false;
#if !defined(MUGROVE_SANITIZED)
    // The sanitizers reserve terabytes of address space for their shadow
    // memory, and a sanitized build keeps standard error (which may be a
    // file) for its findings: neither limit can hold there.
    if (limits.addressSpaceBytes != 0 && !Limit(RLIMIT_AS, limits.addressSpaceBytes, limits.addressSpaceBytes))
        return false;
    if (!Limit(RLIMIT_FSIZE, 0, 0))
        return false;
#endif
    // RLIMIT_NPROC is not set: it counts every process and thread of the
    // user, so any value that stops a fork would stop the decoders' threads
    // too. The filter stops forks instead.
    return limits.cpuSeconds == 0 || Limit(RLIMIT_CPU, limits.cpuSeconds, limits.cpuSeconds + kCpuGraceSeconds);
}

class Filter {
public:
    Filter() : context_(seccomp_init(SCMP_ACT_KILL_PROCESS)) {}
    ~Filter()
    {
        if (context_ != nullptr)
            seccomp_release(context_);
    }
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;

    bool Ok() const { return context_ != nullptr && ok_; }
    scmp_filter_ctx Context() const { return context_; }

    // A call allowed (or answered with `action`) whatever its arguments.
    void Add(int call, std::uint32_t action = SCMP_ACT_ALLOW) { Check(seccomp_rule_add(context_, action, call, 0)); }
    // A call allowed (or answered with `action`) when its arguments pass
    // the comparisons.
    void Add(int call, std::initializer_list<scmp_arg_cmp> comparisons, std::uint32_t action = SCMP_ACT_ALLOW)
    {
        Check(seccomp_rule_add_array(context_, action, call, static_cast<unsigned>(comparisons.size()),
                                     comparisons.begin()));
    }
    // A call that this machine may not have (the old forms that newer
    // machines leave to their *at twins).
    void AddIfKnown(int call, std::uint32_t action = SCMP_ACT_ALLOW)
    {
        if (call >= 0)
            Add(call, action);
    }

private:
    void Check(int result) { ok_ = ok_ && result == 0; }

    scmp_filter_ctx context_;
    bool ok_ = true;
};

// Argument `index` compared (libseccomp's SCMP_A0... are C compound literals).
scmp_arg_cmp Arg(unsigned index, scmp_compare op, scmp_datum_t value, scmp_datum_t mask = 0)
{
    // A masked comparison takes the mask first, then the value.
    return op == SCMP_CMP_MASKED_EQ ? scmp_arg_cmp{index, op, mask, value} : scmp_arg_cmp{index, op, value, 0};
}

bool LoadFilter()
{
    Filter filter;
    if (filter.Context() == nullptr)
        return false;
    scmp_filter_ctx context = filter.Context();
    if (seccomp_attr_set(context, SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_KILL_PROCESS) != 0 ||
        seccomp_attr_set(context, SCMP_FLTATR_CTL_NNP, 1) != 0 ||
        // Every thread, should a library have started one already.
        seccomp_attr_set(context, SCMP_FLTATR_CTL_TSYNC, 1) != 0)
        return false;

    constexpr std::uint32_t kNoAccess = SCMP_ACT_ERRNO(EACCES);
    const auto allow = {
        // Reading the bytes handed over, writing pixels and standard error.
        SCMP_SYS(read), SCMP_SYS(readv), SCMP_SYS(pread64), SCMP_SYS(write), SCMP_SYS(writev),
        SCMP_SYS(lseek), SCMP_SYS(fstat), SCMP_SYS(close),
        // Memory.
        SCMP_SYS(mmap), SCMP_SYS(munmap), SCMP_SYS(mprotect), SCMP_SYS(mremap), SCMP_SYS(madvise),
        SCMP_SYS(brk),
        // Threads and their waiting.
        SCMP_SYS(futex), SCMP_SYS(set_robust_list), SCMP_SYS(rseq), SCMP_SYS(sched_yield),
        SCMP_SYS(sched_getaffinity), SCMP_SYS(gettid), SCMP_SYS(getpid), SCMP_SYS(exit),
        SCMP_SYS(exit_group), SCMP_SYS(restart_syscall),
        // Clocks and sleeping.
        SCMP_SYS(clock_gettime), SCMP_SYS(clock_getres), SCMP_SYS(clock_nanosleep), SCMP_SYS(nanosleep),
        SCMP_SYS(gettimeofday),
        // Signals of its own (an abort raises one with tgkill, checked below).
        SCMP_SYS(rt_sigaction), SCMP_SYS(rt_sigprocmask), SCMP_SYS(rt_sigreturn), SCMP_SYS(sigaltstack),
        // What libraries ask of the machine: random seeds, memory size.
        SCMP_SYS(getrandom), SCMP_SYS(sysinfo), SCMP_SYS(uname), SCMP_SYS(poll), SCMP_SYS(ppoll),
    };
    for (int call : allow)
        filter.AddIfKnown(call); // poll: not on every machine

    // fstat is fstatat(fd, "", AT_EMPTY_PATH) in the C library.
    filter.Add(SCMP_SYS(newfstatat), {Arg(3, SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH)});
    // Messages on the channel alone.
    filter.Add(SCMP_SYS(recvmsg), {Arg(0, SCMP_CMP_EQ, kChannelFd)});
    filter.Add(SCMP_SYS(sendmsg), {Arg(0, SCMP_CMP_EQ, kChannelFd)});
    for (int command : {F_GETFD, F_SETFD, F_GETFL, F_DUPFD_CLOEXEC, F_GET_SEALS})
        filter.Add(SCMP_SYS(fcntl), {Arg(1, SCMP_CMP_EQ, static_cast<scmp_datum_t>(command))});
    // Threads, but no new process: clone with a thread's flags, and no
    // namespace of its own.
    constexpr scmp_datum_t kThread = CLONE_VM | CLONE_FS | CLONE_FILES | CLONE_SIGHAND | CLONE_THREAD;
    constexpr scmp_datum_t kNamespaces =
        CLONE_NEWNS | CLONE_NEWCGROUP | CLONE_NEWUTS | CLONE_NEWIPC | CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNET;
    filter.Add(SCMP_SYS(clone), {Arg(0, SCMP_CMP_MASKED_EQ, kThread, kThread | kNamespaces)});
    // clone3 passes its flags in memory, where the filter cannot look: the C
    // library falls back to clone when it is missing.
    filter.Add(SCMP_SYS(clone3), SCMP_ACT_ERRNO(ENOSYS));
    // Signals to its own threads only (abort, thread cancellation).
    filter.Add(SCMP_SYS(tgkill), {Arg(0, SCMP_CMP_EQ, static_cast<scmp_datum_t>(::getpid()))});
    // Its own limits may be read, not changed.
    filter.Add(SCMP_SYS(prlimit64), {Arg(0, SCMP_CMP_EQ, 0), Arg(2, SCMP_CMP_EQ, 0)});
    filter.Add(SCMP_SYS(getrlimit));
    // Threads name themselves; any other setting is refused (without an
    // end: a newer C library may name its memory the same way).
    static_assert(PR_GET_NAME == PR_SET_NAME + 1);
    filter.Add(SCMP_SYS(prctl), {Arg(0, SCMP_CMP_EQ, PR_SET_NAME)});
    filter.Add(SCMP_SYS(prctl), {Arg(0, SCMP_CMP_EQ, PR_GET_NAME)});
    filter.Add(SCMP_SYS(prctl), {Arg(0, SCMP_CMP_LT, PR_SET_NAME)}, SCMP_ACT_ERRNO(EPERM));
    filter.Add(SCMP_SYS(prctl), {Arg(0, SCMP_CMP_GT, PR_GET_NAME)}, SCMP_ACT_ERRNO(EPERM));

    // Libraries look for processor counts and settings in files and go on
    // without them: a refusal, so that they do, but nothing is opened.
    filter.Add(SCMP_SYS(openat), kNoAccess);
    filter.AddIfKnown(SCMP_SYS(open), kNoAccess);
    filter.Add(SCMP_SYS(readlinkat), kNoAccess);
    filter.AddIfKnown(SCMP_SYS(readlink), kNoAccess);
    filter.AddIfKnown(SCMP_SYS(access), kNoAccess);
    filter.Add(SCMP_SYS(faccessat), kNoAccess);
    filter.Add(SCMP_SYS(faccessat2), kNoAccess);
    filter.AddIfKnown(SCMP_SYS(stat), kNoAccess);
    filter.AddIfKnown(SCMP_SYS(lstat), kNoAccess);
    filter.Add(SCMP_SYS(newfstatat), {Arg(3, SCMP_CMP_MASKED_EQ, 0, AT_EMPTY_PATH)}, kNoAccess);
    filter.Add(SCMP_SYS(statx), SCMP_ACT_ERRNO(ENOSYS));
    // Is standard error a terminal? No.
    filter.Add(SCMP_SYS(ioctl), SCMP_ACT_ERRNO(ENOTTY));

#if defined(MUGROVE_SANITIZED)
    // The undefined-behaviour checker tests whether memory can be read by
    // writing it into a pipe of its own.
    filter.Add(SCMP_SYS(pipe2));
    filter.AddIfKnown(SCMP_SYS(pipe));
#endif

    if (!filter.Ok())
        return false;
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && seccomp_load(context) == 0;
}

} // namespace

bool LockDown(const DecoderLimits& limits)
{
    if (!CloseAllButOurs())
        return false;
    // glibc gives each thread a heap arena that reserves 64 MB of address
    // space: with many threads that alone would reach the limit.
    ::mallopt(M_ARENA_MAX, 2);
    return SetLimits(limits) && LoadFilter();
}

} // namespace mugrove::sandbox
