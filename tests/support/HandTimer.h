#pragma once

#include "controls/PicBox.h"

#include <functional>
#include <utility>

// The picture box's frame clock, moved on by hand: Fire() shows the next frame.
class HandTimer : public mugrove::FrameTimer {
public:
    void Start(std::chrono::milliseconds, std::function<void()> fire) override { fire_ = std::move(fire); }
    void Stop() override { fire_ = nullptr; }
    void Fire()
    {
        const std::function<void()> fire = std::move(fire_);
        fire_ = nullptr;
        if (fire)
            fire();
    }

private:
    std::function<void()> fire_;
};
