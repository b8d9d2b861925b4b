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

// floor(log10(x)) for a positive finite double, exactly.
int decadeOf(double x);

struct BlockLanes;

struct ErrorMeasures {
    double floor = 0.0;
    double rtol = 0.0;
    double atol = 0.0;
    // The values are natural logarithms of the densities.
    bool logs = false;

    std::int64_t leftOut = 0;
    std::int64_t measured = 0;

    AccurateSum absSum;
    SquareSum squareSum;
    double absMax = -1.0;
    std::int64_t absMaxIndex = -1;
    QuantileSummary absSummary;
    // Pairs whose densities, as exp of the logarithms read, fall below the
    // normal doubles, so that their absolute errors lose digits.
    std::int64_t absUnderflows = 0;

    std::int64_t relCount = 0;
    AccurateSum relSum;
    double relMax = -1.0;
    std::int64_t relMaxIndex = -1;
    QuantileSummary relSummary;
    std::int64_t relZeroOverZero = 0;
    std::int64_t relInfinite = 0;
    std::array<std::int64_t, kDecadeBins> decades{};
    // Pairs whose two values read as 0 from values written nonzero: left
    // out of the relative, ratio and tolerance figures.
    std::int64_t bothUnderflowed = 0;

    std::int64_t within = 0;

    std::int64_t ratioPairs = 0;
    AccurateSum logRatioSum;
    double logRatioMax = -1.0;
    // The pair of the largest ratio error, as read.
    double ratioMaxPair[2] = {1.0, 1.0};
    std::int64_t ratioMaxIndex = -1;
    std::int64_t oneNotPositive = 0;

    SquareSum allptsSquareSum;
    double allptsMax = 0.0;

    ClassicSums classic;
    WorstList worstAbs;
    WorstList worstRel;
    // Room for a block's arithmetic, from the free store.
    BlockLanes* lanes = nullptr;
};

// worst is how many points each worst list keeps.
void startErrorMeasures(ErrorMeasures& measures, const ReportOptions& options, std::int32_t worst);
void releaseErrorMeasures(ErrorMeasures& measures);

// One block of pairs: the values as read (as and bs, the logarithms with
// --log), the same as "%f" reads them for the classic sums (singleAs and
// singleBs, or null where there are no classic lines), and where a pair's
// two values read as 0 from nonzero values written (excluded, or null for
// none).  Point indices are first + j; count is at most kPairBlock.
struct MeasuredBlock {
    const double* as;
    const double* bs;
    const float* singleAs;
    const float* singleBs;
    const bool* excluded;
    std::int32_t count;
    std::int64_t first;
};

void takeMeasuredPairs(ErrorMeasures& measures, const MeasuredBlock& block);

// count copies of the pair (a, b), point indices first upwards, as count
// single pairs would be taken.
void takeRepeatedPair(ErrorMeasures& measures, double a, double b, float singleA, float singleB, bool excluded,
                      std::int64_t first, std::int64_t count);
