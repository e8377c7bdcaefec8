#pragma once

// The helper program's whole life, shared by the helper and its test build:
// read the limits, prepare the decoders, lock down, answer the channel.

#include "sandbox/Serve.h"

namespace mugrove::sandbox {

// Never returns: the process ends with ServeDecoding's exit code, or with
// kExitLockdownFailed when it could not lock itself down. It ends with
// _exit, never running exit handlers (the leak checker's would need calls
// the filter forbids).
[[noreturn]] void RunHelper(int argc, char** argv, const TestHook& testHook = {});

} // namespace mugrove::sandbox
