#include "overlay/CaptionBand.h"

#include "app/Form.h"
#include "app/model/DropTarget.h"
#include "app/model/EditBox.h"
#include "app/model/LogFont.h"
#include "app/model/MainWindow.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "overlay/Captions.h"
#include "templates/BandLayout.h"

namespace mugrove {

namespace {

const QString kBandText = QStringLiteral("新的文字");

} // namespace

bool CanAddBand(const Form& form)
{
    return form.workArea->Decoded() != nullptr;
}

TransLabel& MakeBandCaption(Form& form)
{
    if (form.bandCaption != nullptr)
        return *form.bandCaption;
    auto* caption = new TransLabel(form.window.get());
    caption->setObjectName(QStringLiteral("白边文字"));
    caption->setFocusPolicy(Qt::NoFocus);
    caption->hide();
    // Just above the picture, beneath every other caption.
    caption->stackUnder(form.captions.front());
    caption->SetRemovable(true);
    // A photo dropped on the band lands in the box, as on any caption.
    form.dropTarget->Widen(*caption);
    caption->SetHorizontalAlignment(int(HorizontalAlignment::Centre));
    caption->SetVerticalAlignment(int(VerticalAlignment::Top));
    caption->SetWordWrap(true);
    // A press chooses the band's caption; it is laid out, so it never drags.
    caption->MouseDown.Bind([&form, caption](int, int, int) {
        AsStep(form.history, {}, [&] {
            if (form.currentCaption != caption)
                MakeCaptionCurrent(form, *caption);
        });
    });
    caption->RemoveChosen.Bind([&form] { AsStep(form.history, {}, [&] { RemoveBand(form); }); });
    caption->LookChosen.Bind([&form] { RecordStep(form.history); });
    // Its text and font decide the band's height.
    caption->SettingChanged.Bind([&form] { LayOutBand(form); });
    form.bandCaption = caption;
    return *caption;
}

void ForgetBand(Form& form)
{
    TransLabel* caption = form.bandCaption;
    if (caption == nullptr)
        return;
    form.bandCaption = nullptr;
    if (form.currentCaption == caption)
        form.currentCaption = form.captionOverlay;
    caption->hide();
    caption->deleteLater();
}

TransLabel* AddBand(Form& form)
{
    if (form.bandCaption != nullptr || !CanAddBand(form))
        return nullptr;
    const TransLabel& from = *form.currentCaption;
    const int dpi = ScreenDpiY();
    LogFont font = from.StoredFont().value_or(DefaultGuiLogFont(dpi));
    font.height = -BandStartPixels(form.workArea->Width());
    font.width = 0;
    font.escapement = 0;
    font.orientation = 0;

    TransLabel& caption = MakeBandCaption(form);
    // Laid out once, when everything is set.
    form.caption.placingBand = true;
    caption.SetLogFont(font);
    caption.SetTextColour(0);
    caption.SetCaption(kBandText);
    form.caption.placingBand = false;
    PlacePictureUnderBand(form);
    caption.show();

    MakeCaptionCurrent(form, caption);
    form.captionBox->SelectAll();
    return &caption;
}

void RemoveBand(Form& form)
{
    if (form.bandCaption == nullptr)
        return;
    const bool wasCurrent = form.currentCaption == form.bandCaption;
    ForgetBand(form);
    TakeBandAway(form);
    if (wasCurrent)
        MakeCaptionCurrent(form, *form.captionOverlay);
}

} // namespace mugrove
