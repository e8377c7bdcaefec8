#pragma once

// A player whose frames are computed from their number: a soft gradient with
// a square moving over it and, in odd frames, a transparent corner, so every
// frame differs from the last in a known small part.

#include "controls/decoders/Animation.h"

#include <algorithm>
#include <functional>

#include <memory>
#include <utility>
#include <vector>

namespace mugrove::testing {

class TestAnimation : public Animation {
public:
    TestAnimation(int width, int height, std::vector<int> delaysMs, int loops = 0)
        : width_(width), height_(height), delays_(std::move(delaysMs)), loops_(loops)
    {
    }

    // The colour of (x, y) in frame `frame`, 0xAARRGGBB.
    static std::uint32_t Pixel(int width, int height, std::size_t frame, int x, int y)
    {
        const int f = int(frame);
        const int side = std::max(2, std::min(width, height) / 5);
        const int sx = (f * 7) % std::max(1, width - side), sy = (f * 3) % std::max(1, height - side);
        if (x >= sx && x < sx + side && y >= sy && y < sy + side)
            return Argb(255, 250, std::uint32_t(40 * f) & 0xFF, 30);
        if (f % 2 == 1 && x < width / 8 && y < height / 8)
            return kTransparent;
        return Argb(255, std::uint32_t(x * 255 / std::max(1, width - 1)),
                    std::uint32_t(y * 255 / std::max(1, height - 1)), 120);
    }

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    std::size_t FrameCount() const override { return delays_.size(); }
    int LoopCount() const override { return loops_; }
    int DelayMs(std::size_t index) const override { return delays_.at(index); }

    // Called on the player's thread as frame `index` is about to be made
    // (a test holds a worker there).
    void HoldBeforeEachFrame(std::function<void(std::size_t index)> hold) { hold_ = std::move(hold); }

    DecodeError Advance() override
    {
        if (hold_)
            hold_(started_ ? advanced_ : 0);
        advanced_ = started_ ? advanced_ + 1 : 1;
        current_ = started_ ? (current_ + 1) % delays_.size() : 0;
        started_ = true;
        canvas_.width = width_;
        canvas_.height = height_;
        canvas_.pixels.resize(std::size_t(width_) * std::size_t(height_));
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                canvas_.Row(y)[x] = Pixel(width_, height_, current_, x, y);
        return DecodeError::None;
    }
    void Reset() override
    {
        started_ = false;
        advanced_ = 0;
        canvas_ = Image();
    }
    const Image& Canvas() const override { return canvas_; }
    std::size_t Current() const override { return current_; }
    std::unique_ptr<Animation> Clone() const override
    {
        return std::make_unique<TestAnimation>(width_, height_, delays_, loops_);
    }

private:
    int width_, height_;
    std::vector<int> delays_;
    int loops_;
    Image canvas_;
    std::size_t current_ = 0;
    bool started_ = false;
    std::size_t advanced_ = 0; // frames made since the start
    std::function<void(std::size_t)> hold_;
};

} // namespace mugrove::testing
