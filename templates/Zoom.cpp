#include "templates/Zoom.h"

#include "app/Form.h"
#include "app/WindowDefinition.h"
#include "controls/PicBox.h"
#include "templates/Selection.h"

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
    area.SetHeight(ScaleToPixels(area.Height(), factor));
    area.SetWidth(ScaleToPixels(area.Width(), factor));
    RefreshSizeLabels(form);
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
