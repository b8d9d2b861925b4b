// A sample against its baseline, point by point: at each point where both
// have a finite relative error, which is smaller (ties apart), the ratio of
// the two where both are positive, and their difference.  Taken a block at a
// time, the two samples' errors of the same points side by side, so that a
// comparison holds a block of each and never a whole file.
#pragma once

#include "measures/blockTotals.h"
#include "measures/errorMeasures.h"
#include "summaries/accurateSum.h"
#include "summaries/quantileSummary.h"

#include <cstdint>

namespace calcgap::report {

struct PairedComparison {
    // Points where both have a finite relative error.
    std::int64_t points = 0;
    std::int64_t wins = 0;
    std::int64_t ties = 0;
    // Of the sample's relative error over the baseline's, where both are
    // positive: their logarithms' sum, and their order statistics.
    std::int64_t ratios = 0;
    AccurateSum logRatioSum;
    QuantileSummary ratioSummary;
    // The sample's relative error less the baseline's.
    AccurateSum differenceSum;
    Spread differenceSpread;
};

void startPairedComparison(PairedComparison& comparison);

// The errors of count points, the sample's and the baseline's (NaN where
// one has none), at most kPairBlock of them.
void takePairedBlock(PairedComparison& comparison, const double* sampleErrors, const double* baselineErrors,
                     std::int32_t count);

// Two-sided exact binomial sign test: the probability, with a fair coin,
// of a split of n untied points at least as uneven as wins against n -
// wins; NaN for no points.
double signTestP(std::int64_t wins, std::int64_t n);

}  // namespace calcgap::report
