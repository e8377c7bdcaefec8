#pragma once

// The entries of the helper's test build (Message::TestEntry, then one of
// these as a uint32): each ends the process as a hostile file might.

#include <cstdint>

namespace mugrove::sandbox {

enum class TestEntry : std::uint32_t {
    Answer = 0,         // sends the message back: the process is up and locked down
    OpenThenSocket = 1, // opens /etc/passwd (refused), then makes a network socket
    NullWrite = 2,      // writes through a null pointer
    Spin = 3,           // runs for ever
    Allocate = 4,       // allocates and fills the bytes given (a uint64 after the entry)
    Exec = 5,           // starts /bin/true
};

} // namespace mugrove::sandbox
