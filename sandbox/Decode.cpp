#include "sandbox/Decode.h"

#if defined(__linux__)
#include "sandbox/Answers.h"
#include "sandbox/DecoderProcess.h"
#include "sandbox/SharedMemory.h"
#include "sandbox/Wire.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <thread>
#include <map>
#include <mutex>
#include <string>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>
#else
#include "controls/clips/Clip.h"
#include "controls/decoders/Decoders.h"
#endif

namespace mugrove {

#if defined(__linux__)

namespace sandbox {
namespace {

// The decoding libraries take some 190 MB of address space; a picture at
// the caps then needs its pixels, their shared copy and room for a
// library's own buffers of the same size.
constexpr std::uint64_t kAddressSpaceBytes = 3 * kMaxDecodedBytes + (256ull << 20);
// A still picture's whole decoding; a clip plays for as long as it is shown.
constexpr unsigned kStillCpuSeconds = 30;
// Frames in the memory shared with a player's process: the player copies
// each out before it asks for the next, so one is enough.
constexpr std::uint32_t kRingSlots = 1;

void SayStopped(DecoderStop stop)
{
    std::fprintf(stderr, "mugrove: decoder stopped: %.*s\n", static_cast<int>(StopText(stop).size()),
                 StopText(stop).data());
}

// One process started ahead of need: loading the decoding libraries takes a
// process longer than most pictures take to decode.
class Spare {
public:
    static Spare& Instance()
    {
        static Spare spare;
        return spare;
    }

    // The spare (or, the first time, a new one), and another started for next time.
    std::unique_ptr<DecoderProcess> Take()
    {
        const std::lock_guard lock(mutex_);
        std::unique_ptr<DecoderProcess> taken = std::exchange(spare_, StartOne());
        return taken ? std::move(taken) : std::exchange(spare_, StartOne());
    }

    void Prepare()
    {
        const std::lock_guard lock(mutex_);
        if (!spare_)
            spare_ = StartOne();
    }

private:
    static std::unique_ptr<DecoderProcess> StartOne()
    {
        return DecoderProcess::Start(DecoderLimits{kAddressSpaceBytes, 0});
    }

    std::mutex mutex_;
    std::unique_ptr<DecoderProcess> spare_;
};

// Ends processes that are done with, off the thread that was using them:
// the system takes a while to tear down a process's memory, and nobody need
// wait for that.
class Reaper {
public:
    static void Take(std::unique_ptr<DecoderProcess> process)
    {
        static Reaper reaper;
        {
            const std::lock_guard lock(reaper.mutex_);
            reaper.done_.push_back(std::move(process));
        }
        reaper.wake_.notify_one();
    }

private:
    Reaper() : thread_([this](std::stop_token stop) { Run(stop); }) {}

    void Run(std::stop_token stop)
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, stop, [this] { return !done_.empty(); });
            if (done_.empty())
                return; // stopping, with nothing left to end
            std::unique_ptr<DecoderProcess> process = std::move(done_.front());
            done_.pop_front();
            lock.unlock();
            process.reset(); // kills and reaps
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::deque<std::unique_ptr<DecoderProcess>> done_;
    std::jthread thread_; // last: starts once the rest is made
};

// A process that answers, or that stopped; once stopped, the one line on
// standard error has been written and every later request fails at once.
class Link {
public:
    static std::optional<Link> Start(unsigned cpuSeconds)
    {
        // Start writes the line on standard error when it fails.
        std::unique_ptr<DecoderProcess> p = Spare::Instance().Take();
        if (!p)
            return std::nullopt;
        if (cpuSeconds != 0)
            p->LimitCpu(cpuSeconds);
        return Link(std::move(p));
    }

    Link(Link&&) noexcept = default;
    Link& operator=(Link&&) noexcept = default;
    ~Link()
    {
        if (process_)
            Reaper::Take(std::move(process_));
    }

    bool Alive() const { return process_ != nullptr; }
    // Ends the process from another thread than the one using the link,
    // which then fails at once without a word.
    void Interrupt()
    {
        const std::lock_guard lock(*ending_);
        *quiet_ = true;
        if (process_)
            kill(process_->Pid(), SIGKILL); // not reaped: reaping takes the lock
    }

