#include "sandbox/Serve.h"

#include "controls/clips/Clip.h"
#include "controls/clips/ClipDecoder.h"
#include "controls/decoders/Decoders.h"
#include "sandbox/Answers.h"
#include "sandbox/Channel.h"
#include "sandbox/SharedMemory.h"
#include "sandbox/Wire.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <new>

namespace mugrove::sandbox {

namespace {

// A request the process cannot answer ends it: the program sent what it never sends.
struct ProtocolBroken {};

// Out of memory under the process's limit ends it with the code that says so.
[[noreturn]] void OutOfMemory() { _exit(kExitOutOfMemory); }

void Send(int channel, std::span<const std::uint8_t> message)
{
    if (!SendMessage(channel, message))
        throw ProtocolBroken{};
}

// Sound samples per message, well inside a message's size.
constexpr std::size_t kSoundFloatsPerMessage = 16 * 1024;

class Session;

// Frames of a segment read once into the ring, each slot free again when
// the program says it has taken its frame.
class RingSink final : public ClipFrameSink {
public:
    RingSink(Session& session, int channels) : session_(session), channels_(channels) {}
    bool Take(std::size_t index, Image& frame) override;
    bool TakeSound(const float* samples, std::size_t frames, double seconds) override;

private:
    Session& session_;
    int channels_;
};

class Session {
public:
    Session(int channel, const TestHook& hook) : channel_(channel), hook_(hook) {}

    int Run()
    {
        for (;;) {
            switch (Receive()) {
            case Received::Message: break;
            case Received::Closed: return 0;
            default: return kExitProtocol;
            }
            if (hook_ && hook_(message_))
                continue;
            try {
                Handle();
            } catch (const ProtocolBroken&) {
                return kExitProtocol;
            } catch (const std::bad_alloc&) {
                OutOfMemory();
            }
        }
    }

    // Waits for the program to free a slot of the ring; false when it says to stop.
    bool FreeSlot(unsigned& slot)
    {
        while (busy_.size() >= slots_) {
            if (Receive() != Received::Message)
                throw ProtocolBroken{};
            Request proceed;
            if (!ReadRequest(message_, proceed) || proceed.type != Message::Proceed)
                throw ProtocolBroken{};
            busy_.erase(std::remove(busy_.begin(), busy_.end(), proceed.slot), busy_.end());
            if (!proceed.go)
                stopped_ = true;
        }
        if (stopped_)
            return false;
        slot = 0;
        while (std::find(busy_.begin(), busy_.end(), slot) != busy_.end())
            ++slot;
        return true;
    }

    bool SendSegmentFrame(std::size_t index, const Image& frame)
    {
        unsigned slot = 0;
        if (!FreeSlot(slot))
            return false;
        CopyToSlot(frame, slot);
        busy_.push_back(slot);
        Send(channel_, WriteFrame({DecodeError::None, index, slot}));
        return true;
    }

    bool SendSound(const float* samples, std::size_t frames, double seconds, int channels)
    {
        if (stopped_)
            return false;
        const std::size_t perMessage = kSoundFloatsPerMessage / static_cast<std::size_t>(channels);
        for (std::size_t at = 0; at < frames; at += perMessage) {
            const std::size_t n = std::min(perMessage, frames - at);
            Writer w(Message::Sound);
            w.Put(seconds + static_cast<double>(at) / soundRate_);
            w.PutArray<float>({samples + at * static_cast<std::size_t>(channels), n * static_cast<std::size_t>(channels)});
            Send(channel_, w.Bytes());
        }
        return true;
    }

private:
    Received Receive()
    {
        fds_.clear();
        return ReceiveMessage(channel_, message_, fds_);
    }

    int TakeFd()
    {
        if (fds_.size() != 1)
            throw ProtocolBroken{};
        return fds_.front().Get();
    }

