#include "sandbox/Serve.h"

#include "sandbox/Channel.h"
#include "sandbox/Wire.h"

namespace mugrove::sandbox {

void PrepareDecoders() {}

int ServeDecoding(int channel, const TestHook& testHook)
{
    std::vector<std::uint8_t> message;
    std::vector<UniqueFd> fds;
    for (;;) {
        switch (ReceiveMessage(channel, message, fds)) {
        case Received::Message:
            break;
        case Received::Closed:
            return 0;
        case Received::Malformed:
        case Received::Failed:
            return kExitProtocol;
        }
        if (testHook && testHook(message))
            continue;
        return kExitProtocol;
    }
}

} // namespace mugrove::sandbox
