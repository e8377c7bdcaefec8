#include "app/document/Meme.h"

#include "app/Form.h"
#include "app/model/CheckBox.h"
#include "app/model/EditBox.h"
#include "app/model/Label.h"
#include "app/model/ListBox.h"
#include "app/model/SliderBar.h"
#include "controls/ColorPicker.h"
#include "controls/PicBox.h"
#include "controls/TransLabel.h"
#include "controls/clips/ClipReader.h"
#include "controls/decoders/DecodedPicture.h"
#include "sandbox/Decode.h"
#include "overlay/CaptionBand.h"
#include "overlay/Captions.h"
#include "templates/Catalog.h"
#include "templates/Selection.h"

#include <algorithm>
#include <cstring>

namespace mugrove {

namespace {

template <typename... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <typename... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

// The template whose JPEG these bytes are; -1 for any other picture. Most
// pictures differ from every template in length, so this rarely compares
// more than 38 lengths.
int TemplateIndexOf(const PictureBytes& bytes)
{
    for (int i = 0; i < TemplateCatalog::Count(); ++i) {
        const std::span<const std::uint8_t> picture = TemplateCatalog::Find(i)->picture;
        if (picture.size() == bytes.size() && std::memcmp(picture.data(), bytes.data(), bytes.size()) == 0)
            return i;
    }
    return -1;
}

PictureSource ReadPicture(const PicBox& box)
{
    if (const DecodedPicture* decoded = box.Decoded(); decoded != nullptr && decoded->clip)
        return ClipPicture{decoded->clip->source, decoded->clip->segment, {}};
    std::shared_ptr<const PictureBytes> bytes = box.SharedPicture();
    if (!bytes || bytes->empty())
        return NoPicture{};
    if (const int index = TemplateIndexOf(*bytes); index >= 0)
        return TemplatePicture{QString::fromUtf8(TemplateCatalog::Find(index)->label)};
    return OwnPicture{std::move(bytes)};
}

void ShowPicture(PicBox& box, const PictureSource& source)
{
    std::visit(Overloaded{
                   [&](const NoPicture&) { box.SetPicture({}); },
                   [&](const TemplatePicture& t) {
                       const TemplateEntry* entry = TemplateCatalog::Find(TemplateIndexByName(t.name));
                       box.SetPicture(entry ? PictureBytes(entry->picture.begin(), entry->picture.end())
                                            : PictureBytes());
                   },
                   [&](const OwnPicture& p) {
                       if (!p.bytes)
                           box.SetPicture({});
                       else
                           box.SetDecodedPicture(p.bytes, DecodeOrNull(p.bytes));
                   },
                   [&](const ClipPicture& c) {
                       auto decoded = std::make_unique<DecodedPicture>();
                       // A clip that cannot be opened any more shows nothing.
                       if (DecodeClip(c.source, *decoded, c.segment) != DecodeError::None)
                           decoded.reset();
                       box.SetDecodedPicture(std::make_shared<const PictureBytes>(), std::move(decoded));
                   },
               },
               source);
}

CaptionValue ReadCaption(const TransLabel& label)
{
    return {label.Caption(),
            label.StoredFont(),
            label.TextEffect(),
            label.TextColour(),
            label.HorizontalAlignment(),
            label.VerticalAlignment(),
            label.WordWrap(),
            label.Outline(),
            QRect(label.Left(), label.Top(), label.Width(), label.Height())};
}

// Each write repaints what lies beneath the caption, so only what differs
// is written.
void PutCaption(TransLabel& label, const CaptionValue& value)
{
    const bool hidden = !label.isVisible();
    if (label.Caption() != value.text)
        label.SetCaption(value.text);
    if (label.StoredFont() != value.font)
        label.SetLogFont(value.font);
    if (label.TextEffect() != value.effect)
        label.SetTextEffect(value.effect);
    if (label.TextColour() != value.colour)
        label.SetTextColour(value.colour);
    if (label.HorizontalAlignment() != value.horizontal)
        label.SetHorizontalAlignment(value.horizontal);
    if (label.VerticalAlignment() != value.vertical)
        label.SetVerticalAlignment(value.vertical);
    if (label.WordWrap() != value.wordWrap)
        label.SetWordWrap(value.wordWrap);
    if (label.Outline() != value.outline)
        label.SetOutline(value.outline);
    if (QRect(label.Left(), label.Top(), label.Width(), label.Height()) != value.geometry) {
        label.SetLeft(value.geometry.x());
        label.SetTop(value.geometry.y());
        label.SetWidth(value.geometry.width());
        label.SetHeight(value.geometry.height());
    }
    if (hidden)
        label.show();
}

ShownControls ReadControls(const Form& form)
{
    std::optional<QString> box;
    if (QString text = form.captionBox->Content(); text != form.currentCaption->Caption())
        box = std::move(text);
    return {std::move(box),
            form.widthBox->Content(),        form.heightBox->Content(),
            form.widthSlider->Position(),    form.heightSlider->Position(),
            form.fontSizeSlider->Position(), form.boldBox->Checked(),
            form.colourPicker->CurrentColour(), form.templateList->CurrentIndex(),
            form.widthLabel->Caption(),      form.heightLabel->Caption()};
}

// What the controls show when a caption is made current: its own values.
ShownControls OwnControls(const Form& form, const TransLabel& caption)
{
    const OverlayFont font = caption.Font();
    return {std::nullopt,
            QString::number(caption.Width()),
            QString::number(caption.Height()),
            caption.Width(),
            caption.Height(),
            100 - font.Size,
            font.Bold != 0 ? 1 : 0,
            caption.TextColour(),
            form.templateList->CurrentIndex(),
            form.widthLabel->Caption(),
            form.heightLabel->Caption()};
}

void ShowControls(Form& form, const TransLabel& current, const ShownControls& shown)
{
    // The writes raise the boxes' events, which then change no caption.
    form.caption.showing = true;
    const QString& text = shown.captionBox ? *shown.captionBox : current.Caption();
    if (form.captionBox->Content() != text) {
        form.captionBox->SetContent(text);
        // Typing goes on after the text put back.
        form.captionBox->PlaceCursorAtEnd();
    }
    if (form.widthBox->Content() != shown.widthBox)
        form.widthBox->SetContent(shown.widthBox);
    if (form.heightBox->Content() != shown.heightBox)
        form.heightBox->SetContent(shown.heightBox);
    if (form.widthSlider->Position() != shown.widthSlider)
        form.widthSlider->SetPosition(shown.widthSlider);
    if (form.heightSlider->Position() != shown.heightSlider)
        form.heightSlider->SetPosition(shown.heightSlider);
    if (form.fontSizeSlider->Position() != shown.fontSizeSlider)
        form.fontSizeSlider->SetPosition(shown.fontSizeSlider);
    if (form.boldBox->Checked() != shown.bold)
        form.boldBox->SetChecked(shown.bold);
    if (form.colourPicker->CurrentColour() != shown.colour)
        form.colourPicker->SetCurrentColour(shown.colour);
    if (form.templateList->CurrentIndex() != shown.templateIndex)
        form.templateList->SetCurrentIndex(shown.templateIndex);
    if (form.widthLabel->Caption() != shown.widthLabel)
        form.widthLabel->SetCaption(shown.widthLabel);
    if (form.heightLabel->Caption() != shown.heightLabel)
        form.heightLabel->SetCaption(shown.heightLabel);
    form.caption.showing = false;
}

// The first caption that differs between the two lists, as an index into
// `to`; -1 when the lists are the same.
int FirstChangedCaption(const std::vector<CaptionValue>& from, const std::vector<CaptionValue>& to)
{
    const std::size_t common = std::min(from.size(), to.size());
    for (std::size_t i = 0; i < common; ++i)
        if (!(from[i] == to[i]))
            return int(i);
    return from.size() == to.size() ? -1 : int(common);
}

} // namespace

namespace {

bool SameBytes(const std::shared_ptr<const PictureBytes>& a, const std::shared_ptr<const PictureBytes>& b)
{
    if (a == b)
        return true;
    return a && b && *a == *b;
}

// Whether the band is there in both or neither, with the same text and look
// (wherever it lies).
bool SameBandCaption(const std::optional<BandValue>& a, const std::optional<BandValue>& b)
{
    if (!a || !b)
        return !a && !b;
    CaptionValue placed = b->caption;
    placed.geometry = a->caption.geometry;
    return a->caption == placed;
}

} // namespace

bool OwnPicture::operator==(const OwnPicture& other) const
{
    return SameBytes(bytes, other.bytes);
}

bool ClipPicture::operator==(const ClipPicture& other) const
{
    return source.path == other.source.path && SameBytes(source.bytes, other.source.bytes)
        && segment.start == other.segment.start && segment.end == other.segment.end;
}

bool SameDocument(const Meme& a, const Meme& b)
{
    return a.picture == b.picture && a.frame == b.frame && a.captions == b.captions && a.band == b.band;
}

bool IsStep(const Meme& before, const Meme& after)
{
    if (!SameDocument(before, after))
        return true;
    return before.current == after.current && before.shown != after.shown;
}

Meme ForStep(const Meme& shown, const Meme& target)
{
    Meme out = target;
    // The band put on, taken off or written to: its caption is the one the
    // step changed (the others only moved with the picture).
    if (!SameBandCaption(shown.band, target.band)) {
        if (target.band && target.current != kBandCurrent) {
            out.current = kBandCurrent;
            out.shown.reset();
        }
        return out;
    }
    const int changed = FirstChangedCaption(shown.captions, target.captions);
    // A caption that is gone in `target` (an undone addition) leaves the
    // one current then.
    if (changed >= 0 && changed < int(target.captions.size()) && changed != target.current) {
        out.current = changed;
        out.shown.reset();
    }
    return out;
}

Meme ReadMeme(const Form& form)
{
    Meme meme;
    meme.picture = ReadPicture(*form.workArea);
    const PicBox& area = *form.workArea;
    meme.frame = {QRect(area.Left(), area.Top(), area.Width(), area.Height()), area.DisplayMode(), area.Shape()};
    meme.captions.reserve(form.captions.size());
    for (std::size_t i = 0; i < form.captions.size(); ++i) {
        meme.captions.push_back(ReadCaption(*form.captions[i]));
        if (form.captions[i] == form.currentCaption)
            meme.current = int(i);
    }
    if (form.bandCaption != nullptr) {
        meme.band = BandValue{ReadCaption(*form.bandCaption), form.workArea->Band()};
        if (form.currentCaption == form.bandCaption)
            meme.current = kBandCurrent;
    }
    meme.shown = ReadControls(form);
    return meme;
}

void ApplyMeme(Form& form, const Meme& meme)
{
    // A drag in progress would go on moving whichever caption is current.
    form.caption.drag.Dragging = false;
    // The band's caption takes its kept place, not one laid out anew.
    struct Placing {
        bool& flag;
        explicit Placing(bool& f) : flag(f) { flag = true; }
        ~Placing() { flag = false; }
    } placing(form.caption.placingBand);

    PicBox& area = *form.workArea;
    const bool newPicture = !(ReadPicture(area) == meme.picture);
    if (newPicture)
        ShowPicture(area, meme.picture);
    const QRect& box = meme.frame.geometry;
    const bool moved = QRect(area.Left(), area.Top(), area.Width(), area.Height()) != box;
    if (moved) {
        area.SetLeft(box.x());
        area.SetTop(box.y());
        area.SetHeight(box.height());
        area.SetWidth(box.width());
    }
    area.SetDisplayMode(meme.frame.displayMode);
    area.SetBand(meme.band ? meme.band->height : 0);
    area.SetShape(meme.frame.shape);
    if (newPicture || moved)
        RefreshSizeLabels(form);

    // The captions by their place in the stack: the labels there take the
    // values, extra ones go and missing ones are made (always above).
    if (meme.captions.empty())
        return; // not a meme of this window: 透明标签1 is always there
    while (form.captions.size() > meme.captions.size())
        DropCaption(form, *form.captions.back());
    while (form.captions.size() < meme.captions.size())
        if (AppendCaption(form) == nullptr)
            break;
    for (std::size_t i = 0; i < form.captions.size(); ++i)
        PutCaption(*form.captions[i], meme.captions[i]);
    if (meme.band)
        PutCaption(MakeBandCaption(form), meme.band->caption);
    else
        ForgetBand(form);

    const int current = std::clamp(meme.current, 0, int(form.captions.size()) - 1);
    TransLabel& caption = meme.current == kBandCurrent && form.bandCaption != nullptr
        ? *form.bandCaption
        : *form.captions[std::size_t(current)];
    form.currentCaption = &caption;
    ShowControls(form, caption, meme.shown ? *meme.shown : OwnControls(form, caption));
}

int TemplateIndexByName(const QString& name)
{
    for (int i = 0; i < TemplateCatalog::Count(); ++i)
        if (QString::fromUtf8(TemplateCatalog::Find(i)->label) == name)
            return i;
    return -1;
}

} // namespace mugrove