    bool Send(std::span<const std::uint8_t> message, std::span<const int> fds = {})
    {
        if (!process_)
            return false;
        if (!process_->Send(message, fds))
            Die();
        return Alive();
    }

    // One answer, which never brings descriptors.
    bool ReceiveAny(std::vector<std::uint8_t>& answer)
    {
        if (!process_)
            return false;
        std::vector<UniqueFd> fds;
        if (!process_->Receive(answer, fds)) {
            Die();
            return false;
        }
        if (!fds.empty()) {
            Broke();
            return false;
        }
        return true;
    }

    // One answer of `type`; anything else ends the process as one that broke the protocol.
    bool Receive(Message type, std::vector<std::uint8_t>& answer)
    {
        Message got{};
        if (!ReceiveAny(answer))
            return false;
        if (!Reader(answer).Type(got) || got != type) {
            Broke();
            return false;
        }
        return true;
    }

    // The process answered what it may not: it is ended and said so.
    void Broke()
    {
        const std::lock_guard lock(*ending_);
        if (!process_)
            return;
        if (!*quiet_)
            SayStopped(DecoderStop::Refused);
        process_.reset();
    }

private:
    explicit Link(std::unique_ptr<DecoderProcess> process) : process_(std::move(process)) {}

    void Die()
    {
        const std::lock_guard lock(*ending_);
        if (!*quiet_)
            process_->ReportStop();
        process_.reset();
    }

    std::unique_ptr<DecoderProcess> process_; // reset only under ending_
    // What Interrupt shares with the thread using the link (held apart so
    // that a link can move before that thread starts).
    std::unique_ptr<std::mutex> ending_ = std::make_unique<std::mutex>();
    std::unique_ptr<std::atomic<bool>> quiet_ = std::make_unique<std::atomic<bool>>(false);
};

// What opens a picture or clip in a process, kept to open it again in
// another process for every clone.
struct Opening {
    Message type = Message::OpenPicture;
    UniqueFd fd;
    ClipSegment segment; // a clip's
    double seconds = 0;  // a clip's frame's
    // A process playing it stopped: the picture is not played again.
    std::atomic<bool> failed{false};

    std::vector<std::uint8_t> Request() const
    {
        Writer w(type);
        if (type == Message::OpenClip)
            w.Put(segment.start).Put(segment.end);
        else if (type == Message::ClipFrameAt)
            w.Put(seconds);
        const auto bytes = w.Bytes();
        return {bytes.begin(), bytes.end()};
    }
};

// Opens in a new process; the facts are the process's answer, checked.
std::optional<Link> Open(const Opening& opening, unsigned cpuSeconds, PictureFacts& facts)
{
    std::optional<Link> link = Link::Start(cpuSeconds);
    if (!link)
        return std::nullopt;
    const int fd = opening.fd.Get();
    std::vector<std::uint8_t> answer;
    if (!link->Send(opening.Request(), {&fd, 1}) || !link->Receive(Message::Opened, answer))
        return std::nullopt;
    if (!ReadFacts(answer, facts)) {
        link->Broke();
        return std::nullopt;
    }
    return link;
}

// The still picture, through shared memory the process writes.
DecodeError ReadStill(Link& link, const PictureFacts& facts, Image& out)
{
    const std::size_t bytes = FrameBytes(facts.width, facts.height);
    UniqueFd memory = NewSharedMemory("mugrove-pixels", bytes);
    if (!memory)
        return DecodeError::OutOfMemory;
    const int fd = memory.Get();
    std::vector<std::uint8_t> answer;
    if (!link.Send(Writer(Message::Pixels).Bytes(), {&fd, 1}) || !link.Receive(Message::Written, answer))
        return DecodeError::CorruptData;
    if (answer.size() != sizeof(Message)) {
        link.Broke();
        return DecodeError::CorruptData;
    }
    const Mapping pixels = Mapping::Of(fd, bytes, false);
    if (pixels.Empty())
        return DecodeError::OutOfMemory;
    if (const DecodeError e = AllocateImageUninitialised(out, facts.width, facts.height); e != DecodeError::None)
        return e;
    std::memcpy(out.pixels.data(), pixels.Data(), bytes);
    out.opaque = facts.opaque;
    return DecodeError::None;
}

// Frames composed in a decoder process, fetched ahead by a worker of the
// player's own, which also does the box's work on each (FrameTask), so that
// the box's thread only swaps a ready frame in.
class RemoteAnimation final : public Animation {
public:
    RemoteAnimation(std::shared_ptr<Opening> opening, Link link, PictureFacts facts)
        : opening_(std::move(opening)), link_(std::move(link)), facts_(std::move(facts)),
          worker_([this] { Work(); })
    {
    }

