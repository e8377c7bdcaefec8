#pragma once

#include "app/model/LogFont.h"
#include "controls/PictureShape.h"
#include "controls/decoders/ClipSource.h"
#include "controls/decoders/PictureBytes.h"

#include <QByteArray>
#include <QRect>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace mugrove {

struct Form;

// The meme as one plain value: where its picture comes from, how the work
// area holds it, and its captions. It is read from the window after every
// step and put back into it exactly; the history and the store keep such
// values. Pictures are shared between values, never copied.

struct NoPicture {
    bool operator==(const NoPicture&) const = default;
};

// A built-in template, by its label in the list.
struct TemplatePicture {
    QString name;
    bool operator==(const TemplatePicture&) const = default;
};

// A dropped or pasted picture: the bytes of its file.
struct OwnPicture {
    std::shared_ptr<const PictureBytes> bytes;
    // The same bytes, shared or not.
    bool operator==(const OwnPicture& other) const;
};

// A clip, played from its file (or from bytes in memory) within a segment.
struct ClipPicture {
    ClipSource source;
    ClipSegment segment;
    // The SHA-256 of the clip's file, when known (a recorded meme's); the
    // window does not know it, so it takes no part in comparisons.
    QByteArray hash;
    bool operator==(const ClipPicture& other) const;
};

using PictureSource = std::variant<NoPicture, TemplatePicture, OwnPicture, ClipPicture>;

// How the work area holds the picture: its place and size (the zoom), its
// display mode, and how the picture is turned, flipped and cropped.
struct PictureFrame {
    QRect geometry;
    int displayMode = 1;
    PictureShape shape;
    bool operator==(const PictureFrame&) const = default;
};

// One caption: its text, its look, and its box on the window.
struct CaptionValue {
    QString text;
    std::optional<LogFont> font; // none draws the default GUI font
    int effect = 0;
    std::uint32_t colour = 0; // 0x00BBGGRR
    int horizontal = 0;
    int vertical = 1;
    bool wordWrap = false;
    bool outline = false;
    QRect geometry;
    bool operator==(const CaptionValue&) const = default;
};

// What the style controls show of the current caption, and the labels. They can disagree
// with it (a number typed into a number box moves only its slider; the font
// dialog leaves the bold box and the size slider alone), so they are kept
// as shown.
struct ShownControls {
    // The edit box's text when it is not the current caption's (as the
    // window opens); absent otherwise, so no state holds a second copy of
    // a long text.
    std::optional<QString> captionBox;
    QString widthBox;
    QString heightBox;
    int widthSlider = 0;
    int heightSlider = 0;
    int fontSizeSlider = 0;
    int bold = 0;
    std::uint32_t colour = 0;
    int templateIndex = -1; // the list's selection
    // The size labels: they follow the work area, but say nothing until a
    // picture first sizes it.
    QString widthLabel;
    QString heightLabel;
    bool operator==(const ShownControls&) const = default;
};

// The white band above the picture: its caption, laid out over the
// picture's width, and its rows at the top of the work area (in `frame`).
struct BandValue {
    CaptionValue caption;
    int height = 0;
    bool operator==(const BandValue&) const = default;
};

// Meme::current while the band's caption is the current one.
inline constexpr int kBandCurrent = -1;

struct Meme {
    PictureSource picture;
    PictureFrame frame;
    std::vector<CaptionValue> captions; // bottom first, 透明标签1 at 0
    int current = 0;                    // the caption the style controls edit
    // Absent: the controls show the current caption's own values.
    std::optional<ShownControls> shown;
    std::optional<BandValue> band; // none without the band
};

// The same meme: picture, frame and captions, whichever caption is current
// and whatever the controls show.
bool SameDocument(const Meme& a, const Meme& b);

// Whether going from `before` to `after` is a step of the history: the meme
// changed, or the controls changed while the same caption stayed current.
// Choosing another caption alone is no step.
bool IsStep(const Meme& before, const Meme& after);

// What to show when the window goes from `shown` to `target` (an undo or a
// redo): `target`, with the caption that differs between them current.
Meme ForStep(const Meme& shown, const Meme& target);

// The window's meme now.
Meme ReadMeme(const Form& form);

// Puts the meme into the window: the picture (decoded again only when it
// is another), the work area's place, size and labels, every caption, the
// current one and what the controls show. Only what differs is written, so
// putting back a caption's colour repaints that caption and nothing else.
// A running drag ends. Raises no step: callers put it back outside one.
void ApplyMeme(Form& form, const Meme& meme);

// The built-in template of that label; -1 when there is none.
int TemplateIndexByName(const QString& name);

} // namespace mugrove
