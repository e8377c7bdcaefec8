#include "templates/BandLayout.h"

#include "app/Form.h"
#include "app/model/EmojiRuns.h"
#include "app/model/LogFont.h"
#include "controls/CaptionLook.h"
#include "controls/PicBox.h"
#include "controls/RunText.h"
#include "controls/TransLabel.h"
#include "templates/Selection.h"

#include <QFontMetrics>
#include <QImage>

#include <algorithm>
#include <cmath>

namespace mugrove {

namespace {

// Every caption keeps its place over the picture as the band above it
// changes by `rows`.
void MoveCaptions(Form& form, int rows)
{
    if (rows == 0)
        return;
    for (TransLabel* caption : form.captions)
        caption->SetTop(caption->Top() + rows);
}

// Puts the band over a picture `pictureHeight` rows high whose band was
// `oldBand` rows.
void Place(Form& form, int pictureHeight, int oldBand)
{
    PicBox& area = *form.workArea;
    TransLabel& caption = *form.bandCaption;
    const int width = area.Width();
    const int margin = BandMargin(width);
    const int textWidth = std::max(1, width - 2 * margin);
    const CaptionLook look = caption.Look();
    const int textHeight = BandTextHeight(look.font, look.dpi, textWidth, caption.Caption());
    caption.SetLeft(area.Left() + margin);
    caption.SetTop(area.Top() + margin);
    caption.SetWidth(textWidth);
    caption.SetHeight(textHeight);
    const int band = textHeight + 2 * margin;
    area.SetBand(band);
    area.SetHeight(pictureHeight + band);
    MoveCaptions(form, band - oldBand);
    RefreshSizeLabels(form);
}

} // namespace

int BandMargin(int width)
{
    return int(std::lround(std::max(0, width) / 20.0));
}

int BandStartPixels(int width)
{
    return std::max(16, int(std::lround(std::max(0, width) / 10.0)));
}

int BandTextHeight(const QFont& font, int dpi, int width, const QString& text)
{
    // The caption draws at its own resolution, as this image has it.
    QImage device(1, 1, QImage::Format_ARGB32_Premultiplied);
    const int dotsPerMeter = qRound(dpi / 0.0254);
    device.setDotsPerMeterX(dotsPerMeter);
    device.setDotsPerMeterY(dotsPerMeter);
    const QFontMetrics metrics(font, &device);
    const int flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap | Qt::TextShowMnemonic;
    int height = 0;
    if (!EmojiRuns(text).empty()) {
        QTextCharFormat emoji;
        emoji.setFontFamilies(QStringList{kColourEmojiFamily});
        height = int(std::ceil(TextWithRunsHeight(font, &device, width, flags, text,
                                                  [](QStringView shown) { return EmojiRuns(shown); }, emoji)));
    } else if (!text.isEmpty()) {
        height = metrics.boundingRect(QRect(0, 0, width, 1 << 24), flags, text).height();
    }
    return std::max(height, metrics.height());
}

void LayOutBand(Form& form)
{
    if (form.bandCaption == nullptr || form.caption.placingBand)
        return;
    const PicBox& area = *form.workArea;
    Place(form, area.Height() - area.Band(), area.Band());
}

void PlacePictureUnderBand(Form& form)
{
    if (form.bandCaption == nullptr || form.caption.placingBand)
        return;
    const PicBox& area = *form.workArea;
    Place(form, area.Height(), area.Band());
}

void TakeBandAway(Form& form)
{
    PicBox& area = *form.workArea;
    const int band = area.Band();
    if (band == 0)
        return;
    area.SetBand(0);
    area.SetHeight(area.Height() - band);
    MoveCaptions(form, -band);
    RefreshSizeLabels(form);
}

} // namespace mugrove
