#include "controls/clips/Clip.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace mugrove {

namespace {

// Frames decoded ahead are kept within this, and between 3 and 8 of them.
constexpr std::uint64_t kAheadBytes = 32ull << 20;

// A frame the worker has ready, with its task's result.
struct ReadyFrame {
    std::size_t index = 0;
    Image image;
    std::any result;
};

// Everything the window's thread and the worker both touch; every field
// only with `mutex` held.
struct Handover {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<ReadyFrame> ready;
    std::vector<Image> spare; // blocks shown and done with, for the worker to fill again
    Animation::FrameTask task;
    bool stop = false;    // the player is going
    bool restart = false; // play again from the segment's start
    bool failed = false;  // a round gave no frame; the worker waits for a restart
    DecodeError failure = DecodeError::CorruptData;
};

// The worker's own state, touched by its thread alone: the decoder, and how
// many frames it may keep ready.
class Worker final : public ClipFrameSink {
public:
    Worker(std::unique_ptr<ClipDecoder> decoder, Handover& handover, std::size_t ahead)
        : decoder_(std::move(decoder)), handover_(handover), ahead_(ahead)
    {
    }

    // Plays the segment round after round until the player goes.
    void Run()
    {
        while (NextRound()) {
            if (decoder_->DecodeSegment(*this) > 0)
                continue;
            // A round that gave nothing fails, unless it was cut short.
            const std::lock_guard lock(handover_.mutex);
            if (!handover_.stop && !handover_.restart) {
                handover_.failed = true;
                handover_.failure = decoder_->Problem();
            }
            handover_.wake.notify_all();
        }
    }

    bool Proceed() override
    {
        std::unique_lock lock(handover_.mutex);
        return WaitForRoom(lock);
    }

    bool Take(std::size_t index, Image& frame) override
    {
        Animation::FrameTask task;
        {
            const std::lock_guard lock(handover_.mutex);
            task = handover_.task;
        }
        std::any result;
        // Memory the system cannot give leaves the task to the box.
        if (task) {
            try {
                result = task(frame);
            } catch (const std::bad_alloc&) {
            }
        }
        std::unique_lock lock(handover_.mutex);
        if (!WaitForRoom(lock))
            return false;
        handover_.ready.push_back({index, std::move(frame), std::move(result)});
        frame = {};
        if (!handover_.spare.empty()) {
            frame = std::move(handover_.spare.back());
            handover_.spare.pop_back();
        }
        handover_.wake.notify_all();
        return true;
    }

private:
    // Waits until a round may start: false when the player is going.
    bool NextRound()
    {
        std::unique_lock lock(handover_.mutex);
        handover_.wake.wait(lock, [&] { return handover_.stop || handover_.restart || !handover_.failed; });
        if (handover_.stop)
            return false;
        handover_.restart = false;
        handover_.failed = false;
        return true;
    }

    // Waits for room for one more frame: false when the round is to end.
    bool WaitForRoom(std::unique_lock<std::mutex>& lock)
    {
        handover_.wake.wait(lock, [&] {
            return handover_.stop || handover_.restart || handover_.ready.size() < ahead_;
        });
        return !handover_.stop && !handover_.restart;
    }

    std::unique_ptr<ClipDecoder> decoder_;
    Handover& handover_;
    const std::size_t ahead_;
};

} // namespace

struct ClipPlayer::Playing {
    // Set at Open and only read after it.
    ClipSource source;
    ClipSegment asked; // as asked for, kept for clones
    ClipFacts facts;
    ClipFrameTimes times;

    Handover handover;
    std::thread worker; // owns the decoder

    ~Playing()
    {
        {
            const std::lock_guard lock(handover.mutex);
            handover.stop = true;
        }
        handover.wake.notify_all();
        if (worker.joinable())
            worker.join();
    }
};

ClipPlayer::ClipPlayer(std::unique_ptr<Playing> playing) : playing_(std::move(playing)) {}

ClipPlayer::~ClipPlayer() = default;

DecodeError ClipPlayer::Open(ClipSource source, std::unique_ptr<ClipPlayer>& out, ClipSegment segment)
{
    out.reset();
    try {
        std::unique_ptr<ClipDecoder> decoder;
        if (const DecodeError e = ClipDecoder::Open(source, segment, decoder); e != DecodeError::None)
            return e;
        auto playing = std::make_unique<Playing>();
        playing->source = std::move(source);
        playing->asked = segment;
        playing->facts = decoder->Facts();
        playing->times = decoder->Times();
        const std::uint64_t frameBytes = std::uint64_t{4} * static_cast<std::uint64_t>(playing->facts.width) *
                                         static_cast<std::uint64_t>(playing->facts.height);
        const auto ahead = static_cast<std::size_t>(std::clamp<std::uint64_t>(kAheadBytes / frameBytes, 3, 8));
        playing->worker = std::thread(
            [](std::unique_ptr<ClipDecoder> own, Handover& handover, std::size_t keep) {
                Worker(std::move(own), handover, keep).Run();
            },
            std::move(decoder), std::ref(playing->handover), ahead);
        out.reset(new ClipPlayer(std::move(playing)));
        return DecodeError::None;
    } catch (const std::bad_alloc&) {
        return DecodeError::OutOfMemory;
    } catch (const std::system_error&) {
        return DecodeError::OutOfMemory; // no room for the worker's thread
    }
}

