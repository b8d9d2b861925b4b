// The lanes of a block of pairs, in one loop of plain operations that the
// compiler turns into vector instructions.
#include "measures/blockLanes.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>

namespace calcgap::report {

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
    std::int32_t commonCount = 0;
    for (std::int32_t j = 0; j < count; ++j) {
        if (kClassic)
            addClassicError<true, true, true>(classicSum, classicSquares, classicPeak,
                                              absoluteDifference(singleAs[j], singleBs[j]));
        const double a = as[j];
        const double b = bs[j];
        const double absError = std::fabs(a - b);
        const double magnitude = std::fabs(a);
        const double s = seriesArgument(a, b);
        const double relError = relativeError(absError, magnitude, t);
        lanes.absError[j] = absError;
        lanes.magnitude[j] = magnitude;
        lanes.relError[j] = relError;
        lanes.logRatio[j] = atanhSeries(s);
        lanes.within[j] = isWithin(absError, magnitude, t) ? 1.0 : 0.0;
        lanes.signedError[j] = b - a;
        lanes.signedRel[j] = signedRelative(relError, b - a);
        lanes.absBucket[j] = bucketOf(absError, kFineShift);
        lanes.relBucket[j] = bucketOf(relError, kFineShift);
        const bool common = isCommon(a, s, t);
        lanes.common[j] = common ? 1.0 : 0.0;
        commonCount += common ? 1 : 0;
    }
    if (kClassic) {
        classic->sum = classicSum;
        classic->squares = classicSquares;
        classic->peak = std::bit_cast<float>(classicPeak);
    }
    // Apart, so that the loop above stays one the compiler vectorizes: the
    // least rtol each pair needs (a common pair's a is not 0); without atol
    // and floor it is the relative lane, and this lane is not filled.
    if (!neededIsRelative(t)) {
        for (std::int32_t j = 0; j < count; ++j)
            lanes.needed[j] = neededOfNonzero(lanes.absError[j], lanes.magnitude[j], t.atol);
    }
    LaneCounts counts{commonCount, 0};
    // A common pair is measurable; the rest are looked at only where there
    // are any.
    counts.measurable = counts.common;
    if (counts.common < count) {
        counts.measurable = 0;
        for (std::int32_t j = 0; j < count; ++j)
            counts.measurable += isMeasurable(as[j], bs[j], t) ? 1 : 0;
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

}  // namespace calcgap::report
