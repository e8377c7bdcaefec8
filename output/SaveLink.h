#pragma once

namespace mugrove {

// How a save's encoding on the worker talks back: whether it was called off
// (it stops and leaves no file) and how far it has come.
class SaveLink {
public:
    virtual bool CalledOff() = 0;
    // Another whole percent of the work is done (1 to 99, rising).
    virtual void Progress(int percent) = 0;

protected:
    ~SaveLink() = default;
};

} // namespace mugrove
