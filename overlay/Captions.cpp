#include "overlay/Captions.h"

#include "app/Form.h"
#include "app/model/CheckBox.h"
#include "app/model/DropTarget.h"
#include "app/model/EditBox.h"
#include "app/model/MainWindow.h"
#include "app/model/SliderBar.h"
#include "controls/ColorPicker.h"
#include "controls/TransLabel.h"
#include "overlay/Dragging.h"

#include <algorithm>

namespace mugrove {

namespace {

// The sibling just above the topmost caption, where the next one goes
// beneath; null when the captions are on top already.
QWidget* SiblingAboveCaptions(const Form& form)
{
    const QWidget* top = form.captions.back();
    bool above = false;
    for (QObject* child : top->parentWidget()->children()) {
        if (child == top) {
            above = true;
            continue;
        }
        auto* widget = qobject_cast<QWidget*>(child);
        if (above && widget && !widget->isWindow())
            return widget;
    }
    return nullptr;
}

} // namespace

bool CanAddCaption(const Form& form)
{
    return int(form.captions.size()) < kMaxCaptions;
}

TransLabel* AppendCaption(Form& form)
{
    if (!CanAddCaption(form))
        return nullptr;
    auto* caption = new TransLabel(form.window.get());
    caption->setObjectName(QStringLiteral("添加的文字"));
    caption->setFocusPolicy(Qt::NoFocus);
    if (QWidget* above = SiblingAboveCaptions(form))
        caption->stackUnder(above);
    caption->SetRemovable(true);
    // A photo dropped on a caption lands in the box, as on 透明标签1.
    form.dropTarget->Widen(*caption);
    caption->MouseDown.Bind([&form, caption](int x, int y, int keys) {
        // Choosing a caption is no step, but it ends one being typed.
        AsStep(form.history, {}, [&] { OnCaptionMouseDown(form, *caption, x, y, keys); });
    });
    caption->RemoveChosen.Bind([&form, caption] { AsStep(form.history, {}, [&] { RemoveCaption(form, *caption); }); });
    caption->LookChosen.Bind([&form] { RecordStep(form.history); });
    form.captions.push_back(caption);
    return caption;
}

void DropCaption(Form& form, TransLabel& caption)
{
    if (&caption == form.captionOverlay)
        return;
    const auto at = std::ranges::find(form.captions, &caption);
    if (at == form.captions.end())
        return;
    form.captions.erase(at);
    if (form.currentCaption == &caption)
        form.currentCaption = form.captionOverlay;
    caption.hide();
    caption.deleteLater();
}

TransLabel* AddCaption(Form& form, QPoint centre)
{
    const TransLabel& from = *form.currentCaption;
    TransLabel* caption = AppendCaption(form);
    if (caption == nullptr)
        return nullptr;
    caption->SetLogFont(from.StoredFont());
    caption->SetTextEffect(from.TextEffect());
    caption->SetTextColour(from.TextColour());
    caption->SetHorizontalAlignment(from.HorizontalAlignment());
    caption->SetVerticalAlignment(from.VerticalAlignment());
    caption->SetWordWrap(from.WordWrap());
    caption->SetOutline(from.Outline());
    caption->setGeometry(QRect(QPoint(), from.size()));
    caption->move(centre - QPoint(from.width() / 2, from.height() / 2));
    caption->show();

    MakeCaptionCurrent(form, *caption);
    // Not shown but written: the new caption takes the text from the box.
    form.captionBox->SetContent(QStringLiteral("新的文字"));
    form.captionBox->SelectAll();
    return caption;
}

void RemoveCaption(Form& form, TransLabel& caption)
{
    if (&caption == form.captionOverlay || std::ranges::find(form.captions, &caption) == form.captions.end())
        return;
    DropCaption(form, caption);
    MakeCaptionCurrent(form, *form.captionOverlay);
}

void MakeCaptionCurrent(Form& form, TransLabel& caption)
{
    form.currentCaption = &caption;
    form.caption.showing = true;
    form.captionBox->SetContent(caption.Caption());
    // The number boxes move their sliders as they are written.
    form.widthBox->SetContent(QString::number(caption.Width()));
    form.heightBox->SetContent(QString::number(caption.Height()));
    form.fontSizeSlider->SetPosition(100 - caption.Font().Size);
    form.boldBox->SetChecked(caption.Font().Bold != 0);
    form.colourPicker->SetCurrentColour(caption.TextColour());
    form.caption.showing = false;
}

void OnCaptionMouseDown(Form& form, TransLabel& caption, int x, int y, int keys)
{
    if (form.currentCaption != &caption)
        MakeCaptionCurrent(form, caption);
    StartDrag(form, x, y, keys);
}

} // namespace mugrove
