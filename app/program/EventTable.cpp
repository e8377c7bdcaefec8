#include "app/program/EventTable.h"

#include "app/Form.h"
#include "app/model/Button.h"
#include "app/model/CheckBox.h"
#include "app/model/DropTarget.h"
#include "app/model/EditBox.h"
#include "app/model/ListBox.h"
#include "app/model/MainWindow.h"
#include "app/model/SliderBar.h"
#include "app/document/MemeHistory.h"
#include "app/program/Paste.h"
#include "app/program/SavedMemes.h"
#include "app/program/SizeLimitMenu.h"
#include "app/program/Startup.h"
#include "app/program/UndoKeys.h"
#include "controls/ColorPicker.h"
#include "controls/TransLabel.h"
#include "app/WindowDefinition.h"
#include "controls/PicBox.h"
#include "controls/decoders/Animation.h"
#include "output/AnimatedSave.h"
#include "output/Mp4Save.h"
#include "output/Clipboard.h"
#include "output/GifPacing.h"
#include "output/SaveToDesktop.h"
#include "overlay/Dragging.h"
#include "overlay/StyleHandlers.h"
#include "templates/PhotoDrop.h"
#include "templates/Selection.h"
#include "templates/Zoom.h"

#include <QString>

#include <chrono>
#include <cstdio>
#include <utility>

