#include "overlay/OverlayFont.h"

#include <memory>

namespace mugrove {

namespace {
std::unique_ptr<OverlayFont>& Instance()
{
    static std::unique_ptr<OverlayFont> instance;
    return instance;
}
} // namespace

void CreateOverlayFont()
{
    Instance() = std::make_unique<OverlayFont>();
}

void ReleaseOverlayFont()
{
    Instance().reset();
}

OverlayFont* TheOverlayFont()
{
    return Instance().get();
}

} // namespace mugrove
