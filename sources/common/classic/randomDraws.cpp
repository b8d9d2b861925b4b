// Uniform draws from the process-wide random() generator.
#include "classic/support.h"

#include <cmath>
#include <cstdlib>

namespace calcgap {

float uniformFromDraw(long r, float low, float high)
{
    // Each step rounded to float, in this order, and scaled by 2^-31 although
    // random() stops at 2^31 - 1.
    const float width = high - low;
    const float scaled = static_cast<float>(r) * width;
    const float offset = scaled * 0x1p-31f;
    float result = offset + low;
    // The last rounding can land one step above high on a valid range.
    if (std::isfinite(result) && result > high)
        result = high;
    ASSERT(low <= result && result <= high);
    return result;
}

float genUniformRandom(float low, float high)
{
    ASSERT(low <= high);
    return uniformFromDraw(random(), low, high);
}

std::int32_t uns32FromDraw(long r, std::int32_t low, std::int32_t high)
{
    // In 64 bits, so that spans beyond the signed 32-bit range cannot
    // overflow; for spans within it every value is the 32-bit formula's.
    const std::int64_t span = std::int64_t{high} - low;
    const double scaled = static_cast<double>(r) * (static_cast<double>(span) + 1.0);
    const std::int64_t offset = static_cast<std::int64_t>(scaled * 0x1p-31);
    const std::int64_t result = low + offset;
    ASSERT(low <= result && result <= high);
    return static_cast<std::int32_t>(result);
}

std::int32_t genRandomUns32(std::int32_t low, std::int32_t high)
{
    ASSERT(low <= high);
    return uns32FromDraw(random(), low, high);
}

}  // namespace calcgap
