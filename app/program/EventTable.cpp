#include "app/program/EventTable.h"

#include "app/Form.h"
#include "app/model/Button.h"
#include "app/model/CheckBox.h"
#include "app/model/DropTarget.h"
#include "app/model/EditBox.h"
#include "app/model/ListBox.h"
#include "app/model/MainWindow.h"
#include "app/model/SliderBar.h"
#include "app/program/Paste.h"
#include "app/program/SizeLimitMenu.h"
#include "app/program/Startup.h"
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

#include <cstdio>
#include <utility>

namespace mugrove {

namespace {

// Adapts a handler taking only the form to an event without arguments.
auto Plain(Form& form, void (*handler)(Form&))
{
    return [&form, handler] { handler(form); };
}

auto Mouse(Form& form, void (*handler)(Form&, int, int, int))
{
    return [&form, handler](int x, int y, int keys) { handler(form, x, y, keys); };
}

// One line for whoever reads the program's output: which action failed and why.
void ReportFailure(const char* action, const OutputOutcome& outcome)
{
    std::fprintf(stderr, "mugrove: %s failed: %s\n", action, qPrintable(outcome.reason));
}

} // namespace

EventTable::EventTable(Form& f, SaveEnvironment save) : QObject(f.window.get()), form_(f), save_(std::move(save))
{
    f.window->Created.Bind(Plain(f, OnWindowCreated));
    f.window->MouseMove.Bind(Mouse(f, OnWindowMouseMove));
    f.window->MouseUp.Bind(Mouse(f, OnWindowMouseUp));
    f.captionOverlay->MouseDown.Bind(Mouse(f, OnOverlayMouseDown));
    f.templateList->SelectionChanged.Bind([this, &f] {
        OnTemplateSelected(f);
        // Each new template starts with the output captions of the window definition.
        ResetOutputCaptions();
    });
    f.zoomInButton->Clicked.Bind(Plain(f, OnZoomIn));
    f.zoomOutButton->Clicked.Bind(Plain(f, OnZoomOut));
    f.dropTarget->FilesDropped.Bind([&f](const QString& names) { OnPhotoDropped(f, names); });
    f.captionBox->ContentChanged.Bind(Plain(f, OnCaptionEdited));
    f.widthSlider->PositionChanged.Bind(Plain(f, OnWidthSliderMoved));
    f.heightSlider->PositionChanged.Bind(Plain(f, OnHeightSliderMoved));
    f.widthBox->ContentChanged.Bind(Plain(f, OnWidthBoxEdited));
    f.heightBox->ContentChanged.Bind(Plain(f, OnHeightBoxEdited));
    f.fontSizeSlider->PositionChanged.Bind(Plain(f, OnFontSizeSliderMoved));
    f.boldBox->Clicked.Bind(Plain(f, OnBoldClicked));
    f.colourPicker->ColourChanged.Bind(Plain(f, OnColourChosen));
    f.fontButton->Clicked.Bind(Plain(f, OnFontButtonClicked));
    f.saveButton->Clicked.Bind([this] { OnSaveClicked(); });
    f.copyButton->Clicked.Bind([this] { OnCopyClicked(); });
    limits_ = new SizeLimitMenu(*f.saveButton);
    BindPaste(f); // the paste keys and the work area's menu
}

EventTable::~EventTable() = default;

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
    ShowSaveOutcome(SaveStill(box, folder, name + QStringLiteral(".jpg"), limits_->Limit()));
}

void EventTable::OnCopyClicked()
{
    ShowCopyOutcome(CopyShown(*form_.workArea));
}

// The save button follows a started save's progress and outcome.
template <class Save>
void EventTable::FollowSave(std::unique_ptr<Save>& save)
{
    if (!save)
        return;
    connect(save.get(), &Save::Progress, this, [this](int percent) {
        form_.saveButton->SetCaption(QStringLiteral("保存中... %1%").arg(percent));
    });
    connect(save.get(), &Save::Finished, this, [this, &save](const OutputOutcome& finished) {
        // Let go of the save (and the copy of the picture it played) once
        // its signal is over.
        save.release()->deleteLater();
        ShowSaveOutcome(finished);
    });
}

OutputOutcome EventTable::StartAnimatedSave(std::unique_ptr<Animation> player, const QString& folder,
                                            const QString& fileName, ImageKind kind)
{
    if (AnimatedSaveRunning())
        return OutputOutcome::Busy();
    OutputOutcome outcome = OutputOutcome::Working();
    animated_ = AnimatedSave::Start(*form_.workArea, std::move(player), folder, fileName,
                                    ChooseGifPlan(limits_->Limit(), kind), outcome);
    FollowSave(animated_);
    ShowSaveOutcome(outcome);
    return outcome;
}

OutputOutcome EventTable::StartVideoSave(std::unique_ptr<Animation> player, std::optional<ShownClip> clip,
                                         const QString& folder, const QString& fileName)
{
    if (AnimatedSaveRunning())
        return OutputOutcome::Busy();
    OutputOutcome outcome = OutputOutcome::Working();
    video_ = Mp4Save::Start(*form_.workArea, std::move(player), std::move(clip), folder, fileName,
                            limits_->Limit(), outcome);
    FollowSave(video_);
    ShowSaveOutcome(outcome);
    return outcome;
}

bool EventTable::AnimatedSaveRunning() const
{
    return (animated_ && animated_->Running()) || (video_ && video_->Running());
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
