// The classic sums, as the three tools and the report's classic lines take
// them.
#include "classicSums.h"

#include <cmath>
#include <cstring>

void takeClassicPairs(ClassicSums& sums, const float* as, const float* bs, std::int32_t count)
{
    float sum = sums.sum;
    float squares = sums.squares;
    float peak = sums.peak;
    for (std::int32_t j = 0; j < count; ++j) {
        const float error = absoluteDifference(as[j], bs[j]);
        sum = sum + error;
        squares = squares + error * error;
        if (error > peak)
            peak = error;
    }
    sums = {sum, squares, peak};
}

void takeClassicRepeated(ClassicSums& sums, float a, float b, std::int64_t count)
{
    const float error = absoluteDifference(a, b);
    sums.sum = addRepeatedly(sums.sum, error, count);
    sums.squares = addRepeatedly(sums.squares, error * error, count);
    if (count > 0 && error > sums.peak)
        sums.peak = error;
}

float addRepeatedly(float sum, float term, std::int64_t count)
{
    // Bits, not ==, so that a NaN sum counts as settled; a float sum settles
    // within about 2^25 additions of the same term.
    for (; count > 0; --count) {
        const float next = sum + term;
        if (std::bit_cast<std::uint32_t>(next) == std::bit_cast<std::uint32_t>(sum))
            break;
        sum = next;
    }
    return sum;
}

float classicMean(const ClassicSums& sums, std::int32_t n)
{
    return sums.sum / static_cast<float>(n);
}

float classicRms(const ClassicSums& sums, std::int32_t n)
{
    return std::sqrt(sums.squares / static_cast<float>(n));
}

float classicPeak(const ClassicSums& sums, std::int32_t)
{
    return sums.peak;
}
