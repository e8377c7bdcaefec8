#include "controls/decoders/SrgbConversion.h"

#include "controls/decoders/Workers.h"

namespace mugrove {

void SrgbConversion::RunOver(Image& image) const
{
    // Above this many pixels a second thread pays for itself.
    constexpr std::size_t kSplitAbove = std::size_t{1} << 20;
    std::uint32_t* p = image.pixels.data();
    RunInHalves(image.pixels.size(), kSplitAbove,
                [this, p](std::size_t from, std::size_t to) { Run(p + from, to - from); });
}

} // namespace mugrove