namespace mugrove {

namespace {

// Adapts a mouse handler to its event.
auto Mouse(Form& form, void (*handler)(Form&, int, int, int))
{
    return [&form, handler](int x, int y, int keys) { handler(form, x, y, keys); };
}

// Adapts a handler taking only the form to an event without arguments,
// each event one step of the meme's history.
auto Step(Form& form, void (*handler)(Form&))
{
    return [&form, handler] { AsStep(form.history, {}, [&] { handler(form); }); };
}

// The same for a mouse event.
auto MouseStep(Form& form, void (*handler)(Form&, int, int, int))
{
    return [&form, handler](int x, int y, int keys) {
        AsStep(form.history, {}, [&] { handler(form, x, y, keys); });
    };
}

// Characters typed into one box for one caption, with nothing between
// them, are one step; a paste is a step of its own.
StepKey TypingKey(const EditBox& box, const TransLabel* caption)
{
    if (box.LastChange() != EditBox::Change::Typed)
        return {};
    return {&box, caption, 0};
}

// A slider's movements from the press on its thumb to the release are one
// step; each key, wheel notch or click into the channel is one.
StepKey SliderKey(const SliderBar& slider)
{
    const std::uint64_t press = slider.HeldPress();
    if (press == 0)
        return {};
    return {&slider, nullptr, press};
}

auto Typed(Form& form, EditBox* box, void (*handler)(Form&))
{
    return [&form, box, handler] {
        AsStep(form.history, TypingKey(*box, form.currentCaption), [&] { handler(form); });
    };
}

auto Slid(Form& form, SliderBar* slider, void (*handler)(Form&))
{
    return [&form, slider, handler] { AsStep(form.history, SliderKey(*slider), [&] { handler(form); }); };
}

// One line for whoever reads the program's output: which action failed and why.
void ReportFailure(const char* action, const OutputOutcome& outcome)
{
    std::fprintf(stderr, "mugrove: %s failed: %s\n", action, qPrintable(outcome.reason));
}

} // namespace

EventTable::EventTable(Form& f, SaveEnvironment save)
    : QObject(f.window.get()), form_(f), save_(std::move(save)), history_(std::make_unique<MemeHistory>(f))
{
    f.history = history_.get();
    f.window->Created.Bind([&f, this] {
        OnWindowCreated(f);
        // The meme as the window opens is the first state.
        history_->Start();
    });
    f.window->MouseMove.Bind(Mouse(f, OnWindowMouseMove));
    // A drag is one step, from the press to the release.
    f.window->MouseUp.Bind(MouseStep(f, OnWindowMouseUp));
    // Choosing a caption is no step, but it ends one being typed.
    f.captionOverlay->MouseDown.Bind(MouseStep(f, OnOverlayMouseDown));
    f.captionOverlay->LookChosen.Bind([&f] { RecordStep(f.history); });
    f.templateList->SelectionChanged.Bind([this, &f] {
        AsStep(f.history, {}, [&] {
            OnTemplateSelected(f);
            // Each new template starts with the output captions of the window definition.
            ResetOutputCaptions();
        });
    });
    f.zoomInButton->Clicked.Bind(Step(f, OnZoomIn));
    f.zoomOutButton->Clicked.Bind(Step(f, OnZoomOut));
    f.dropTarget->FilesDropped.Bind(
        [&f](const QString& names) { AsStep(f.history, {}, [&] { OnPhotoDropped(f, names); }); });
    f.captionBox->ContentChanged.Bind(Typed(f, f.captionBox, OnCaptionEdited));
    f.widthSlider->PositionChanged.Bind(Slid(f, f.widthSlider, OnWidthSliderMoved));
    f.heightSlider->PositionChanged.Bind(Slid(f, f.heightSlider, OnHeightSliderMoved));
    f.widthBox->ContentChanged.Bind(Typed(f, f.widthBox, OnWidthBoxEdited));
    f.heightBox->ContentChanged.Bind(Typed(f, f.heightBox, OnHeightBoxEdited));
    f.fontSizeSlider->PositionChanged.Bind(Slid(f, f.fontSizeSlider, OnFontSizeSliderMoved));
    f.boldBox->Clicked.Bind(Step(f, OnBoldClicked));
    f.colourPicker->ColourChanged.Bind(Step(f, OnColourChosen));
    f.fontButton->Clicked.Bind(Step(f, OnFontButtonClicked));
    f.saveButton->Clicked.Bind([this] { OnSaveClicked(); });
    f.copyButton->Clicked.Bind([this] { OnCopyClicked(); });
    limits_ = new SizeLimitMenu(*f.saveButton);
    BindPaste(f); // the paste keys and the work area's menu
    BindUndo(f);  // the undo and redo keys, and the edit boxes' menus
}

EventTable::~EventTable()
{
    form_.history = nullptr;
    WaitForRecords();
}

void EventTable::SetStore(MemeStore store)
{
    WaitForRecords();
    store_ = std::move(store);
}

void EventTable::WaitForRecords()
{
    for (std::future<void>& record : records_)
        record.wait();
    records_.clear();
}

void EventTable::OnSaveClicked()
{
    // A save still writing an animation takes no second click.
    if (AnimatedSaveRunning())
        return;
    QString why;
    const QString folder = GetDesktopFolder(save_, &why);
    const QString name = SaveName(save_);
    if (folder.isEmpty()) {
        ShowSaveOutcome(OutputOutcome::Failed(why));
        return;
    }
    PicBox& box = *form_.workArea;
    // A playing picture is saved as it plays, on a worker thread.
    if (box.Animating()) {
        const DecodedPicture& shown = *box.Decoded();
        // As an MP4 a clip is read anew by a decoder of its own, with its
        // sound and its own timing; another moving picture plays from a
        // copy of its player.
        if (limits_->Format() == MovingFormat::Mp4) {
            StartVideoSave(shown.clip ? nullptr : shown.animation->Clone(), shown.clip, folder,
                           name + QStringLiteral(".mp4"));
            return;
        }
        std::unique_ptr<Animation> player = shown.animation->Clone();
        const ImageKind kind = shown.kind;
        // A clip's segment as a GIF shows it: the rate capped, no delay too short.
        if (kind == ImageKind::Clip)
            player = PacedForGif(std::move(player));
        StartAnimatedSave(std::move(player), folder, name + QStringLiteral(".gif"), kind);
        return;
    }
    const Meme meme = ReadMeme(form_);
    const OutputOutcome outcome = SaveStill(box, folder, name + QStringLiteral(".jpg"), limits_->Limit());
    ShowSaveOutcome(outcome);
    RecordSaved(meme, outcome);
}

void EventTable::RecordSaved(const Meme& meme, const OutputOutcome& outcome)
{
    if (outcome.kind != OutputOutcome::Kind::Written || outcome.path.isEmpty())
        return;
    std::erase_if(records_, [](const std::future<void>& record) {
        return record.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
    // The meme's pictures are shared and never change, and the store holds
    // nothing but its folder, so the thread works on copies of its own.
    records_.push_back(std::async(std::launch::async, [store = store_, meme, path = outcome.path]() mutable {
        QString why;
        if (!RecordSavedMeme(store, meme, path, &why))
            std::fprintf(stderr, "mugrove: %s will not be editable again: %s\n", qPrintable(path),
                         qPrintable(why.simplified()));
    }));
}

void EventTable::OnCopyClicked()
{
    ShowCopyOutcome(CopyShown(*form_.workArea));
}

// The save button follows a started save's progress and outcome.
void EventTable::FollowSave()
{
    if (!running_)
        return;
    connect(running_.get(), &WorkerSave::Progress, this, [this](int percent) {
        form_.saveButton->SetCaption(QStringLiteral("保存中... %1%").arg(percent));
    });
    // The meme as it was when the save began is the one its file shows.
    connect(running_.get(), &WorkerSave::Finished, this,
            [this, meme = ReadMeme(form_)](const OutputOutcome& finished) {
                // Let go of the save (and the copy of the picture it played)
                // once its signal is over.
                running_.release()->deleteLater();
                ShowSaveOutcome(finished);
                RecordSaved(meme, finished);
            });
}

OutputOutcome EventTable::StartAnimatedSave(std::unique_ptr<Animation> player, const QString& folder,
                                            const QString& fileName, ImageKind kind)
{
    if (AnimatedSaveRunning())
        return OutputOutcome::Busy();
    OutputOutcome outcome = OutputOutcome::Working();
    running_ = AnimatedSave::Start(*form_.workArea, std::move(player), folder, fileName,
                                    ChooseGifPlan(limits_->Limit(), kind), outcome);
    FollowSave();
    ShowSaveOutcome(outcome);
    return outcome;
}

OutputOutcome EventTable::StartVideoSave(std::unique_ptr<Animation> player, std::optional<ShownClip> clip,
                                         const QString& folder, const QString& fileName)
{
    if (AnimatedSaveRunning())
        return OutputOutcome::Busy();
    OutputOutcome outcome = OutputOutcome::Working();
    running_ = Mp4Save::Start(*form_.workArea, std::move(player), std::move(clip), folder, fileName,
                            limits_->Limit(), outcome);
    FollowSave();
    ShowSaveOutcome(outcome);
    return outcome;
}

bool EventTable::AnimatedSaveRunning() const
{
    return running_ && running_->Running();
}

void EventTable::ShowSaveOutcome(const OutputOutcome& outcome)
{
    switch (outcome.kind) {
    case OutputOutcome::Kind::Written: form_.saveButton->SetCaption(QStringLiteral("保存成功!!")); break;
    case OutputOutcome::Kind::Working: form_.saveButton->SetCaption(QStringLiteral("保存中...")); break;
    case OutputOutcome::Kind::Failed:
        ReportFailure("save", outcome);
        form_.saveButton->SetCaption(QStringLiteral("保存失败!!"));
        break;
    case OutputOutcome::Kind::Busy: break; // the running save keeps the button
    }
}

void EventTable::ShowCopyOutcome(const OutputOutcome& outcome)
{
    const bool copied = outcome.kind == OutputOutcome::Kind::Written;
    if (!copied)
        ReportFailure("copy", outcome);
    form_.copyButton->SetCaption(copied ? QStringLiteral("复制成功!!") : QStringLiteral("复制失败!!"));
}

void EventTable::ResetOutputCaptions()
{
    form_.copyButton->SetCaption(QString::fromUtf8(kCopyCaption));
    form_.saveButton->SetCaption(QString::fromUtf8(kSaveCaption));
}

EventTable& BindEvents(Form& form, SaveEnvironment save)
{
    auto* table = new EventTable(form, std::move(save));
    form.events = table;
    return *table;
}

} // namespace mugrove