    void Handle()
    {
        Request q;
        if (!ReadRequest(message_, q))
            throw ProtocolBroken{};
        switch (q.type) {
        case Message::OpenPicture: return OpenPicture();
        case Message::OpenClip: return OpenClip(q.segment);
        case Message::ClipFrameAt: return ClipFrameAt(q.seconds);
        case Message::OpenReader: return OpenReader(q.segment, q.withSound);
        case Message::Pixels: return WritePixels();
        case Message::Ring: return TakeRing(q.slot);
        case Message::Advance: return Advance(q.slot);
        case Message::Reset: return Reset();
        case Message::ReadSegment: return ReadSegment();
        case Message::Proceed: return; // a frame freed after the round ended
        default: throw ProtocolBroken{};
        }
    }

    void Opened(PictureFacts facts)
    {
        if (facts.error == DecodeError::OutOfMemory)
            OutOfMemory();
        Send(channel_, WriteFacts(facts));
    }

    // Facts of what was decoded into picture_.
    PictureFacts FactsOfPicture(DecodeError e)
    {
        PictureFacts f;
        f.error = e;
        if (e != DecodeError::None)
            return f;
        f.kind = picture_.kind;
        f.width = picture_.Width();
        f.height = picture_.Height();
        f.opaque = picture_.image.opaque;
        if (const Animation* a = picture_.animation.get()) {
            if (a->FrameCount() > kMaxFrames || a->Width() != f.width || a->Height() != f.height) {
                f.error = DecodeError::TooLarge;
                return f;
            }
            f.loopCount = a->LoopCount();
            f.delays.resize(a->FrameCount());
            for (std::size_t i = 0; i < f.delays.size(); ++i)
                f.delays[i] = a->DelayMs(i);
        }
        if (picture_.clip) {
            f.length = picture_.clip->length;
            f.segmentStart = picture_.clip->segment.start;
            f.segmentEnd = picture_.clip->segment.end;
        }
        return f;
    }

    void OpenPicture()
    {
        const int fd = TakeFd();
        const std::int64_t size = SizeOf(fd);
        DecodeError e = DecodeError::CannotOpen;
        if (size > 0) {
            const Mapping bytes = Mapping::Of(fd, static_cast<std::size_t>(size), false);
            if (!bytes.Empty())
                e = DecodePictureInProcess({bytes.Data(), bytes.Size()}, picture_);
        }
        Opened(FactsOfPicture(e));
    }

    ClipSource KeepClipSource()
    {
        if (fds_.size() != 1)
            throw ProtocolBroken{};
        source_ = std::move(fds_.at(0));
        return ClipSource{{}, nullptr, source_.Get()};
    }

    void OpenClip(ClipSegment segment)
    {
        const DecodeError e = DecodeClipInProcess(KeepClipSource(), picture_, segment);
        Opened(FactsOfPicture(e));
    }

    void ClipFrameAt(double seconds)
    {
        picture_ = {};
        const DecodeError e = DecodeClipFrameAtInProcess(KeepClipSource(), seconds, picture_.image);
        picture_.kind = ImageKind::Clip;
        Opened(FactsOfPicture(e));
    }

    void OpenReader(ClipSegment segment, bool withSound)
    {
        ReaderFacts f;
        std::unique_ptr<ClipDecoder> decoder;
        f.error = ClipDecoder::Open(KeepClipSource(), segment, decoder);
        if (f.error == DecodeError::OutOfMemory)
            OutOfMemory();
        if (f.error == DecodeError::None && decoder->Times().Count() > kMaxSegmentFrames)
            f.error = DecodeError::TooLarge;
        if (f.error == DecodeError::None) {
            f.clip = decoder->Facts();
            f.times = decoder->Times();
            if (withSound) {
                const std::optional<ClipSoundFormat> sound = decoder->OpenSound(f.soundProblem);
                f.hasSound = sound.has_value();
                if (sound) {
                    f.sound = *sound;
                    soundRate_ = sound->sampleRate;
                    soundChannels_ = sound->channels;
                }
            }
            frameWidth_ = f.clip.width;
            frameHeight_ = f.clip.height;
            reader_ = std::move(decoder);
        }
        Send(channel_, WriteReaderFacts(f));
    }

    void WritePixels()
    {
        if (picture_.image.Empty())
            throw ProtocolBroken{};
        const Image& image = picture_.image;
        const Mapping to = Mapping::Of(TakeFd(), FrameBytes(image.width, image.height), true);
        if (to.Empty())
            OutOfMemory(); // the program sized it: only the address space can be short
        std::memcpy(to.Data(), image.pixels.data(), to.Size());
        // Only an animation's frames are asked for from now on.
        picture_.image = {};
        Send(channel_, Writer(Message::Written).Bytes());
    }

