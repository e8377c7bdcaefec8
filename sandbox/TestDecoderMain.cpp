// The helper program with entries that misbehave on purpose, so that the
// tests can see each way a decoder process may end. Built only with them.

#include "sandbox/Channel.h"
#include "sandbox/Helper.h"
#include "sandbox/Lockdown.h"
#include "sandbox/TestEntries.h"
#include "sandbox/Wire.h"

#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace mugrove::sandbox;

// What an entry does when the sandbox failed to stop it: ends in a way the
// tests do not expect of that entry.
[[noreturn]] void NotStopped()
{
    ::_exit(kExitProtocol);
}

// Where the allocation is kept, so that it is not left out.
std::uint8_t* volatile g_kept;

// A fault of the processor's own finding, also in a sanitized build (whose
// checker would otherwise end the process first, for a bug of its finding).
[[noreturn]] __attribute__((no_sanitize("undefined"))) void WriteThroughNull()
{
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
    NotStopped();
}

bool Answer(std::span<const std::uint8_t> message)
{
    Reader reader(message);
    Message type{};
    std::uint32_t entry = 0;
    if (!reader.Type(type) || type != Message::TestEntry || !reader.Get(entry))
        return false;
    switch (static_cast<TestEntry>(entry)) {
    case TestEntry::Answer:
        return SendMessage(kChannelFd, message);
    case TestEntry::OpenThenSocket:
        if (::open("/etc/passwd", O_RDONLY | O_CLOEXEC) >= 0)
            NotStopped();
        ::socket(AF_INET, SOCK_STREAM, 0);
        NotStopped();
    case TestEntry::NullWrite:
        WriteThroughNull();
    case TestEntry::Spin: {
        volatile unsigned long turns = 0;
        for (;;)
            turns = turns + 1;
    }
    case TestEntry::Allocate: {
        std::uint64_t bytes = 0;
        if (!reader.Get(bytes))
            return false;
        auto* block = new std::uint8_t[bytes];
        std::memset(block, 1, bytes);
        g_kept = block;
        return SendMessage(kChannelFd, message); // the limit did not hold
    }
    case TestEntry::Exec: {
        char program[] = "/bin/true";
        char* const argv[] = {program, nullptr};
        ::execve(program, argv, nullptr);
        NotStopped();
    }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    RunHelper(argc, argv, Answer);
}
