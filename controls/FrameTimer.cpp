#include "controls/FrameTimer.h"

#include <QTimer>

namespace mugrove {

namespace {

class QtFrameTimer : public FrameTimer {
public:
    QtFrameTimer()
    {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            // The callback usually starts the next wait, replacing fire_;
            // it must not be replaced while it runs.
            const std::function<void()> fire = std::move(fire_);
            fire_ = nullptr;
            if (fire)
                fire();
        });
    }
    void Start(std::chrono::milliseconds delay, std::function<void()> fire) override
    {
        fire_ = std::move(fire);
        timer_.start(delay);
    }
    void Stop() override
    {
        timer_.stop();
        fire_ = nullptr;
    }

private:
    QTimer timer_;
    std::function<void()> fire_;
};

} // namespace

std::unique_ptr<FrameTimer> MakeQtFrameTimer()
{
    return std::make_unique<QtFrameTimer>();
}

} // namespace mugrove
