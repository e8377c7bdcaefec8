#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace mugrove {

// Calls back once after a delay; the GIF player's clock. The real one is a
// QTimer on the window thread; tests put in one they fire by hand.
class FrameTimer {
public:
    virtual ~FrameTimer() = default;
    // Replaces whatever was scheduled.
    virtual void Start(std::chrono::milliseconds delay, std::function<void()> fire) = 0;
    virtual void Stop() = 0;
};

std::unique_ptr<FrameTimer> MakeQtFrameTimer();

} // namespace mugrove
