#include "app/model/MulDiv.h"

#include <limits>

namespace mugrove {

std::int32_t MulDiv(std::int64_t number, std::int64_t numerator, std::int64_t denominator)
{
    if (denominator == 0)
        return -1;
    // Every caller's factors (font heights, dots per inch, a percentage) are at
    // most 2^31 in magnitude, so their product fits 64 bits.
    const std::int64_t product = number * numerator;
    std::int64_t quotient = product / denominator;
    const std::int64_t remainder = product % denominator;
    const std::int64_t absRemainder = remainder < 0 ? -remainder : remainder;
    const std::int64_t absDenominator = denominator < 0 ? -denominator : denominator;
    if (2 * absRemainder >= absDenominator)
        quotient += ((product < 0) != (denominator < 0)) ? -1 : 1;
    if (quotient < std::numeric_limits<std::int32_t>::min()
        || quotient > std::numeric_limits<std::int32_t>::max())
        return -1;
    return static_cast<std::int32_t>(quotient);
}

} // namespace mugrove
