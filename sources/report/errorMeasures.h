// The report's measures: absolute, relative, tolerance, ratio and
// scale-free, in double precision with accurate sums over the pairs whose
// two values are finite, and the classic sums over every pair.
#pragma once

#include "accurateSum.h"
#include "classicSums.h"
#include "quantileSummary.h"
#include "reportOptions.h"
#include "worstPoints.h"

#include <array>
#include <cstdint>

// Relative errors by decade: 0, below 1e-8, each decade up to 1, and 1 or
// more.
constexpr int kDecadeBins = 11;
extern const char* const kDecadeLabels[kDecadeBins];

struct ErrorMeasures {
    double floor = 0.0;
    double rtol = 0.0;
    double atol = 0.0;

    std::int64_t leftOut = 0;
    std::int64_t measured = 0;

    AccurateSum absSum;
    AccurateSum squareSum;
    double absMax = -1.0;
    std::int64_t absMaxIndex = -1;
    QuantileSummary absSummary;

    std::int64_t relCount = 0;
    AccurateSum relSum;
    double relMax = -1.0;
    std::int64_t relMaxIndex = -1;
    QuantileSummary relSummary;
    std::int64_t relZeroOverZero = 0;
    std::int64_t relInfinite = 0;
    std::array<std::int64_t, kDecadeBins> decades{};

    std::int64_t within = 0;

    std::int64_t ratioPairs = 0;
    AccurateSum logRatioSum;
    double logRatioMax = -1.0;
    double ratioMaxPair[2] = {1.0, 1.0};
    std::int64_t ratioMaxIndex = -1;
    std::int64_t oneNotPositive = 0;

    AccurateSum allptsSquareSum;
    double allptsMax = 0.0;

    ClassicSums classic;
    WorstList worstAbs;
    WorstList worstRel;
};

// worst is how many points each worst list keeps.
void startErrorMeasures(ErrorMeasures& measures, const ReportOptions& options, std::int32_t worst);
void releaseErrorMeasures(ErrorMeasures& measures);

// Takes count pairs (as[j], bs[j]) with point indices first + j, into the
// accurate measures and the classic sums alike; count is at most
// kPairBlock.
void takeMeasuredPairs(ErrorMeasures& measures, const float* as, const float* bs, std::int32_t count,
                       std::int64_t first);

// Takes count copies of the pair (a, b), point indices first upwards, as
// count single pairs would be taken.
void takeRepeatedPair(ErrorMeasures& measures, float a, float b, std::int64_t first, std::int64_t count);
