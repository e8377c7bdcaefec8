#pragma once

// Whole messages with descriptors over a SOCK_SEQPACKET socket: used by the
// program and by the decoder process alike.

#include "sandbox/DecoderProcess.h"

#include <cstdint>
#include <span>
#include <vector>

namespace mugrove::sandbox {

// At most this many descriptors travel with one message.
inline constexpr std::size_t kMaxFdsPerMessage = 4;

// Sends one message and `fds` with it. False on any failure (the peer gone).
bool SendMessage(int socket, std::span<const std::uint8_t> message, std::span<const int> fds = {});

enum class Sent { Whole, Full, Failed };
// The same without waiting: Full when the peer has not taken enough of
// what was sent before for this message to fit (nothing was sent then).
Sent SendMessageNow(int socket, std::span<const std::uint8_t> message, std::span<const int> fds = {});

enum class Received { Message, Closed, Malformed, Failed };

// Waits for one message (blocking). Malformed: longer than kMaxMessageBytes,
// truncated, or with more than kMaxFdsPerMessage descriptors or other
// control data (whatever descriptors came are closed).
Received ReceiveMessage(int socket, std::vector<std::uint8_t>& message, std::vector<UniqueFd>& fds);

} // namespace mugrove::sandbox