    void TakeRing(std::uint32_t slots)
    {
        if (slots == 0 || slots > 8)
            throw ProtocolBroken{};
        if (const Animation* a = picture_.animation.get()) {
            frameWidth_ = a->Width();
            frameHeight_ = a->Height();
        }
        if (frameWidth_ == 0)
            throw ProtocolBroken{};
        ring_ = Mapping::Of(TakeFd(), slots * FrameBytes(frameWidth_, frameHeight_), true);
        if (ring_.Empty())
            OutOfMemory();
        slots_ = slots;
    }

    void CopyToSlot(const Image& frame, unsigned slot)
    {
        if (slot >= slots_ || frame.width != frameWidth_ || frame.height != frameHeight_)
            throw ProtocolBroken{};
        const std::size_t bytes = FrameBytes(frameWidth_, frameHeight_);
        std::memcpy(ring_.Data() + slot * bytes, frame.pixels.data(), bytes);
    }

    void Advance(std::uint32_t slot)
    {
        Animation* a = picture_.animation.get();
        if (a == nullptr || slot >= slots_)
            throw ProtocolBroken{};
        const DecodeError e = a->Advance();
        if (e == DecodeError::OutOfMemory)
            OutOfMemory();
        if (e == DecodeError::None)
            CopyToSlot(a->Canvas(), slot);
        Send(channel_, WriteFrame({e, a->Current(), slot}));
    }

    void Reset()
    {
        if (picture_.animation == nullptr)
            throw ProtocolBroken{};
        picture_.animation->Reset();
    }

    void ReadSegment()
    {
        if (reader_ == nullptr || slots_ == 0)
            throw ProtocolBroken{};
        busy_.clear();
        stopped_ = false;
        RingSink sink(*this, soundChannels_);
        const std::size_t count = reader_->DecodeSegment(sink);
        if (count == 0 && reader_->Problem() == DecodeError::OutOfMemory)
            OutOfMemory();
        Writer w(Message::SegmentEnd);
        w.Put(std::uint64_t{count}).Put(static_cast<std::uint32_t>(reader_->Problem()));
        Send(channel_, w.Bytes());
    }

    int channel_;
    const TestHook& hook_;
    std::vector<std::uint8_t> message_;
    std::vector<UniqueFd> fds_;

    DecodedPicture picture_;
    UniqueFd source_; // a clip's descriptor, kept while its decoders live
    std::unique_ptr<ClipDecoder> reader_;
    int soundRate_ = 48000;
    int soundChannels_ = 1;
    int frameWidth_ = 0, frameHeight_ = 0;
    Mapping ring_;
    unsigned slots_ = 0;
    std::vector<unsigned> busy_; // slots whose frames the program has not yet taken
    bool stopped_ = false;

