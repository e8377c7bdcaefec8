#pragma once

// The helper's side: what a decoder process drops before it reads the
// first byte of a file. Plain C++ (Linux), no Qt.

#include "sandbox/DecoderProcess.h"

namespace mugrove::sandbox {

// The descriptor the program hands its end of the socket pair on.
inline constexpr int kChannelFd = 3;

// Reads the limits the program passed on the command line.
bool ParseLimits(int argc, char** argv, DecoderLimits& out);
// The command-line arguments that ParseLimits reads back.
std::vector<std::string> LimitArguments(const DecoderLimits& limits);

// Closes every descriptor but 0, 1, 2 and kChannelFd, sets the limits, keeps
// the heap from reserving address space per thread, sets no_new_privs and
// loads the system-call filter. False (and the process should end with
// kExitLockdownFailed) when any step fails.
bool LockDown(const DecoderLimits& limits);

} // namespace mugrove::sandbox
