#pragma once

// The helper's work once locked down: answers the program's requests on
// the channel until the program closes it.

#include <cstdint>
#include <functional>
#include <span>

namespace mugrove::sandbox {

// Done before the lockdown: whatever the decoding libraries would otherwise
// do lazily that the filter forbids (loading plug-ins, reading settings).
void PrepareDecoders();

// A hook the test build of the helper answers its own messages with: true
// when it took the message.
using TestHook = std::function<bool(std::span<const std::uint8_t> message)>;

// Answers requests on `channel` until it closes; returns the exit code.
int ServeDecoding(int channel, const TestHook& testHook = {});

} // namespace mugrove::sandbox
