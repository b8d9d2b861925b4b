// The classic arithmetic, in one place for the three tools and the report's
// classic lines: single precision throughout, each step rounded to float
// before the next, one running sum in pair order, so that results stay
// comparable with those computed before.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>

namespace calcgap {

// |a - b| in single precision with the sign bit cleared by hand: compilers
// fold fabs(x) * fabs(x) into x * x, which keeps the sign of a NaN
// difference, so that optimised builds alone would print "-nan" where the
// data holds a NaN.
inline float absoluteDifference(float a, float b)
{
    return std::bit_cast<float>(std::bit_cast<std::uint32_t>(a - b) & 0x7fffffffu);
}

// What each classic tool prints: the mean, the root mean square, the peak.
enum class ClassicFigure { mean, rms, peak };

// The in-order float sums of |a - b| and of its square, and the strict
// maximum: an equal error changes nothing and a NaN error never becomes
// the maximum.  A tool takes only the one its figure needs (the sums share
// the loop, but not its time); the report takes all three.
struct ClassicSums {
    bool takesSum = true;
    bool takesSquares = true;
    bool takesPeak = true;
    float sum = 0.0f;
    float squares = 0.0f;
    float peak = 0.0f;
};

// Sums that take only what figure needs.
ClassicSums classicSumsFor(ClassicFigure figure);

void takeClassicPairs(ClassicSums& sums, const float* as, const float* bs, std::int32_t count);

// One pair's error into the running sums, the step of every loop that takes
// them.  The peak is kept as its bits: an error's sign bit is clear, so as
// integers errors order as the floats do, with NaNs above infinity; a NaN
// is masked to 0, which never passes the peak, and an equal error leaves
// the bits as they were.  Written without a choice between floats, the
// step stays one that a vectorized loop can take, the sums in pair order.
constexpr std::uint32_t kInfinityBits = 0x7f800000u;

[[gnu::always_inline]] inline std::uint32_t keptPeak(std::uint32_t peakBits, float error)
{
    const auto bits = std::bit_cast<std::uint32_t>(error);
    return std::max(peakBits, bits & (0u - static_cast<std::uint32_t>(bits <= kInfinityBits)));
}

template <bool kSum, bool kSquares, bool kPeak>
[[gnu::always_inline]] inline void addClassicError(float& sum, float& squares, std::uint32_t& peakBits, float error)
{
    if (kSum)
        sum = sum + error;
    if (kSquares)
        squares = squares + error * error;
    if (kPeak)
        peakBits = keptPeak(peakBits, error);
}

// The loop of takeClassicPairs, with the figures it takes fixed when it is
// compiled.
template <bool kSum, bool kSquares, bool kPeak, typename EachError>
void takeClassicSums(ClassicSums& sums, const float* as, const float* bs, std::int32_t count, EachError& eachError)
{
    float sum = sums.sum;
    float squares = sums.squares;
    auto peakBits = std::bit_cast<std::uint32_t>(sums.peak);
    for (std::int32_t j = 0; j < count; ++j) {
        const float error = absoluteDifference(as[j], bs[j]);
        addClassicError<kSum, kSquares, kPeak>(sum, squares, peakBits, error);
        eachError(j, error);
    }
    sums.sum = sum;
    sums.squares = squares;
    sums.peak = std::bit_cast<float>(peakBits);
}

// The same, handing each pair's error to eachError(j, error) in the same
// loop, as the peak tool's list of the largest takes them: one pass over
// the block rather than two.
template <typename EachError>
void takeClassicPairs(ClassicSums& sums, const float* as, const float* bs, std::int32_t count, EachError&& eachError)
{
    if (sums.takesSum && sums.takesSquares && sums.takesPeak)
        takeClassicSums<true, true, true>(sums, as, bs, count, eachError);
    else if (sums.takesSum)
        takeClassicSums<true, false, false>(sums, as, bs, count, eachError);
    else if (sums.takesSquares)
        takeClassicSums<false, true, false>(sums, as, bs, count, eachError);
    else
        takeClassicSums<false, false, true>(sums, as, bs, count, eachError);
}

// count pairs that are all (a, b), as count calls would take them.
void takeClassicRepeated(ClassicSums& sums, float a, float b, std::int64_t count);

// Adds term to sum count times in single precision, in order, stopping as
// soon as an addition leaves the bits of sum unchanged: from then on every
// further addition would leave it unchanged too.
float addRepeatedly(float sum, float term, std::int64_t count);

// What each tool prints for its n: the sum over n, the root of the sum of
// squares over n, or the maximum.
float classicResult(const ClassicSums& sums, ClassicFigure figure, std::int32_t n);

}  // namespace calcgap