    ~RemoteAnimation() override
    {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        // A worker waiting on the process is freed by its end.
        link_.Interrupt();
        worker_.join();
    }

    int Width() const override { return facts_.width; }
    int Height() const override { return facts_.height; }
    std::size_t FrameCount() const override { return facts_.delays.size(); }
    int LoopCount() const override { return facts_.loopCount; }
    int DelayMs(std::size_t index) const override
    {
        return index < facts_.delays.size() ? facts_.delays[index] : FrameDelayMs(0);
    }

    DecodeError Advance() override
    {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return !ready_.empty() || dead_; });
        if (ready_.empty()) {
            opening_->failed = true;
            return DecodeError::CorruptData; // the last frame stays on show
        }
        Made next = std::move(ready_.front());
        ready_.pop_front();
        if (next.error == DecodeError::None) {
            std::swap(canvas_, next.image);
            taskResult_ = std::move(next.result);
            current_ = next.index;
        }
        if (!next.image.Empty())
            spare_.push_back(std::move(next.image));
        lock.unlock();
        wake_.notify_all();
        return next.error;
    }

    void Reset() override
    {
        {
            const std::lock_guard lock(mutex_);
            restart_ = true;
            for (Made& made : ready_)
                spare_.push_back(std::move(made.image));
            ready_.clear();
        }
        wake_.notify_all();
    }

    const Image& Canvas() const override { return canvas_; }
    std::size_t Current() const override { return current_; }
    const std::any& TaskResult() const override { return taskResult_; }

    void SetFrameTask(FrameTask task) override
    {
        const std::lock_guard lock(mutex_);
        task_ = std::move(task);
    }

    std::unique_ptr<Animation> Clone() const override
    {
        if (opening_->failed)
            return nullptr;
        PictureFacts facts;
        std::optional<Link> link = Open(*opening_, 0, facts);
        if (!link || facts.error != DecodeError::None || facts.delays != facts_.delays ||
            facts.width != facts_.width || facts.height != facts_.height)
            return nullptr;
        return std::make_unique<RemoteAnimation>(opening_, std::move(*link), std::move(facts));
    }

private:
    // Frames made ahead of the one on show.
    static constexpr std::size_t kAhead = 2;

    struct Made {
        Image image;
        std::any result;
        std::size_t index = 0;
        DecodeError error = DecodeError::None;
    };