int ClipPlayer::Width() const { return playing_->facts.width; }
int ClipPlayer::Height() const { return playing_->facts.height; }
std::size_t ClipPlayer::FrameCount() const { return playing_->times.Count(); }
double ClipPlayer::LengthSeconds() const { return playing_->facts.length; }
double ClipPlayer::SegmentStart() const { return playing_->facts.segmentStart; }
double ClipPlayer::SegmentEnd() const { return playing_->facts.segmentEnd; }
int ClipPlayer::Rotation() const { return playing_->facts.rotation; }
int ClipPlayer::DelayMs(std::size_t index) const { return playing_->times.DelayMs(index); }

void ClipPlayer::SetFrameTask(FrameTask task)
{
    const std::lock_guard lock(playing_->handover.mutex);
    playing_->handover.task = std::move(task);
}

DecodeError ClipPlayer::Advance()
{
    if (primed_) {
        primed_ = false;
        return DecodeError::None;
    }
    Handover& h = playing_->handover;
    std::unique_lock lock(h.mutex);
    h.wake.wait(lock, [&] { return !h.ready.empty() || h.failed; });
    if (h.ready.empty())
        return h.failure;
    ReadyFrame next = std::move(h.ready.front());
    h.ready.pop_front();
    std::swap(canvas_, next.image);
    taskResult_ = std::move(next.result);
    current_ = next.index;
    if (!next.image.Empty())
        h.spare.push_back(std::move(next.image));
    lock.unlock();
    h.wake.notify_all();
    return DecodeError::None;
}

void ClipPlayer::Reset()
{
    // Straight after the first frame the worker is already on the second.
    if (current_ == 0 && !canvas_.Empty()) {
        primed_ = true;
        return;
    }
    Handover& h = playing_->handover;
    {
        const std::lock_guard lock(h.mutex);
        h.restart = true;
        for (ReadyFrame& r : h.ready)
            h.spare.push_back(std::move(r.image));
        h.ready.clear();
    }
    h.wake.notify_all();
    primed_ = false;
    current_ = 0;
}

std::unique_ptr<Animation> ClipPlayer::Clone() const
{
    std::unique_ptr<ClipPlayer> copy;
    if (Open(playing_->source, copy, playing_->asked) != DecodeError::None)
        return nullptr;
    return copy;
}

DecodeError DecodeClipInProcess(ClipSource source, DecodedPicture& out, ClipSegment segment)
{
    out = {};
    std::unique_ptr<ClipPlayer> clip;
    DecodeError e = ClipPlayer::Open(source, clip, segment);
    try {
        if (e == DecodeError::None)
            e = clip->Advance();
        if (e == DecodeError::None)
            out.image = clip->Canvas();
    } catch (const std::bad_alloc&) {
        e = DecodeError::OutOfMemory;
    }
    if (e != DecodeError::None) {
        out = {};
        return e;
    }
    out.kind = ImageKind::Clip;
    out.clip = ShownClip{std::move(source), clip->LengthSeconds(), {clip->SegmentStart(), clip->SegmentEnd()}};
    // One frame is a still picture.
    if (clip->FrameCount() >= 2) {
        clip->Reset();
        out.animation = std::move(clip);
    }
    return DecodeError::None;
}

namespace {

// Keeps the first frame handed to it and ends the round there.
class FirstFrame final : public ClipFrameSink {
public:
    explicit FirstFrame(Image& out) : out_(out) {}
    bool Take(std::size_t, Image& frame) override
    {
        out_ = std::move(frame);
        frame = {};
        return false;
    }

private:
    Image& out_;
};

} // namespace

DecodeError DecodeClipFrameAtInProcess(const ClipSource& source, double seconds, Image& out)
{
    out = {};
    // The stretch holds the frame on show at `seconds` and little more.
    std::unique_ptr<ClipDecoder> decoder;
    if (const DecodeError e = ClipDecoder::Open(source, {seconds, seconds + 0.001}, decoder); e != DecodeError::None)
        return e;
    FirstFrame first(out);
    try {
        if (decoder->DecodeSegment(first) > 0)
            return DecodeError::None;
    } catch (const std::bad_alloc&) {
        out = {};
        return DecodeError::OutOfMemory;
    }
    return decoder->Problem();
}

} // namespace mugrove
