#pragma once

#include <cstdint>
#include <utility>

namespace mugrove {

// What a user action worked on, so that a run of the same action can count
// as one step: the characters typed into one caption, a slider dragged from
// press to release. Actions with no key (the default) are each a step.
struct StepKey {
    const void* control = nullptr; // the control the action came through
    const void* target = nullptr;  // what it changed, when that matters (the caption typed into)
    std::uint64_t gesture = 0;     // which press of the control, for drags

    bool Merges() const { return control != nullptr; }
    bool operator==(const StepKey&) const = default;
};

// The meme's history, as the event bindings see it: a user action runs
// between BeginStep and EndStep; once the outermost action ends, what it
// changed becomes one step (or joins the step before, for a key that
// merges). Nested actions (a handler whose write raises another event),
// and everything while a step is being undone or redone, are part of the
// outer one.
class StepHistory {
public:
    virtual ~StepHistory() = default;
    virtual void BeginStep() = 0;
    virtual void EndStep(const StepKey& key) = 0;
    virtual bool CanUndo() const = 0;
    virtual bool CanRedo() const = 0;
    virtual void Undo() = 0;
    virtual void Redo() = 0;
};

// Runs `action` as one step of `history` (or just runs it without one).
template <typename Action>
void AsStep(StepHistory* history, const StepKey& key, Action&& action)
{
    if (history == nullptr) {
        std::forward<Action>(action)();
        return;
    }
    history->BeginStep();
    std::forward<Action>(action)();
    history->EndStep(key);
}

// An action already done (by a handler bound before the history saw it)
// becomes a step of its own.
inline void RecordStep(StepHistory* history, const StepKey& key = {})
{
    AsStep(history, key, [] {});
}

} // namespace mugrove
