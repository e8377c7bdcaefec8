#pragma once

#include "app/Steps.h"
#include "app/document/Meme.h"

#include <cstddef>
#include <deque>

namespace mugrove {

struct Form;

// The meme's undo and redo. After each user action the window's meme is
// read; when it changed, it becomes a new state (or, for a key that merges,
// replaces the state its run began). Undo and redo put a kept state back
// into the window. The states share their pictures, so a step costs what
// its captions' texts and numbers cost, not a picture.
class MemeHistory final : public StepHistory {
public:
    static constexpr std::size_t kKeptSteps = 256;

    explicit MemeHistory(Form& form, std::size_t keptSteps = kKeptSteps);

    // Forgets every step: the window's meme now is the first state. Until
    // the first start, actions make no steps.
    void Start();

    void BeginStep() override;
    void EndStep(const StepKey& key) override;
    bool CanUndo() const override;
    bool CanRedo() const override;
    void Undo() override;
    void Redo() override;

    std::size_t UndoCount() const { return at_; }
    std::size_t RedoCount() const { return states_.empty() ? 0 : states_.size() - 1 - at_; }
    // The state on show (the window's meme as of the last step).
    const Meme& Shown() const { return states_.at(at_); }

private:
    void MoveTo(std::size_t index);

    Form& form_;
    const std::size_t kept_;
    std::deque<Meme> states_; // the oldest first; empty until started
    std::size_t at_ = 0;      // the state on show
    int depth_ = 0;           // actions running, nested
    bool applying_ = false;   // a state is being put back
    StepKey lastKey_;
    bool mergeOpen_ = false;  // the last step may still take an action of its key
};

} // namespace mugrove
