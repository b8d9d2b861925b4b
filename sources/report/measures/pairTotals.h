// What the pairs add up to: the counts, sums, squares and spreads that a
// block takes in plain doubles and the measures hold over the run in
// accurate sums.  One list of them, in eachTotal, so that a block goes into
// the run in one merge and no figure can be left out of it.
#pragma once

#include "summaries/accurateSum.h"
#include "measures/decades.h"

#include <array>
#include <cstdint>

namespace calcgap::report {

template <typename Sum, typename SpreadOf>
struct PairTotals {
    std::int64_t measured = 0;
    std::int64_t leftOut = 0;
    Sum absSum{};
    SquareSum squareSum;
    SpreadOf absSpread;
    // Pairs whose densities, as exp of the logarithms read, fall below the
    // normal doubles, so that their absolute errors lose digits.
    std::int64_t absUnderflows = 0;
    // b - a, and (b - a) / max(|a|, floor) where the relative error is
    // taken.
    Sum signedSum{};
    SpreadOf signedSpread;
    Sum signedRelSum{};
    SpreadOf signedRelSpread;
    std::int64_t relCount = 0;
    Sum relSum{};
    SpreadOf relSpread;
    std::int64_t relZeroOverZero = 0;
    std::int64_t relInfinite = 0;
    // The relative errors by bin of decade come from the relative errors'
    // summary's buckets (see decadeCounts): those above an edge's bucket
    // are above the edge, and of those in its bucket, the ones at or above
    // it are counted here.
    std::array<std::int64_t, kDecadeBins - 1> atDecadeEdges{};
    // Pairs whose two values read as 0 from values written nonzero, and
    // pairs below the least truth: left out of the relative, ratio and
    // tolerance figures.
    std::int64_t bothUnderflowed = 0;
    std::int64_t belowMinTruth = 0;
    std::int64_t within = 0;
    std::int64_t ratioPairs = 0;
    Sum logRatioSum{};
    std::int64_t oneNotPositive = 0;
    SquareSum allptsSquareSum;
};

// Calls merge(run's, block's) for each total of the two.
template <typename Run, typename Block, typename Merge>
void eachTotal(Run& run, const Block& block, Merge merge)
{
    merge(run.measured, block.measured);
    merge(run.leftOut, block.leftOut);
    merge(run.absSum, block.absSum);
    merge(run.squareSum, block.squareSum);
    merge(run.absSpread, block.absSpread);
    merge(run.absUnderflows, block.absUnderflows);
    merge(run.signedSum, block.signedSum);
    merge(run.signedSpread, block.signedSpread);
    merge(run.signedRelSum, block.signedRelSum);
    merge(run.signedRelSpread, block.signedRelSpread);
    merge(run.relCount, block.relCount);
    merge(run.relSum, block.relSum);
    merge(run.relSpread, block.relSpread);
    merge(run.relZeroOverZero, block.relZeroOverZero);
    merge(run.relInfinite, block.relInfinite);
    merge(run.atDecadeEdges, block.atDecadeEdges);
    merge(run.bothUnderflowed, block.bothUnderflowed);
    merge(run.belowMinTruth, block.belowMinTruth);
    merge(run.within, block.within);
    merge(run.ratioPairs, block.ratioPairs);
    merge(run.logRatioSum, block.logRatioSum);
    merge(run.oneNotPositive, block.oneNotPositive);
    merge(run.allptsSquareSum, block.allptsSquareSum);
}

}  // namespace calcgap::report
