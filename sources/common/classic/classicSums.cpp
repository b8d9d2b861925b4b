// The classic sums, as the three tools and the report's classic lines take
// them.
#include "classic/classicSums.h"

#include <cmath>
#include <cstring>

namespace calcgap {

ClassicSums classicSumsFor(ClassicFigure figure)
{
    ClassicSums sums;
    sums.takesSum = figure == ClassicFigure::mean;
    sums.takesSquares = figure == ClassicFigure::rms;
    sums.takesPeak = figure == ClassicFigure::peak;
    return sums;
}

void takeClassicPairs(ClassicSums& sums, const float* as, const float* bs, std::int32_t count)
{
    takeClassicPairs(sums, as, bs, count, [](std::int32_t, float) {});
}

void takeClassicRepeated(ClassicSums& sums, float a, float b, std::int64_t count)
{
    const float error = absoluteDifference(a, b);
    if (sums.takesSum)
        sums.sum = addRepeatedly(sums.sum, error, count);
    if (sums.takesSquares)
        sums.squares = addRepeatedly(sums.squares, error * error, count);
    if (sums.takesPeak && count > 0)
        sums.peak = std::bit_cast<float>(keptPeak(std::bit_cast<std::uint32_t>(sums.peak), error));
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

float classicResult(const ClassicSums& sums, ClassicFigure figure, std::int32_t n)
{
    switch (figure) {
    case ClassicFigure::mean:
        return sums.sum / static_cast<float>(n);
    case ClassicFigure::rms:
        return std::sqrt(sums.squares / static_cast<float>(n));
    case ClassicFigure::peak:
        break;
    }
    return sums.peak;
}

}  // namespace calcgap