    void Work()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stop_ || restart_ || ready_.size() < kAhead; });
            if (stop_)
                return;
            const bool restart = std::exchange(restart_, false);
            Made made;
            if (!spare_.empty()) {
                made.image = std::move(spare_.back());
                spare_.pop_back();
            }
            const FrameTask task = task_;
            lock.unlock();
            const bool alive = (!restart || link_.Send(Writer(Message::Reset).Bytes())) && Fetch(made, task);
            lock.lock();
            if (!alive) {
                dead_ = true;
                wake_.notify_all();
                return;
            }
            // A frame made before a Reset asked for belongs to the old round.
            if (!restart_)
                ready_.push_back(std::move(made));
            wake_.notify_all();
        }
    }

    // The process's next frame, copied out of the ring, with the box's work done on it.
    bool Fetch(Made& made, const FrameTask& task)
    {
        const std::size_t bytes = FrameBytes(Width(), Height());
        if (ring_.Empty()) {
            UniqueFd memory = NewSharedMemory("mugrove-frames", kRingSlots * bytes);
            if (!memory)
                return false;
            ring_ = Mapping::Of(memory.Get(), kRingSlots * bytes, false);
            const int fd = memory.Get();
            Writer w(Message::Ring);
            w.Put(kRingSlots);
            if (ring_.Empty() || !link_.Send(w.Bytes(), {&fd, 1}))
                return false;
        }
        Writer ask(Message::Advance);
        ask.Put(slot_);
        std::vector<std::uint8_t> answer;
        FrameAnswer frame;
        if (!link_.Send(ask.Bytes()) || !link_.Receive(Message::Frame, answer))
            return false;
        if (!ReadFrame(answer, kRingSlots, FrameCount(), frame) || frame.slot != slot_) {
            link_.Broke();
            return false;
        }
        slot_ = (slot_ + 1) % kRingSlots;
        made.error = frame.error;
        made.index = frame.index;
        if (frame.error != DecodeError::None)
            return true;
        try {
            if (made.image.width != Width() || made.image.height != Height() || made.image.Empty())
                if (AllocateImageUninitialised(made.image, Width(), Height()) != DecodeError::None) {
                    made.error = DecodeError::OutOfMemory;
                    return true;
                }
            std::memcpy(made.image.pixels.data(), ring_.Data() + frame.slot * bytes, bytes);
            if (task)
                made.result = task(made.image);
        } catch (const std::bad_alloc&) {
            made.error = DecodeError::OutOfMemory;
        }
        return true;
    }

    std::shared_ptr<Opening> opening_;
    Link link_;              // the worker's alone once it runs
    const PictureFacts facts_;
    Mapping ring_;           // the worker's
    std::uint32_t slot_ = 0; // the worker's: where the next frame goes

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Made> ready_;   // under mutex_
    std::vector<Image> spare_; // under mutex_
    FrameTask task_;           // under mutex_
    bool restart_ = false;     // under mutex_
    bool stop_ = false;        // under mutex_
    bool dead_ = false;        // under mutex_

    Image canvas_; // the caller's thread's
    std::any taskResult_;
    std::size_t current_ = 0;
    std::thread worker_; // last: starts once everything above is made
};

// Decodes what `opening` opens: the still picture, and the player when it moves.
DecodeError DecodeOpening(std::shared_ptr<Opening> opening, DecodedPicture& out, PictureFacts& facts)
{
    out = {};
    if (!opening->fd)
        return DecodeError::OutOfMemory;
    const bool moving = opening->type != Message::ClipFrameAt;
    std::optional<Link> link = Open(*opening, moving ? 0 : kStillCpuSeconds, facts);
    if (!link)
        return DecodeError::CorruptData;
    if (facts.error != DecodeError::None)
        return facts.error;
    if (const DecodeError e = ReadStill(*link, facts, out.image); e != DecodeError::None) {
        out = {};
        return e;
    }
    out.kind = facts.kind;
    if (facts.delays.size() >= 2)
        out.animation = std::make_unique<RemoteAnimation>(std::move(opening), std::move(*link), facts);
    return DecodeError::None;
}

// The copies of clip files on show, so that a save reads the copy the
// user sees instead of copying the file again.
class ShownCopies {
public:
    static ShownCopies& Instance()
    {
        static ShownCopies copies;
        return copies;
    }

    std::shared_ptr<const Opening> Find(const std::string& path)
    {
        const std::lock_guard lock(mutex_);
        std::erase_if(shown_, [](const auto& entry) { return entry.second.expired(); });
        const auto it = shown_.find(path);
        return it != shown_.end() ? it->second.lock() : nullptr;
    }

    void Keep(const std::string& path, const std::shared_ptr<const Opening>& opening)
    {
        const std::lock_guard lock(mutex_);
        shown_[path] = opening;
    }

private:
    std::mutex mutex_;
    std::map<std::string, std::weak_ptr<const Opening>> shown_;
};

// The bytes a process reads a clip from, sealed in shared memory, so that
// the process holds no file of the disk. A save reads the copy on show, or
// none when the process showing it stopped: what stopped that one would stop
// the save's reading too.
UniqueFd ClipFd(const ClipSource& source, bool asShown = false)
{
    if (source.bytes)
        return SealedCopy(*source.bytes);
    if (source.descriptor >= 0)
        return UniqueFd(fcntl(source.descriptor, F_DUPFD_CLOEXEC, 0));
    if (const std::shared_ptr<const Opening> shown = asShown ? ShownCopies::Instance().Find(source.path) : nullptr)
        return shown->failed ? UniqueFd{} : UniqueFd(fcntl(shown->fd.Get(), F_DUPFD_CLOEXEC, 0));
    return SealedCopyOfFile(source.path);
}

