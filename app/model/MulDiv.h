#pragma once

#include <cstdint>

namespace mugrove {

// number * numerator / denominator with a 64-bit product, rounded to the
// nearest integer (halves away from zero); -1 on a zero denominator or when
// the result does not fit 32 bits. Font heights and percentage sizes use it;
// factors beyond 2^31 in magnitude may overflow the product.
std::int32_t MulDiv(std::int64_t number, std::int64_t numerator, std::int64_t denominator);

} // namespace mugrove
