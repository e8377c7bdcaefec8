#pragma once

// The messages between the program and a decoder process: a type, then
// fixed-size fields in the machine's own order (both ends are one build on
// one machine). A reader never reads past the message and says when it
// would have. Plain C++, no Qt, so the reading can be fuzzed alone.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>
#include <vector>

namespace mugrove::sandbox {

enum class Message : std::uint32_t {
    // program → decoder
    OpenPicture = 1, // a picture file's bytes (one descriptor)
    OpenClip,        // a clip's bytes or file (one descriptor) and the segment to play
    ClipFrameAt,     // a clip's bytes or file (one descriptor) and the moment shown
    Pixels,          // shared memory for the still picture (one descriptor)
    Ring,            // shared memory for the frames as they play (one descriptor)
    Advance,         // compose the next frame into a slot of the ring
    Reset,           // back to the first frame
    ReadSegment,     // decode the segment once, frames into the ring, with its sound
    Proceed,         // the program has taken a frame of ReadSegment's from the ring
    OpenReader,      // a clip's bytes or file (one descriptor), a segment, with sound or not
    TestEntry = 0x7E57, // only the test build of the helper answers it
    // decoder → program
    Opened = 100, // the picture's facts, or why there is none
    Written,      // the still picture is in the shared memory
    Frame,        // a frame is in the ring
    Sound,        // samples of the clip's sound
    SegmentEnd,   // ReadSegment is done
    ReaderOpened, // the clip reader's facts and frame times, or why there are none
};

class Writer {
public:
    explicit Writer(Message type) { Put(static_cast<std::uint32_t>(type)); }
    template <class T>
    Writer& Put(const T& value)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        const auto* p = reinterpret_cast<const std::uint8_t*>(&value);
        bytes_.insert(bytes_.end(), p, p + sizeof(T));
        return *this;
    }
    template <class T>
    Writer& PutArray(std::span<const T> values)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        Put(static_cast<std::uint32_t>(values.size()));
        const auto* p = reinterpret_cast<const std::uint8_t*>(values.data());
        bytes_.insert(bytes_.end(), p, p + values.size_bytes());
        return *this;
    }
    std::span<const std::uint8_t> Bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    // The message's type; false when it is too short to have one.
    bool Type(Message& out) { return Get(reinterpret_cast<std::uint32_t&>(out)); }
    template <class T>
    bool Get(T& out)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        if (!ok_ || bytes_.size() - at_ < sizeof(T))
            return ok_ = false;
        std::memcpy(&out, bytes_.data() + at_, sizeof(T));
        at_ += sizeof(T);
        return true;
    }
    // An array of at most `maxCount` elements.
    template <class T>
    bool GetArray(std::vector<T>& out, std::size_t maxCount)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        std::uint32_t count = 0;
        if (!Get(count) || count > maxCount || (bytes_.size() - at_) / sizeof(T) < count)
            return ok_ = false;
        out.resize(count);
        if (count != 0) // an empty vector's data() may be null, which memcpy may not be given
            std::memcpy(out.data(), bytes_.data() + at_, count * sizeof(T));
        at_ += count * sizeof(T);
        return true;
    }
    // True when every read so far succeeded and nothing is left over.
    bool Done() const { return ok_ && at_ == bytes_.size(); }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

} // namespace mugrove::sandbox
