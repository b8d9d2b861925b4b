// What a block of pairs adds to the measures, and what one pair adds:
// shared by the measures' pair-by-pair path and the lane-by-lane path of
// common blocks, and inlined into both.
#pragma once

#include "support/fail.h"
#include "measures/blockLanes.h"
#include "measures/errorMeasures.h"
#include "measures/pairFigures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace calcgap::report {

// A spread's squared offsets within a block, from the spread's shift, at
// its scale (see Spread); the scale may grow within the block.
struct BlockSpread {
    bool started = false;
    double shift = 0.0;
    int exponent = kUnscaled;
    double scale = 1.0;
    double squares = 0.0;
};

inline BlockSpread startSpread(const Spread& spread)
{
    return {spread.started, spread.shift, spread.exponent,
            spread.exponent == kUnscaled ? 1.0 : std::ldexp(1.0, -spread.exponent), 0.0};
}

// Makes room in the scale for offsets up to bound: where it is past
// 2^exponent, the exponent becomes the least above it and the squares so
// far are scaled down with it (exactly, by a power of two).  An infinite
// bound leaves the scale: its square is infinite at any.
[[gnu::always_inline]] inline void fitSpread(BlockSpread& spread, double bound)
{
    if (!(bound > 0.0) || bound == INFINITY)
        return;
    int exponent = 0;
    std::frexp(bound, &exponent);
    if (spread.exponent != kUnscaled && exponent <= spread.exponent)
        return;
    if (spread.exponent != kUnscaled)
        spread.squares = std::ldexp(spread.squares, 2 * (spread.exponent - exponent));
    spread.exponent = exponent;
    spread.scale = std::ldexp(1.0, -exponent);
}

[[gnu::always_inline]] inline void addToSpread(BlockSpread& spread, double term, double times)
{
    if (!spread.started) {
        spread.started = true;
        spread.shift = term;
    }
    const double offset = term - spread.shift;
    fitSpread(spread, std::fabs(offset));
    const double scaled = offset * spread.scale;
    spread.squares += scaled * scaled * times;
}

inline void endSpread(Spread& spread, const BlockSpread& block)
{
    // The block's scale is the spread's or smaller.
    if (spread.exponent != kUnscaled && block.exponent != spread.exponent) {
        const int twice = 2 * (spread.exponent - block.exponent);
        spread.squares.block = std::ldexp(spread.squares.block, twice);
        spread.squares.total = std::ldexp(spread.squares.total, twice);
        spread.squares.compensation = std::ldexp(spread.squares.compensation, twice);
    }
    spread.started = block.started;
    spread.shift = block.shift;
    spread.exponent = block.exponent;
    spread.squares.block += block.squares;
    addBlock(spread.squares);
}

// What a block of pairs adds, held apart from the measures so that nothing
// else in them can be written through the same names.
struct BlockTotals {
    PairTotals<double, BlockSpread> sums;
    // The quantile summaries, whose buckets are counted as the pairs come,
    // and the extremes, which start as the measures'.
    QuantileSummary* absSummary = nullptr;
    QuantileSummary* relSummary = nullptr;
    QuantileSummary* neededSummary = nullptr;
    double absSmallest = INFINITY;
    double relSmallest = INFINITY;
    double neededSmallest = INFINITY;
    double neededLargest = 0.0;
    std::int64_t neededCount = 0;
    Extremes extremes;
};

inline BlockTotals startTotals(ErrorMeasures& m)
{
    BlockTotals totals;
    totals.absSummary = &m.absSummary;
    totals.relSummary = &m.relSummary;
    totals.neededSummary = m.neededSummary.kept ? &m.neededSummary : nullptr;
    totals.extremes = m.extremes;
    totals.sums.absSpread = startSpread(m.sums.absSpread);
    totals.sums.relSpread = startSpread(m.sums.relSpread);
    totals.sums.signedSpread = startSpread(m.sums.signedSpread);
    totals.sums.signedRelSpread = startSpread(m.sums.signedRelSpread);
    return totals;
}

inline DensityDecade& densityRow(ErrorMeasures& m, std::int32_t row)
{
    std::unique_ptr<DensityDecade>& decade = slotOf(m.density, row);
    if (decade == nullptr) {
        describeAllocation("cannot keep the table by decade of a");
        decade = std::make_unique<DensityDecade>();
        describeAllocation(nullptr);
        startQuantileSummary(decade->relSummary, "cannot keep the table by decade of a", true);
    }
    return *decade;
}

// Counts pairs of the decade whose terms are about to enter its sums.  The
// block sums hold at most kPairBlock terms, as every accurate sum keeps: a
// term that takes the decade's pairs past a multiple of kPairBlock closes
// them first, and as each term brings at least one pair, no more than
// kPairBlock terms come between two multiples.
[[gnu::always_inline]] inline void countDecadePairs(DensityDecade& decade, std::int64_t count)
{
    const auto before = static_cast<std::uint64_t>(decade.pairs);
    decade.pairs += count;
    if (before / kPairBlock != static_cast<std::uint64_t>(decade.pairs) / kPairBlock) {
        addBlock(decade.absSum);
        addBlock(decade.relSum);
        spillListed(decade.relSummary);
    }
}

