#pragma once

#include <functional>
#include <utility>

namespace mugrove {

// One event of one control. Each (control, event) pair has at most one
// handler; binding a second one is a wiring mistake and is refused.
template <typename... Args>
class Event {
public:
    using Handler = std::function<void(Args...)>;

    // Returns false (and keeps the first handler) when one is bound already.
    bool Bind(Handler handler)
    {
        if (handler_ || !handler)
            return false;
        handler_ = std::move(handler);
        return true;
    }

    // Runs the handler to completion before returning; nested raises are
    // allowed (a handler may write a property whose write raises an event).
    void Raise(Args... args) const
    {
        if (handler_)
            handler_(args...);
    }

private:
    Handler handler_;
};

} // namespace mugrove
