// The messages between the program and a decoder process, as either side
// reads them: the first byte picks the reader, the rest is the message. A
// message read as valid must keep the promises its reader makes.

#include "sandbox/Answers.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

using namespace mugrove;
using namespace mugrove::sandbox;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::span<const std::uint8_t> message(data + 1, size - 1);
    switch (data[0] % 6) {
    case 0: {
        Request q;
        if (ReadRequest(message, q) && (!std::isfinite(q.seconds) || !std::isfinite(q.segment.start)))
            __builtin_trap();
        break;
    }
    case 1: {
        PictureFacts f;
        if (ReadFacts(message, f) && f.error == DecodeError::None &&
            (f.width <= 0 || f.height <= 0 || CheckDimensions(f.width, f.height) != DecodeError::None ||
             f.delays.size() == 1 || f.delays.size() > kMaxFrames))
            __builtin_trap();
        break;
    }
    case 2: {
        ReaderFacts f;
        if (ReadReaderFacts(message, f) && f.error == DecodeError::None &&
            (f.times.Count() == 0 || f.times.startUs.size() != f.times.Count() || f.clip.width <= 0))
            __builtin_trap();
        break;
    }
    case 3: {
        FrameAnswer frame;
        if (ReadFrame(message, 2, 10, frame) && (frame.slot >= 2 || frame.index >= 10))
            __builtin_trap();
        break;
    }
    case 4: {
        SoundAnswer sound;
        if (ReadSound(message, 2, sound) && sound.samples.size() % 2 != 0)
            __builtin_trap();
        break;
    }
    default: {
        std::uint64_t count = 0;
        DecodeError problem{};
        (void)ReadSegmentEnd(message, count, problem);
        break;
    }
    }
    return 0;
}
