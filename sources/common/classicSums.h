// The classic arithmetic, in one place for the three tools and the report's
// classic lines: single precision throughout, each step rounded to float
// before the next, one running sum in pair order, so that results stay
// comparable with those computed before.
#pragma once

#include <bit>
#include <cstdint>

// |a - b| in single precision with the sign bit cleared by hand: compilers
// fold fabs(x) * fabs(x) into x * x, which keeps the sign of a NaN
// difference, so that optimised builds alone would print "-nan" where the
// data holds a NaN.
inline float absoluteDifference(float a, float b)
{
    return std::bit_cast<float>(std::bit_cast<std::uint32_t>(a - b) & 0x7fffffffu);
}

// The in-order float sums of |a - b| and of its square, and the strict
// maximum: an equal error changes nothing and a NaN error never becomes
// the maximum.
struct ClassicSums {
    float sum = 0.0f;
    float squares = 0.0f;
    float peak = 0.0f;
};

void takeClassicPairs(ClassicSums& sums, const float* as, const float* bs, std::int32_t count);

// count pairs that are all (a, b), as count calls would take them.
void takeClassicRepeated(ClassicSums& sums, float a, float b, std::int64_t count);

// Adds term to sum count times in single precision, in order, stopping as
// soon as an addition leaves the bits of sum unchanged: from then on every
// further addition would leave it unchanged too.
float addRepeatedly(float sum, float term, std::int64_t count);

// What each tool prints for its n: the sum over n, the root of the sum of
// squares over n, and the maximum.
float classicMean(const ClassicSums& sums, std::int32_t n);
float classicRms(const ClassicSums& sums, std::int32_t n);
float classicPeak(const ClassicSums& sums, std::int32_t n);
