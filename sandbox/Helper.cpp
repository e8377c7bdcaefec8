#include "sandbox/Helper.h"

#include "sandbox/Lockdown.h"
#include "sandbox/Sanitized.h"

#include <new>
#include <thread>

#include <poll.h>
#include <unistd.h>

#if defined(MUGROVE_SANITIZED)
// A finding of the sanitizers ends the helper with a signal, as a crash:
// the program then reports it as one, whatever the environment says.
extern "C" const char* __asan_default_options()
{
    return "abort_on_error=1";
}
extern "C" const char* __ubsan_default_options()
{
    return "abort_on_error=1";
}
#endif

namespace mugrove::sandbox {

namespace {

// An allocation the address-space limit refuses ends the process with the
// code the program reads as "out of its memory limit".
void OutOfMemory()
{
    ::_exit(kExitOutOfMemory);
}

// Ends the process once the program has closed its end of the channel, even
// while a decoder is busy (or stuck): a helper whose program is gone (ended,
// or crashed) must not go on using the processor for no one.
void WatchChannel()
{
    std::thread([] {
        for (;;) {
            pollfd channel{kChannelFd, 0, 0}; // hang-up and errors are always reported
            if (::poll(&channel, 1, -1) > 0 && (channel.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
                ::_exit(0);
        }
    }).detach();
}

} // namespace

void RunHelper(int argc, char** argv, const TestHook& testHook)
{
    std::set_new_handler(OutOfMemory);
    DecoderLimits limits;
    if (!ParseLimits(argc, argv, limits))
        ::_exit(kExitLockdownFailed);
    PrepareDecoders();
    if (!LockDown(limits))
        ::_exit(kExitLockdownFailed);
    WatchChannel();
    ::_exit(ServeDecoding(kChannelFd, testHook));
}

} // namespace mugrove::sandbox
