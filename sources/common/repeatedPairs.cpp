#include "calcGap.h"

#include <cstring>

namespace {
std::uint32_t bitsOf(float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}
}  // namespace

float addRepeatedly(float sum, float term, std::int64_t count)
{
    // Bits, not ==, so that a NaN sum counts as settled; a float sum settles
    // within about 2^25 additions of the same term.
    for (; count > 0; --count) {
        const float next = sum + term;
        if (bitsOf(next) == bitsOf(sum))
            break;
        sum = next;
    }
    return sum;
}
