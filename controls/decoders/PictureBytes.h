#pragma once

#include <cstdint>
#include <vector>

namespace mugrove {

// One complete encoded image file held in memory (a built-in template, a
// dropped file read whole, or a snapshot). Whoever holds it owns it.
using PictureBytes = std::vector<std::uint8_t>;

} // namespace mugrove