// A clip's segment read again in a decoder process: frames through the
// ring, sound in messages.
class RemoteClipReader final : public ClipReader {
public:
    RemoteClipReader(Link link, ReaderFacts facts) : link_(std::move(link)), facts_(std::move(facts)) {}

    const ClipFacts& Facts() const override { return facts_.clip; }
    const ClipFrameTimes& Times() const override { return facts_.times; }
    DecodeError Problem() const override { return problem_; }

    std::optional<ClipSoundFormat> OpenSound(std::string& why) override
    {
        soundWanted_ = true;
        why = facts_.soundProblem;
        return facts_.hasSound ? std::optional(facts_.sound) : std::nullopt;
    }

    std::size_t DecodeSegment(ClipFrameSink& sink) override
    {
        problem_ = DecodeError::CorruptData;
        if (!Ready() || !link_.Send(Writer(Message::ReadSegment).Bytes()))
            return 0;
        std::size_t given = 0;
        bool go = true;
        std::vector<std::uint8_t> answer;
        for (;;) {
            if (!link_.ReceiveAny(answer))
                return given;
            Message type{};
            Reader(answer).Type(type);
            FrameAnswer frame;
            SoundAnswer sound;
            std::uint64_t count = 0;
            if (type == Message::Frame) {
                if (!ReadFrame(answer, kRingSlots, facts_.times.Count(), frame))
                    return Broke(given);
                if (go) {
                    const std::size_t bytes = FrameBytes(facts_.clip.width, facts_.clip.height);
                    std::memcpy(frame_.pixels.data(), ring_.Data() + frame.slot * bytes, bytes);
                }
                Writer w(Message::Proceed);
                w.Put(frame.slot).Put(std::uint8_t{go});
                if (!link_.Send(w.Bytes()))
                    return given;
                if (go) {
                    go = sink.Take(static_cast<std::size_t>(frame.index), frame_);
                    ++given;
                }
            } else if (type == Message::Sound && facts_.hasSound) {
                if (!ReadSound(answer, facts_.sound.channels, sound))
                    return Broke(given);
                const auto frames = sound.samples.size() / static_cast<std::size_t>(facts_.sound.channels);
                if (go && soundWanted_)
                    go = sink.TakeSound(sound.samples.data(), frames, sound.seconds);
            } else if (ReadSegmentEnd(answer, count, problem_)) {
                return given;
            } else {
                return Broke(given);
            }
        }
    }

private:
    bool Ready()
    {
        if (!ring_.Empty())
            return link_.Alive();
        const std::size_t bytes = FrameBytes(facts_.clip.width, facts_.clip.height);
        UniqueFd memory = NewSharedMemory("mugrove-frames", kRingSlots * bytes);
        if (!memory || AllocateImageUninitialised(frame_, facts_.clip.width, facts_.clip.height) != DecodeError::None)
            return false;
        ring_ = Mapping::Of(memory.Get(), kRingSlots * bytes, false);
        const int fd = memory.Get();
        Writer w(Message::Ring);
        w.Put(kRingSlots);
        return !ring_.Empty() && link_.Send(w.Bytes(), {&fd, 1});
    }

    std::size_t Broke(std::size_t given)
    {
        link_.Broke();
        return given;
    }

    Link link_;
    ReaderFacts facts_;
    Mapping ring_;
    Image frame_;
    DecodeError problem_ = DecodeError::CorruptData;
    bool soundWanted_ = false;
};

} // namespace
} // namespace sandbox

void StartDecoderAhead() { sandbox::Spare::Instance().Prepare(); }

DecodeError DecodePicture(std::span<const std::uint8_t> data, DecodedPicture& out)
{
    using namespace sandbox;
    out = {};
    // What no decoder reads needs no process.
    if (DetectImageKind(data) == ImageKind::Unrecognised)
        return DecodeError::Unrecognised;
    auto opening = std::make_shared<Opening>();
    opening->type = Message::OpenPicture;
    opening->fd = SealedCopy(data);
    PictureFacts facts;
    return DecodeOpening(std::move(opening), out, facts);
}