// The pair in the text's table by decade of a.
[[gnu::always_inline]] inline void takeDensity(ErrorMeasures& m, const PairFigures& f, std::int64_t count)
{
    if (!m.keepsTable)
        return;
    DensityDecade& decade = densityRow(m, f.row);
    const auto times = static_cast<double>(count);
    countDecadePairs(decade, count);
    decade.absSum.block += f.absError * times;
    if (f.excluded) {
        decade.leftOut += count;
        return;
    }
    decade.within += f.within ? count : 0;
    if (!f.hasRelative) {
        decade.withoutRelative += count;
        return;
    }
    decade.relSum.block += f.relError * times;
    decade.relMin = std::min(decade.relMin, f.relError);
    decade.relMax = std::max(decade.relMax, f.relError);
    countValue(decade.relSummary, f.relError, static_cast<std::uint64_t>(count));
}

// What one pair adds, count times over (count copies of the same pair,
// point indices first upwards), with the coordinates of its point where
// there are test points.
[[gnu::always_inline]] inline void takePair(ErrorMeasures& m, BlockTotals& totals, const PairFigures& f, double a,
                                            double b, std::int64_t first, std::int64_t count, const double* point)
{
    if (!f.finite) {
        totals.sums.leftOut += count;
        return;
    }
    takeDensity(m, f, count);
    const auto times = static_cast<double>(count);
    const double absError = f.absError;
    totals.sums.measured += count;
    totals.sums.absSum += absError * times;
    addSquare(totals.sums.squareSum, absError, times);
    addToSpread(totals.sums.absSpread, absError, times);
    totals.sums.signedSum += f.signedError * times;
    addToSpread(totals.sums.signedSpread, f.signedError, times);
    if (absError > totals.extremes.absMax) {
        totals.extremes.absMax = absError;
        totals.extremes.absMaxIndex = first;
    }
    countValue(*totals.absSummary, absError, static_cast<std::uint64_t>(count));
    totals.absSmallest = std::min(totals.absSmallest, absError);
    addSquare(totals.sums.allptsSquareSum, f.magnitude, times);
    totals.extremes.allptsMax = std::max(totals.extremes.allptsMax, f.magnitude);
    totals.sums.absUnderflows += f.absUnderflow ? count : 0;
    if (f.excluded) {
        totals.sums.bothUnderflowed += f.belowMinTruth ? 0 : count;
        totals.sums.belowMinTruth += f.belowMinTruth ? count : 0;
    } else {
        totals.sums.within += f.within ? count : 0;
        if (totals.neededSummary != nullptr) {
            countValue(*totals.neededSummary, f.needed, static_cast<std::uint64_t>(count));
            totals.neededSmallest = std::min(totals.neededSmallest, f.needed);
            totals.neededLargest = std::max(totals.neededLargest, f.needed);
            totals.neededCount += count;
        }
        if (f.hasRelative) {
            totals.sums.relCount += count;
            totals.sums.relSum += f.relError * times;
            addToSpread(totals.sums.relSpread, f.relError, times);
            totals.sums.signedRelSum += f.signedRel * times;
            addToSpread(totals.sums.signedRelSpread, f.signedRel, times);
            if (f.relError > totals.extremes.relMax) {
                totals.extremes.relMax = f.relError;
                totals.extremes.relMaxIndex = first;
            }
            countValue(*totals.relSummary, f.relError, static_cast<std::uint64_t>(count));
            totals.relSmallest = std::min(totals.relSmallest, f.relError);
            // A listed error is counted at the edges when the list goes into
            // the buckets.
            if (bucketed(*totals.relSummary)) {
                const DecadeEdgeBuckets& edges = decadeEdgesOf(*totals.relSummary);
                for (std::size_t k = 0; k < totals.sums.atDecadeEdges.size(); ++k)
                    totals.sums.atDecadeEdges[k] += atDecadeEdge(edges, k, f.relError) ? count : 0;
            }
        } else if (absError == 0.0) {
            totals.sums.relZeroOverZero += count;
        } else {
            totals.sums.relInfinite += count;
        }
        if (f.bothPositive) {
            totals.sums.ratioPairs += count;
            totals.sums.logRatioSum += f.logRatio * times;
            if (f.logRatio > totals.extremes.logRatioMax) {
                totals.extremes.logRatioMax = f.logRatio;
                totals.extremes.ratioMaxPair[0] = a;
                totals.extremes.ratioMaxPair[1] = b;
                totals.extremes.ratioMaxIndex = first;
            }
        }
        totals.sums.oneNotPositive += f.oneNotPositive ? count : 0;
    }

    // A point enters a list only ahead of a kept one, so of a run of copies
    // at most the first K can.
    const bool relative = !f.excluded && f.hasRelative;
    if (wouldEnter(m.worstAbs, absError)) {
        WorstPoint worst{first, a, b, absError, relative ? f.relError : NAN};
        for (std::int64_t i = 0; i < count && wouldEnter(m.worstAbs, absError); ++i, ++worst.index)
            offerPointSlow(m.worstAbs, worst, point);
    }
    if (relative && wouldEnter(m.worstRel, f.relError)) {
        WorstPoint worst{first, a, b, absError, f.relError};
        for (std::int64_t i = 0; i < count && wouldEnter(m.worstRel, f.relError); ++i, ++worst.index)
            offerPointSlow(m.worstRel, worst, point);
    }
}

// A block whose pairs are all measurable (finite, with a relative error,
// none left out), taken lane by lane (commonBlock.cpp).
void takeCommonBlock(ErrorMeasures& m, BlockTotals& totals, BlockLanes& lanes, const MeasuredBlock& block,
                     std::size_t dim, bool allCommon);

}  // namespace calcgap::report
