#pragma once

// A limit on this process's address space for a test that needs an
// allocation to fail as it would with the system's memory gone.

#include <cstdint>
#include <cstdio>

#include <sys/resource.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define MUGROVE_TESTING_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MUGROVE_TESTING_SANITIZED 1
#endif
#endif

namespace mugrove::testing {

// While it lives, the process may map only `headroom` bytes beyond what it
// has mapped already, so that a larger allocation fails as it would with the
// system's memory gone. The sanitizers' allocator cannot run under such a
// limit (it aborts instead of failing), so there is none there.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(std::uint64_t headroom)
    {
#if !defined(MUGROVE_TESTING_SANITIZED)
        unsigned long long pages = 0;
        std::FILE* statm = std::fopen("/proc/self/statm", "r");
        const bool known = statm != nullptr && std::fscanf(statm, "%llu", &pages) == 1;
        if (statm != nullptr)
            std::fclose(statm);
        if (!known || getrlimit(RLIMIT_AS, &before_) != 0)
            return;
        rlimit lower = before_;
        lower.rlim_cur = static_cast<rlim_t>(pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE)) + headroom);
        active_ = lower.rlim_cur < before_.rlim_cur && setrlimit(RLIMIT_AS, &lower) == 0;
#else
        (void)headroom;
#endif
    }
    ~AddressSpaceLimit()
    {
        if (active_)
            setrlimit(RLIMIT_AS, &before_);
    }
    AddressSpaceLimit(const AddressSpaceLimit&) = delete;
    AddressSpaceLimit& operator=(const AddressSpaceLimit&) = delete;
    bool Active() const { return active_; }

private:
    rlimit before_{};
    bool active_ = false;
};

} // namespace mugrove::testing
