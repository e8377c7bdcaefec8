#pragma once

#include "controls/PicBox.h"
#include "controls/decoders/Animation.h"

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

// The frame a box shows: its player's current one, 0 for a still picture.
inline std::size_t FrameOnShow(const mugrove::PicBox& box)
{
    const mugrove::DecodedPicture* decoded = box.Decoded();
    const mugrove::Animation* animation = decoded ? decoded->animation.get() : nullptr;
    return animation && !animation->Canvas().Empty() ? animation->Current() : 0;
}
