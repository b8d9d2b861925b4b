// The lanes of a block of pairs, in one loop of plain operations that the
// compiler turns into vector instructions.
#include "measures/blockLanes.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>

namespace {

// With kClassic, the classic sums of the block's floats are taken in the
// same loop: their additions, in pair order, form a chain that would set a
// loop of its own's pace, and here it runs beside the divisions instead.
template <bool kClassic>
[[gnu::always_inline]] inline LaneCounts lanesOf(BlockLanes& lanes, const double* as, const double* bs,
                                                std::int32_t count, const Tolerances& t, ClassicSums* classic,
                                                const float* singleAs, const float* singleBs)
{
    float classicSum = kClassic ? classic->sum : 0.0f;
    float classicSquares = kClassic ? classic->squares : 0.0f;
    std::uint32_t classicPeak = kClassic ? std::bit_cast<std::uint32_t>(classic->peak) : 0;
    // a > 0 and a >= the least truth, in one comparison: no double lies
    // between 0 and the least positive one.
    const double lowestCommon = std::max(t.minTruth, DBL_TRUE_MIN);
    std::int32_t commonCount = 0;
    for (std::int32_t j = 0; j < count; ++j) {
        if (kClassic)
            addClassicError<true, true, true>(classicSum, classicSquares, classicPeak,
                                              absoluteDifference(singleAs[j], singleBs[j]));
        const double a = as[j];
        const double b = bs[j];
        const double absError = std::fabs(a - b);
        const double magnitude = std::fabs(a);
        const double denominator = std::max(magnitude, t.floor);
        const double sMagnitude = std::fabs((b - a) / (b + a));
        const double relError = absError / denominator;
        lanes.absError[j] = absError;
        lanes.magnitude[j] = magnitude;
        lanes.relError[j] = relError;
        lanes.logRatio[j] = atanhSeries(sMagnitude);
        lanes.within[j] = absError <= t.atol + t.rtol * magnitude ? 1.0 : 0.0;
        // a - b is exactly -(b - a), so the signed relative error is the
        // relative error with the sign of b - a, bit for bit the quotient.
        lanes.signedError[j] = b - a;
        lanes.signedRel[j] = std::copysign(relError, b - a);
        lanes.absBucket[j] = bucketOf(absError, kFineShift);
        lanes.relBucket[j] = bucketOf(relError, kFineShift);
        // Positive and finite both, within the series' reach (which makes
        // the denominator positive) and not below the least truth.  Two
        // tests tell it all, as a chain of tests would be branches: a
        // positive a at or above the least truth, and a quotient s within
        // the reach.  An s that is not NaN needs both values finite (an
        // infinity makes it inf / inf or NaN); and where b <= 0 < a,
        // |b - a| = a + |b| >= |b + a|, so s >= 1, or it is infinite or
        // NaN where b + a is 0, and no rounding brings it to 0.1.
        const bool common = (a >= lowestCommon) & (sMagnitude <= 0.1);
        lanes.common[j] = common ? 1.0 : 0.0;
        commonCount += common ? 1 : 0;
    }
    if (kClassic) {
        classic->sum = classicSum;
        classic->squares = classicSquares;
        classic->peak = std::bit_cast<float>(classicPeak);
    }
    // Apart, so that the loop above stays one the compiler vectorizes: the
    // least rtol each pair needs, 0 where |a - b| <= atol (as a maximum
    // rather than a choice, which the compiler would make a branch around
    // the division); without atol and floor it is the relative lane, and
    // this lane is not filled.
    if (!neededIsRelative(t)) {
        for (std::int32_t j = 0; j < count; ++j)
            lanes.needed[j] = std::max(0.0, (lanes.absError[j] - t.atol) / lanes.magnitude[j]);
    }
    LaneCounts counts{commonCount, 0};
    // A common pair is measurable; the rest are looked at only where there
    // are any.
    counts.measurable = counts.common;
    if (counts.common < count) {
        counts.measurable = 0;
        for (std::int32_t j = 0; j < count; ++j) {
            const bool finite = std::fabs(as[j]) <= DBL_MAX && std::fabs(bs[j]) <= DBL_MAX;
            const double denominator = std::max(lanes.magnitude[j], t.floor);
            counts.measurable += finite && denominator > 0.0 && as[j] >= t.minTruth ? 1 : 0;
        }
    }
    return counts;
}

CALCGAP_LANE_CLONES LaneCounts lanesWithClassic(BlockLanes& lanes, const double* as, const double* bs,
                                                std::int32_t count, const Tolerances& t, ClassicSums* classic,
                                                const float* singleAs, const float* singleBs)
{
    if (classic != nullptr)
        return lanesOf<true>(lanes, as, bs, count, t, classic, singleAs, singleBs);
    return lanesOf<false>(lanes, as, bs, count, t, nullptr, nullptr, nullptr);
}

}  // namespace

LaneCounts computeLanes(BlockLanes& lanes, const double* as, const double* bs, std::int32_t count,
                        const Tolerances& t, ClassicSums* classic, const float* singleAs, const float* singleBs)
{
    return lanesWithClassic(lanes, as, bs, count, t, classic, singleAs, singleBs);
}