DecodeError DecodePicture(const std::shared_ptr<const PictureBytes>& data, DecodedPicture& out)
{
    if (!data) {
        out = {};
        return DecodeError::Unrecognised;
    }
    return DecodePicture(std::span<const std::uint8_t>(*data), out);
}

DecodeError DecodeClip(ClipSource source, DecodedPicture& out, ClipSegment segment)
{
    using namespace sandbox;
    out = {};
    auto opening = std::make_shared<Opening>();
    opening->type = Message::OpenClip;
    opening->segment = segment;
    opening->fd = ClipFd(source);
    if (!opening->fd)
        return DecodeError::CannotOpen;
    if (source.path.size() > 0 && !source.bytes)
        ShownCopies::Instance().Keep(source.path, opening);
    PictureFacts facts;
    if (const DecodeError e = DecodeOpening(std::move(opening), out, facts); e != DecodeError::None)
        return e;
    out.kind = ImageKind::Clip;
    out.clip = ShownClip{std::move(source), facts.length, {facts.segmentStart, facts.segmentEnd}};
    return DecodeError::None;
}

DecodeError DecodeClipFrameAt(const ClipSource& source, double seconds, Image& out)
{
    using namespace sandbox;
    out = {};
    auto opening = std::make_shared<Opening>();
    opening->type = Message::ClipFrameAt;
    opening->seconds = seconds;
    opening->fd = ClipFd(source);
    if (!opening->fd)
        return DecodeError::CannotOpen;
    DecodedPicture picture;
    PictureFacts facts;
    const DecodeError e = DecodeOpening(std::move(opening), picture, facts);
    out = std::move(picture.image);
    return e;
}

DecodeError OpenClipReader(const ClipSource& source, ClipSegment segment, std::unique_ptr<ClipReader>& out)
{
    using namespace sandbox;
    out.reset();
    UniqueFd fd = ClipFd(source, true);
    if (!fd)
        return DecodeError::CannotOpen;
    std::optional<Link> link = Link::Start(0);
    if (!link)
        return DecodeError::CorruptData;
    Writer w(Message::OpenReader);
    w.Put(segment.start).Put(segment.end).Put(std::uint8_t{1});
    const int raw = fd.Get();
    std::vector<std::uint8_t> answer;
    if (!link->Send(w.Bytes(), {&raw, 1}) || !link->Receive(Message::ReaderOpened, answer))
        return DecodeError::CorruptData;
    ReaderFacts facts;
    if (!ReadReaderFacts(answer, facts)) {
        link->Broke();
        return DecodeError::CorruptData;
    }
    if (facts.error != DecodeError::None)
        return facts.error;
    out = std::make_unique<RemoteClipReader>(std::move(*link), std::move(facts));
    return DecodeError::None;
}

#else

void StartDecoderAhead() {}

DecodeError DecodePicture(std::span<const std::uint8_t> data, DecodedPicture& out)
{
    return DecodePictureInProcess(data, out);
}

DecodeError DecodePicture(const std::shared_ptr<const PictureBytes>& data, DecodedPicture& out)
{
    return DecodePictureInProcess(data, out);
}

DecodeError DecodeClip(ClipSource source, DecodedPicture& out, ClipSegment segment)
{
    return DecodeClipInProcess(std::move(source), out, segment);
}

DecodeError DecodeClipFrameAt(const ClipSource& source, double seconds, Image& out)
{
    return DecodeClipFrameAtInProcess(source, seconds, out);
}

DecodeError OpenClipReader(const ClipSource& source, ClipSegment segment, std::unique_ptr<ClipReader>& out)
{
    std::unique_ptr<ClipDecoder> decoder;
    const DecodeError e = ClipDecoder::Open(source, segment, decoder);
    out = std::move(decoder);
    return e;
}

#endif

std::unique_ptr<DecodedPicture> DecodeOrNull(const std::shared_ptr<const PictureBytes>& data)
{
    return DecodedOrNull(data, [](const std::shared_ptr<const PictureBytes>& d, DecodedPicture& out) {
        return DecodePicture(d, out);
    });
}

} // namespace mugrove
