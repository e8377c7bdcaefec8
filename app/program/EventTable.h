#pragma once

#include "app/store/MemeStore.h"
#include "controls/decoders/ClipSource.h"
#include "controls/decoders/ImageKind.h"
#include "output/Outcome.h"
#include "output/SaveToDesktop.h"

#include <QObject>

#include <future>
#include <memory>
#include <optional>
#include <vector>

namespace mugrove {

class Animation;
class Button;
class WorkerSave;
class SizeLimitMenu;
struct Form;
struct Meme;

// Binds each (control, event) pair of the window to its handler, and decides
// what the output's outcomes show: the save and copy buttons' captions, and
// one line on standard error for a failure. It owns the one animated save
// that may be running. Made by BindEvents, owned by the window.
class MemeHistory;

class EventTable : public QObject {
    Q_OBJECT
public:
    EventTable(Form& form, SaveEnvironment save);
    ~EventTable() override;

    // 按钮3 Clicked: saves the work area as shown on the desktop, named after
    // the moment of the click; a playing picture as it plays.
    void OnSaveClicked();
    // 按钮1 Clicked: puts the work area as shown on the clipboard.
    void OnCopyClicked();

    // Saves `player` as the save does a playing picture, as `fileName` in
    // `folder`: Working once started, Busy while another save runs, or
    // Failed. The save button follows each outcome. How the frames are
    // encoded follows the picture's `kind` and the size limit (ChooseGifPlan).
    OutputOutcome StartAnimatedSave(std::unique_ptr<Animation> player, const QString& folder,
                                    const QString& fileName, ImageKind kind = ImageKind::Gif);
    // Saves a playing picture as an MP4, as the save does with MP4 chosen:
    // a `clip` from its source over its segment, with its sound, else
    // `player`'s frames; outcomes as for StartAnimatedSave.
    OutputOutcome StartVideoSave(std::unique_ptr<Animation> player, std::optional<ShownClip> clip,
                                 const QString& folder, const QString& fileName);
    // Whether a save of a playing picture (GIF or MP4) is still running.
    bool AnimatedSaveRunning() const;

    // The save button's menu of size limits and formats, and those in force.
    SizeLimitMenu& Limits() { return *limits_; }

    // The meme's undo history, which every step of the window goes through.
    MemeHistory& History() { return *history_; }

    // The store every save records its meme in, so that the saved file can
    // be edited again; $XDG_DATA_HOME/mugrove unless another is set.
    MemeStore& Store() { return store_; }
    const MemeStore& Store() const { return store_; }
    void SetStore(MemeStore store);

    // Returns once every save's record is written (or has failed). A save
    // records its meme on a thread of its own, so the save does not wait
    // for the files' hashes and the store's writes; the window waits for
    // them only when it closes.
    void WaitForRecords();

private:
    // Records the meme that made the file `outcome` wrote, if it wrote one;
    // a store that cannot take it leaves the save as it is and says why in
    // one line on standard error.
    void RecordSaved(const Meme& meme, const OutputOutcome& outcome);
    void ShowSaveOutcome(const OutputOutcome& outcome);
    void ShowCopyOutcome(const OutputOutcome& outcome);
    void ResetOutputCaptions();

    Form& form_;
    const SaveEnvironment save_;
    void FollowSave();

    std::unique_ptr<WorkerSave> running_; // the animated save, GIF or MP4, once started
    std::unique_ptr<MemeHistory> history_;
    MemeStore store_;
    std::vector<std::future<void>> records_; // being written
    SizeLimitMenu* limits_; // the save button's child
};

// Binds the window's events through a new event table; the save takes its
// clock and desktop from `save`.
EventTable& BindEvents(Form& form, SaveEnvironment save = {});

} // namespace mugrove