    friend class RingSink;
};

bool RingSink::Take(std::size_t index, Image& frame) { return session_.SendSegmentFrame(index, frame); }

bool RingSink::TakeSound(const float* samples, std::size_t frames, double seconds)
{
    return session_.SendSound(samples, frames, seconds, channels_);
}

} // namespace

// An 8 x 8 picture of each of the kinds most dropped, decoded once before
// the lockdown: the first real picture then finds the decoders' code and
// tables in memory and their heaps grown, as in a program that has decoded
// before.
constexpr std::uint8_t kWarmPng[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
    0x00, 0x08, 0x00, 0x00, 0x00, 0x08, 0x08, 0x06, 0x00, 0x00, 0x00, 0xC4, 0x0F, 0xBE, 0x8B, 0x00, 0x00, 0x00,
    0x12, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0x38, 0x91, 0x62, 0xF4, 0x1F, 0x1F, 0x66, 0x18, 0x19, 0x0A,
    0x00, 0xF4, 0x2B, 0x97, 0x41, 0x53, 0x8E, 0x83, 0x91, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE,
    0x42, 0x60, 0x82
};
constexpr std::uint8_t kWarmJpeg[] = {
    0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01,
    0x00, 0x00, 0xFF, 0xDB, 0x00, 0x43, 0x00, 0x06, 0x04, 0x05, 0x06, 0x05, 0x04, 0x06, 0x06, 0x05, 0x06, 0x07,
    0x07, 0x06, 0x08, 0x0A, 0x10, 0x0A, 0x0A, 0x09, 0x09, 0x0A, 0x14, 0x0E, 0x0F, 0x0C, 0x10, 0x17, 0x14, 0x18,
    0x18, 0x17, 0x14, 0x16, 0x16, 0x1A, 0x1D, 0x25, 0x1F, 0x1A, 0x1B, 0x23, 0x1C, 0x16, 0x16, 0x20, 0x2C, 0x20,
    0x23, 0x26, 0x27, 0x29, 0x2A, 0x29, 0x19, 0x1F, 0x2D, 0x30, 0x2D, 0x28, 0x30, 0x25, 0x28, 0x29, 0x28, 0xFF,
    0xDB, 0x00, 0x43, 0x01, 0x07, 0x07, 0x07, 0x0A, 0x08, 0x0A, 0x13, 0x0A, 0x0A, 0x13, 0x28, 0x1A, 0x16, 0x1A,
    0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28,
    0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28,
    0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0x28, 0xFF, 0xC0, 0x00, 0x11,
    0x08, 0x00, 0x08, 0x00, 0x08, 0x03, 0x01, 0x22, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01, 0xFF, 0xC4, 0x00,
    0x1F, 0x00, 0x00, 0x01, 0x05, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0xFF, 0xC4, 0x00, 0xB5, 0x10, 0x00,
    0x02, 0x01, 0x03, 0x03, 0x02, 0x04, 0x03, 0x05, 0x05, 0x04, 0x04, 0x00, 0x00, 0x01, 0x7D, 0x01, 0x02, 0x03,
    0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71, 0x14, 0x32, 0x81,
    0x91, 0xA1, 0x08, 0x23, 0x42, 0xB1, 0xC1, 0x15, 0x52, 0xD1, 0xF0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0A,
    0x16, 0x17, 0x18, 0x19, 0x1A, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A,
    0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x63, 0x64,
    0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x83, 0x84, 0x85, 0x86,
    0x87, 0x88, 0x89, 0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6,
    0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6,
    0xC7, 0xC8, 0xC9, 0xCA, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5,
    0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFF, 0xC4, 0x00,
    0x1F, 0x01, 0x00, 0x03, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0xFF, 0xC4, 0x00, 0xB5, 0x11, 0x00,
    0x02, 0x01, 0x02, 0x04, 0x04, 0x03, 0x04, 0x07, 0x05, 0x04, 0x04, 0x00, 0x01, 0x02, 0x77, 0x00, 0x01, 0x02,
    0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71, 0x13, 0x22, 0x32, 0x81, 0x08,
    0x14, 0x42, 0x91, 0xA1, 0xB1, 0xC1, 0x09, 0x23, 0x33, 0x52, 0xF0, 0x15, 0x62, 0x72, 0xD1, 0x0A, 0x16, 0x24,
    0x34, 0xE1, 0x25, 0xF1, 0x17, 0x18, 0x19, 0x1A, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x35, 0x36, 0x37, 0x38, 0x39,
    0x3A, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0x63,
    0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x82, 0x83, 0x84,
    0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0xA2, 0xA3, 0xA4,
    0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3, 0xC4,
    0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE2, 0xE3, 0xE4,
    0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFF, 0xDA, 0x00,
    0x0C, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3F, 0x00, 0x8A, 0x8A, 0x28, 0xAF, 0x8F, 0x3E, 0xF8,
    0xFF, 0xD9
};

void PrepareDecoders()
{
    for (const std::span<const std::uint8_t> bytes :
         {std::span<const std::uint8_t>(kWarmPng), std::span<const std::uint8_t>(kWarmJpeg)}) {
        DecodedPicture picture;
        (void)DecodePictureInProcess(bytes, picture);
    }
}

int ServeDecoding(int channel, const TestHook& testHook)
{
    Session session(channel, testHook);
    return session.Run();
}

} // namespace mugrove::sandbox
