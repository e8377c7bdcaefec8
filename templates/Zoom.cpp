#include "templates/Zoom.h"

#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "controls/PicBox.h"
#include "templates/BandLayout.h"
#include "templates/Selection.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace mugrove {

std::int32_t ScaleToPixels(std::int32_t size, double factor)
{
    const double scaled = std::trunc(double(size) * factor);
    constexpr double kMin = std::numeric_limits<std::int32_t>::min();
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    if (std::isnan(scaled))
        return 0;
    if (scaled <= kMin)
        return std::numeric_limits<std::int32_t>::min();
    if (scaled >= kMax)
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(scaled);
}

void ZoomWorkArea(Form& form, double factor)
{
    PicBox& area = *form.workArea;
    area.SetLeft(kWorkAreaOrigin.x());
    area.SetTop(kWorkAreaOrigin.y());
    // The picture is scaled; the caption band above it is laid out anew.
    area.SetHeight(ScaleToPixels(area.Height() - area.Band(), factor));
    area.SetWidth(ScaleToPixels(area.Width(), factor));
    RefreshSizeLabels(form);
    PlacePictureUnderBand(form);
}

QSize FitInFrame(QSize picture)
{
    if (picture.isEmpty())
        return {};
    const std::int64_t w = picture.width(), h = picture.height();
    const std::int64_t frameW = kWorkAreaFrame.width(), frameH = kWorkAreaFrame.height();
    // Wider than the frame's proportions: the width fills it.
    if (w * frameH >= h * frameW) {
        const std::int64_t fitted = (2 * h * frameW + w) / (2 * w);
        return {int(frameW), int(std::clamp<std::int64_t>(fitted, 1, frameH))};
    }
    const std::int64_t fitted = (2 * w * frameH + h) / (2 * h);
    return {int(std::clamp<std::int64_t>(fitted, 1, frameW)), int(frameH)};
}

void OnFitToFrame(Form& form)
{
    PicBox& area = *form.workArea;
    if (area.Decoded() == nullptr)
        return;
    // The picture as shown: turned and cut.
    const QSize fitted = FitInFrame(area.ShapedSize());
    if (fitted.isEmpty())
        return;
    area.SetLeft(kWorkAreaOrigin.x());
    area.SetTop(kWorkAreaOrigin.y());
    area.SetHeight(fitted.height());
    area.SetWidth(fitted.width());
    RefreshSizeLabels(form);
    PlacePictureUnderBand(form);
}

void OnZoomIn(Form& form)
{
    ZoomWorkArea(form, kZoomInFactor);
}

void OnZoomOut(Form& form)
{
    ZoomWorkArea(form, kZoomOutFactor);
}

} // namespace mugrove
