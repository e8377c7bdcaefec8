#include "app/document/MemeHistory.h"

#include <utility>

namespace mugrove {

MemeHistory::MemeHistory(Form& form, std::size_t keptSteps) : form_(form), kept_(keptSteps) {}

void MemeHistory::Start()
{
    states_.clear();
    states_.push_back(ReadMeme(form_));
    at_ = 0;
    mergeOpen_ = false;
    lastKey_ = {};
}

void MemeHistory::BeginStep()
{
    ++depth_;
}

void MemeHistory::EndStep(const StepKey& key)
{
    if (depth_ > 0)
        --depth_;
    if (depth_ > 0 || applying_ || states_.empty())
        return;
    Meme now = ReadMeme(form_);
    const bool merging = mergeOpen_ && key.Merges() && key == lastKey_;
    if (!IsStep(states_[at_], now)) {
        // Nothing changed, or only which caption is current: the state on
        // show takes that, and a run of typing goes on only unbroken.
        states_[at_] = std::move(now);
        mergeOpen_ = merging;
        return;
    }
    if (merging && at_ > 0) {
        states_[at_] = std::move(now);
        // Typed and taken back again: the run changed nothing.
        if (!IsStep(states_[at_ - 1], states_[at_])) {
            states_.erase(states_.begin() + std::ptrdiff_t(at_));
            --at_;
            mergeOpen_ = false;
        }
        return;
    }
    // A new step drops what could be redone.
    states_.erase(states_.begin() + std::ptrdiff_t(at_) + 1, states_.end());
    states_.push_back(std::move(now));
    ++at_;
    while (states_.size() > kept_ + 1) {
        states_.pop_front();
        --at_;
    }
    lastKey_ = key;
    mergeOpen_ = key.Merges();
}

bool MemeHistory::CanUndo() const
{
    return at_ > 0;
}

bool MemeHistory::CanRedo() const
{
    return !states_.empty() && at_ + 1 < states_.size();
}

void MemeHistory::Undo()
{
    if (CanUndo())
        MoveTo(at_ - 1);
}

void MemeHistory::Redo()
{
    if (CanRedo())
        MoveTo(at_ + 1);
}

void MemeHistory::MoveTo(std::size_t index)
{
    applying_ = true;
    ApplyMeme(form_, ForStep(ReadMeme(form_), states_[index]));
    applying_ = false;
    at_ = index;
    mergeOpen_ = false;
    // The state on show is what the window shows now, also which caption
    // is current, so the next step is measured against it.
    if (Meme now = ReadMeme(form_); !IsStep(states_[at_], now))
        states_[at_] = std::move(now);
}

} // namespace mugrove
