// The accurate measures of the report: absolute, relative, signed,
// tolerance, ratio and scale-free, in double precision with accurate sums,
// over the pairs whose two values are finite; their spread; and the same by
// decade of a.
#include "measures/errorMeasures.h"

#include "measures/blockLanes.h"
#include "fail.h"
#include "measures/pairFigures.h"
#include "measures/quantileGates.h"
#include "valueSource.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <string>
#include <type_traits>

const char* const kDecadeLabels[kDecadeBins] = {
    "0",           "(0, 1e-8)",    "[1e-8, 1e-7)", "[1e-7, 1e-6)", "[1e-6, 1e-5)", "[1e-5, 1e-4)",
    "[1e-4, 1e-3)", "[1e-3, 0.01)", "[0.01, 0.1)",  "[0.1, 1)",     "[1, inf)"};

namespace {

// A spread's squared offsets within a block, from the spread's shift, at
// its scale (see Spread); the scale may grow within the block.
struct BlockSpread {
    bool started = false;
    double shift = 0.0;
    int exponent = kUnscaled;
    double scale = 1.0;
    double squares = 0.0;
};

BlockSpread startSpread(const Spread& spread)
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

void endSpread(Spread& spread, const BlockSpread& block)
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
    double absSum = 0.0;
    SquareSum squares;
    double relSum = 0.0;
    double logSum = 0.0;
    double signedSum = 0.0;
    double signedRelSum = 0.0;
    SquareSum allptsSquares;
    BlockSpread absSpread;
    BlockSpread relSpread;
    BlockSpread signedSpread;
    BlockSpread signedRelSpread;
    std::int64_t measured = 0;
    std::int64_t leftOut = 0;
    std::int64_t relCount = 0;
    std::int64_t zeroOverZero = 0;
    std::int64_t infinite = 0;
    std::int64_t excluded = 0;
    std::int64_t belowMinTruth = 0;
    std::int64_t within = 0;
    std::int64_t ratioPairs = 0;
    std::int64_t oneNotPositive = 0;
    std::int64_t absUnderflows = 0;
    std::array<std::int64_t, kDecadeBins - 1> atDecadeEdges{};
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

// The decade bins' edges at the resolution of the summaries that count the
// relative errors.
const DecadeEdgeBuckets kFineDecadeEdges = makeDecadeEdgeBuckets(kFineShift);
const DecadeEdgeBuckets kCoarseDecadeEdges = makeDecadeEdgeBuckets(kCoarseShift);

const DecadeEdgeBuckets& decadeEdgesOf(const QuantileSummary& summary)
{
    return summary.shift == kFineShift ? kFineDecadeEdges : kCoarseDecadeEdges;
}

BlockTotals startTotals(ErrorMeasures& m)
{
    BlockTotals totals;
    totals.absSummary = &m.absSummary;
    totals.relSummary = &m.relSummary;
    totals.neededSummary = m.neededSummary.kept ? &m.neededSummary : nullptr;
    totals.extremes = m.extremes;
    totals.absSpread = startSpread(m.absSpread);
    totals.relSpread = startSpread(m.relSpread);
    totals.signedSpread = startSpread(m.signedSpread);
    totals.signedRelSpread = startSpread(m.signedRelSpread);
    return totals;
}

DensityDecade& densityRow(ErrorMeasures& m, std::int32_t row)
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
        totals.leftOut += count;
        return;
    }
    takeDensity(m, f, count);
    const auto times = static_cast<double>(count);
    const double absError = f.absError;
    totals.measured += count;
    totals.absSum += absError * times;
    addSquare(totals.squares, absError, times);
    addToSpread(totals.absSpread, absError, times);
    totals.signedSum += f.signedError * times;
    addToSpread(totals.signedSpread, f.signedError, times);
    if (absError > totals.extremes.absMax) {
        totals.extremes.absMax = absError;
        totals.extremes.absMaxIndex = first;
    }
    countValue(*totals.absSummary, absError, static_cast<std::uint64_t>(count));
    totals.absSmallest = std::min(totals.absSmallest, absError);
    addSquare(totals.allptsSquares, f.magnitude, times);
    totals.extremes.allptsMax = std::max(totals.extremes.allptsMax, f.magnitude);
    totals.absUnderflows += f.absUnderflow ? count : 0;
    if (f.excluded) {
        totals.excluded += f.belowMinTruth ? 0 : count;
        totals.belowMinTruth += f.belowMinTruth ? count : 0;
    } else {
        totals.within += f.within ? count : 0;
        if (totals.neededSummary != nullptr) {
            countValue(*totals.neededSummary, f.needed, static_cast<std::uint64_t>(count));
            totals.neededSmallest = std::min(totals.neededSmallest, f.needed);
            totals.neededLargest = std::max(totals.neededLargest, f.needed);
            totals.neededCount += count;
        }
        if (f.hasRelative) {
            totals.relCount += count;
            totals.relSum += f.relError * times;
            addToSpread(totals.relSpread, f.relError, times);
            totals.signedRelSum += f.signedRel * times;
            addToSpread(totals.signedRelSpread, f.signedRel, times);
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
                for (std::size_t k = 0; k < totals.atDecadeEdges.size(); ++k)
                    totals.atDecadeEdges[k] += atDecadeEdge(edges, k, f.relError) ? count : 0;
            }
        } else if (absError == 0.0) {
            totals.zeroOverZero += count;
        } else {
            totals.infinite += count;
        }
        if (f.bothPositive) {
            totals.ratioPairs += count;
            totals.logSum += f.logRatio * times;
            if (f.logRatio > totals.extremes.logRatioMax) {
                totals.extremes.logRatioMax = f.logRatio;
                totals.extremes.ratioMaxPair[0] = a;
                totals.extremes.ratioMaxPair[1] = b;
                totals.extremes.ratioMaxIndex = first;
            }
        }
        totals.oneNotPositive += f.oneNotPositive ? count : 0;
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

// Lists past their length go into the buckets between blocks; the
// relative errors listed are counted at the decade bins' edges then, as the
// buckets count them from there on.
void spillSummaries(ErrorMeasures& m)
{
    spillListed(m.absSummary);
    spillListed(m.neededSummary);
    QuantileSummary& rel = m.relSummary;
    if (!listIsFull(rel))
        return;
    const DecadeEdgeBuckets& edges = decadeEdgesOf(rel);
    for (const ListedValue& listed : rel.listed)
        for (std::size_t k = 0; k < m.atDecadeEdges.size(); ++k)
            m.atDecadeEdges[k] += atDecadeEdge(edges, k, listed.value) ? static_cast<std::int64_t>(listed.count) : 0;
    spillListed(rel);
}

void endBlock(ErrorMeasures& m, const BlockTotals& totals)
{
    m.absSum.block += totals.absSum;
    addSquares(m.squareSum, totals.squares);
    m.relSum.block += totals.relSum;
    m.logRatioSum.block += totals.logSum;
    m.signedSum.block += totals.signedSum;
    m.signedRelSum.block += totals.signedRelSum;
    addSquares(m.allptsSquareSum, totals.allptsSquares);
    addBlock(m.absSum);
    addSquareBlock(m.squareSum);
    addBlock(m.relSum);
    addBlock(m.logRatioSum);
    addBlock(m.signedSum);
    addBlock(m.signedRelSum);
    addSquareBlock(m.allptsSquareSum);
    endSpread(m.absSpread, totals.absSpread);
    endSpread(m.relSpread, totals.relSpread);
    endSpread(m.signedSpread, totals.signedSpread);
    endSpread(m.signedRelSpread, totals.signedRelSpread);
    m.measured += totals.measured;
    m.leftOut += totals.leftOut;
    m.relCount += totals.relCount;
    m.relZeroOverZero += totals.zeroOverZero;
    m.relInfinite += totals.infinite;
    m.bothUnderflowed += totals.excluded;
    m.belowMinTruth += totals.belowMinTruth;
    m.within += totals.within;
    m.ratioPairs += totals.ratioPairs;
    m.oneNotPositive += totals.oneNotPositive;
    m.absUnderflows += totals.absUnderflows;
    for (std::size_t k = 0; k < m.atDecadeEdges.size(); ++k)
        m.atDecadeEdges[k] += totals.atDecadeEdges[k];
    m.extremes = totals.extremes;
    noteSummarized(m.absSummary, static_cast<std::uint64_t>(totals.measured), totals.absSmallest, totals.extremes.absMax);
    noteSummarized(m.relSummary, static_cast<std::uint64_t>(totals.relCount), totals.relSmallest, totals.extremes.relMax);
    noteSummarized(m.neededSummary, static_cast<std::uint64_t>(totals.neededCount), totals.neededSmallest,
                   totals.neededLargest);
    spillSummaries(m);
}

Tolerances tolerancesOf(const ErrorMeasures& m)
{
    return {m.floor, m.rtol, m.atol, m.minTruth, m.logMinTruth};
}

// A spread taken lane by lane has its shift set by the first block, to its
// mean: the lane's sum over its count.
[[gnu::always_inline]] inline void startLaneSpread(BlockSpread& spread, double sum, std::int32_t n)
{
    if (!spread.started) {
        spread.started = true;
        spread.shift = sum / n;
    }
}

// A block whose pairs are all measurable (finite, with a relative error,
// none left out) is taken lane by lane: its sums, spreads and extremes in
// loops the compiler keeps in vector registers, then loops for what each
// pair adds to its own buckets and to the table by decade, and to the worst
// lists where the block's largest errors would enter them.  The figures are
// those the pairs would add one by one; only the order of the additions
// within the block differs, which the block sums' bound allows.  Where not
// every pair is common, the pairs outside the ratio series' reach take
// |ln(b / a)| as one pair would, and those whose two values are not both
// positive have no ratio: -1 in the lane, which no maximum takes and the
// sum counts as 0.
CALCGAP_LANE_CLONES void takeCommonBlock(ErrorMeasures& m, BlockTotals& totals, BlockLanes& lanes,
                                         const MeasuredBlock& block, std::size_t dim, bool allCommon)
{
    const std::int32_t n = block.count;
    totals.measured = n;
    totals.relCount = n;
    const bool needed = totals.neededSummary != nullptr;
    if (allCommon) {
        totals.ratioPairs = n;
    } else {
        for (std::int32_t j = 0; j < n; ++j) {
            const double a = block.as[j];
            const double b = block.bs[j];
            if (a <= 0.0 || b <= 0.0) {
                lanes.logRatio[j] = -1.0;
                totals.oneNotPositive += (a <= 0.0) != (b <= 0.0) ? 1 : 0;
                continue;
            }
            ++totals.ratioPairs;
            if (lanes.common[j] == 0.0)
                lanes.logRatio[j] = logRatio(a, b);
        }
    }
    // The sums in two passes over the lanes, the second needing the
    // spreads' shifts, which the first block's sums set.  A pair without a
    // ratio holds -1 in its lane, which the sum counts as 0; the rest are
    // not negative.
    const auto sums = laneSums(
        n, [&](std::int32_t j) { return lanes.absError[j]; }, [&](std::int32_t j) { return lanes.relError[j]; },
        [&](std::int32_t j) { return lanes.signedError[j]; }, [&](std::int32_t j) { return lanes.signedRel[j]; },
        [&](std::int32_t j) { return lanes.within[j]; },
        [&](std::int32_t j) { return std::max(lanes.logRatio[j], 0.0); });
    totals.absSum = sums[0];
    totals.relSum = sums[1];
    totals.signedSum = sums[2];
    totals.signedRelSum = sums[3];
    totals.within = static_cast<std::int64_t>(sums[4]);
    totals.logSum = sums[5];
    startLaneSpread(totals.absSpread, sums[0], n);
    startLaneSpread(totals.relSpread, sums[1], n);
    startLaneSpread(totals.signedSpread, sums[2], n);
    startLaneSpread(totals.signedRelSpread, sums[3], n);
    // The lanes' extremes in one pass.
    const auto [absSmallest, magnitudeSmallest, relSmallest, magnitudeLargest, absMax, relMax, logMax] =
        laneExtremes<false, false, false, true, true, true, true>(n, lanes.absError, lanes.magnitude, lanes.relError,
                                                                  lanes.magnitude, lanes.absError, lanes.relError,
                                                                  lanes.logRatio);
    // Every offset from a shift is at most the largest term's magnitude
    // plus the shift's; a signed error is as large as its absolute one.
    fitSpread(totals.absSpread, absMax + std::fabs(totals.absSpread.shift));
    fitSpread(totals.relSpread, relMax + std::fabs(totals.relSpread.shift));
    fitSpread(totals.signedSpread, absMax + std::fabs(totals.signedSpread.shift));
    fitSpread(totals.signedRelSpread, relMax + std::fabs(totals.signedRelSpread.shift));
    // Where every spread's offsets lie below 2^500 and some reach 2^-460,
    // as in nearly every run, their squares need no scaling inside the
    // block: none can overflow, and those that underflow are below 2^-154
    // of the largest, within the sums' error.  The block's sums are scaled
    // once after, by a power of two, exactly.
    const auto plain = [](const BlockSpread& spread) { return spread.exponent >= -460 && spread.exponent <= 500; };
    const bool unscaled =
        plain(totals.absSpread) && plain(totals.relSpread) && plain(totals.signedSpread) && plain(totals.signedRelSpread);
    totals.absSmallest = absSmallest;
    // The extremes by copy: a structured binding is no variable a lambda
    // may capture everywhere.
    const auto blockSquares = [&, absMax = absMax, magnitudeSmallest = magnitudeSmallest,
                               magnitudeLargest = magnitudeLargest](auto scaled) __attribute__((always_inline)) {
        const auto offsetSquare = [&](const double* x, const BlockSpread& spread) {
            return [x, shift = spread.shift, scale = spread.scale](std::int32_t j) {
                double offset = x[j] - shift;
                if constexpr (decltype(scaled)::value)
                    offset *= scale;
                else
                    static_cast<void>(scale);
                return offset * offset;
            };
        };
        const auto absOffsets = offsetSquare(lanes.absError, totals.absSpread);
        const auto relOffsets = offsetSquare(lanes.relError, totals.relSpread);
        const auto signedOffsets = offsetSquare(lanes.signedError, totals.signedSpread);
        const auto signedRelOffsets = offsetSquare(lanes.signedRel, totals.signedRelSpread);
        if (totals.absSmallest >= kSmallTerm && magnitudeSmallest >= kSmallTerm && absMax < kLargeTerm &&
            magnitudeLargest < kLargeTerm) {
            // No tiny terms, as in nearly every block: the squares share the
            // pass.
            const auto squares = laneSums(
                n, [&](std::int32_t j) { return lanes.absError[j] * lanes.absError[j]; },
                [&](std::int32_t j) { return lanes.magnitude[j] * lanes.magnitude[j]; }, absOffsets, relOffsets,
                signedOffsets, signedRelOffsets);
            totals.squares.normal.block += squares[0];
            totals.allptsSquares.normal.block += squares[1];
            return std::array<double, 4>{squares[2], squares[3], squares[4], squares[5]};
        }
        laneSquares(totals.squares, lanes.absError, n, totals.absSmallest, absMax);
        laneSquares(totals.allptsSquares, lanes.magnitude, n, magnitudeSmallest, magnitudeLargest);
        return laneSums(n, absOffsets, relOffsets, signedOffsets, signedRelOffsets);
    };
    std::array<double, 4> offsets;
    if (unscaled) {
        // Within the plain range a scale's square is a normal double.
        offsets = blockSquares(std::false_type{});
        offsets[0] *= totals.absSpread.scale * totals.absSpread.scale;
        offsets[1] *= totals.relSpread.scale * totals.relSpread.scale;
        offsets[2] *= totals.signedSpread.scale * totals.signedSpread.scale;
        offsets[3] *= totals.signedRelSpread.scale * totals.signedRelSpread.scale;
    } else {
        offsets = blockSquares(std::true_type{});
    }
    totals.absSpread.squares = offsets[0];
    totals.relSpread.squares = offsets[1];
    totals.signedSpread.squares = offsets[2];
    totals.signedRelSpread.squares = offsets[3];
    totals.relSmallest = relSmallest;
    if (needed) {
        totals.neededCount = n;
        totals.neededSmallest = laneMin(lanes.needed, n);
        totals.neededLargest = laneMax(lanes.needed, n);
    }
    totals.extremes.allptsMax = std::max(totals.extremes.allptsMax, magnitudeLargest);
    // A block's largest error takes the place of the run's only when it is
    // larger, at the first pair that holds it: the earliest of equal errors.
    const auto indexOf = [&](std::int32_t j) { return block.indices != nullptr ? block.indices[j] : block.first + j; };
    if (absMax > totals.extremes.absMax) {
        totals.extremes.absMax = absMax;
        totals.extremes.absMaxIndex = indexOf(placeOf(lanes.absError, n, absMax));
    }
    if (relMax > totals.extremes.relMax) {
        totals.extremes.relMax = relMax;
        totals.extremes.relMaxIndex = indexOf(placeOf(lanes.relError, n, relMax));
    }
    if (logMax > totals.extremes.logRatioMax) {
        const std::int32_t j = placeOf(lanes.logRatio, n, logMax);
        totals.extremes.logRatioMax = logMax;
        totals.extremes.ratioMaxPair[0] = block.as[j];
        totals.extremes.ratioMaxPair[1] = block.bs[j];
        totals.extremes.ratioMaxIndex = indexOf(j);
    }

    // The buckets of each pair, which the lanes hold (the block's summaries
    // are fine ones).  A count stored through a summary might, for all the
    // compiler knows, change anything in memory of its type, so what the
    // loop reads is held in locals, which no store can change.
    QuantileSummary& abs = *totals.absSummary;
    QuantileSummary& rel = *totals.relSummary;
    // The relative errors that fall in a decade bin's edge's bucket, which
    // few blocks have, are the ones to look at again: the bucket's count
    // tells.
    const DecadeEdgeBuckets& edges = decadeEdgesOf(rel);
    std::array<std::uint32_t, kDecadeBins - 1> atEdgesBefore{};
    if (bucketed(rel))
        for (std::size_t k = 0; k < atEdgesBefore.size(); ++k)
            atEdgesBefore[k] = rel.counts[edges.bucket[k]];
    if (bucketed(abs) && bucketed(rel)) {
        std::uint32_t* const absCounts = abs.counts.get();
        std::uint32_t* const relCounts = rel.counts.get();
        const std::uint32_t* const absBuckets = lanes.absBucket;
        const std::uint32_t* const relBuckets = lanes.relBucket;
        noteWatchesBefore(abs);
        noteWatchesBefore(rel);
        // Unrolled, the loop's own count and test cost a quarter of what
        // they would beside each pair's two additions.
#pragma GCC unroll 4
        for (std::int32_t j = 0; j < n; ++j) {
            countOne(absCounts, absBuckets[j]);
            countOne(relCounts, relBuckets[j]);
        }
        noteWatchesAfter(abs, lanes.absError, n);
        noteWatchesAfter(rel, lanes.relError, n);
    } else {
        countBlock(abs, lanes.absError, lanes.absBucket, n);
        countBlock(rel, lanes.relError, lanes.relBucket, n);
    }
    for (std::size_t k = 0; k < atEdgesBefore.size() && bucketed(rel); ++k) {
        if (rel.counts[edges.bucket[k]] == atEdgesBefore[k])
            continue;
        std::int64_t atEdge = 0;
        for (std::int32_t j = 0; j < n; ++j)
            atEdge += atDecadeEdge(edges, k, lanes.relError[j]) ? 1 : 0;
        totals.atDecadeEdges[k] += atEdge;
    }
    if (needed) {
        QuantileSummary& neededSummary = *totals.neededSummary;
        if (bucketed(neededSummary)) {
            noteWatchesBefore(neededSummary);
            std::uint32_t* const neededCounts = neededSummary.counts.get();
            for (std::int32_t j = 0; j < n; ++j)
                countOne(neededCounts, bucketOf(lanes.needed[j], neededSummary.shift));
            noteWatchesAfter(neededSummary, lanes.needed, n);
        } else {
            countBlock(neededSummary, lanes.needed, nullptr, n);
        }
    }

    const bool table = m.keepsTable;
    if (table || m.byDensity) {
        for (std::int32_t j = 0; j < n; ++j)
            lanes.row[j] = block.as[j] > 0.0 ? rowOf(decadeOfPositive(block.as[j])) : kNoRow;
    }
    if (table) {
        const auto [lowest, highest] = std::minmax_element(lanes.row, lanes.row + n);
        coverRows(m.density, *lowest, *highest);
        // In locals, which the stores into the rows cannot change.
        std::unique_ptr<DensityDecade>* const rows = m.density.rows.data();
        const std::int32_t first = m.density.first;
        for (std::int32_t j = 0; j < n; ++j) {
            const std::int32_t row = lanes.row[j];
            DensityDecade* decade = rows[row - first].get();
            if (decade == nullptr)
                decade = &densityRow(m, row);
            countDecadePairs(*decade, 1);
            const double relError = lanes.relError[j];
            decade->absSum.block += lanes.absError[j];
            decade->within += lanes.within[j] != 0.0 ? 1 : 0;
            decade->relSum.block += relError;
            decade->relMin = std::min(decade->relMin, relError);
            decade->relMax = std::max(decade->relMax, relError);
            countValue(decade->relSummary, relError, 1);
        }
    }

    // Nearly every block has no pair for the worst lists: its largest
    // errors tell.
    if (!wouldEnter(m.worstAbs, absMax) && !wouldEnter(m.worstRel, relMax))
        return;
    for (std::int32_t j = 0; j < n; ++j) {
        const double absError = lanes.absError[j];
        const double relError = lanes.relError[j];
        if (wouldEnter(m.worstAbs, absError) || wouldEnter(m.worstRel, relError)) {
            const double* const point = block.points != nullptr ? block.points + static_cast<std::size_t>(j) * dim
                                                                : nullptr;
            const WorstPoint worst{indexOf(j), block.as[j], block.bs[j], absError, relError};
            if (wouldEnter(m.worstAbs, absError))
                offerPointSlow(m.worstAbs, worst, point);
            if (wouldEnter(m.worstRel, relError))
                offerPointSlow(m.worstRel, worst, point);
        }
    }
}

void takeByDensity(ErrorMeasures& measures, const MeasuredBlock& block);

// The measures of one decade of a, made as its first pair comes: coarse
// quantiles, no worst points, no table of their own, and the lanes every
// decade shares.
ErrorMeasures& densityMeasuresOf(ErrorMeasures& measures, std::int32_t row)
{
    std::unique_ptr<ErrorMeasures>& decade = slotOf(measures.densityMeasures, row);
    if (decade != nullptr)
        return *decade;
    describeAllocation("cannot keep the measures by decade of a");
    decade = std::make_unique<ErrorMeasures>();
    describeAllocation(nullptr);
    decade->floor = measures.floor;
    decade->rtol = measures.rtol;
    decade->atol = measures.atol;
    decade->minTruth = measures.minTruth;
    decade->logMinTruth = measures.logMinTruth;
    decade->logs = measures.logs;
    startQuantileSummary(decade->absSummary, "cannot keep the measures by decade of a", true);
    startQuantileSummary(decade->relSummary, "cannot keep the measures by decade of a", true);
    if (!neededFromRelative(*decade))
        startQuantileSummary(decade->neededSummary, "cannot keep the measures by decade of a", true);
    startWorstList(decade->worstAbs, 0, false);
    startWorstList(decade->worstRel, 0, true);
    decade->scratch = measures.scratch;
    decade->lanes = &measures.scratch->decadeLanes;
    return *decade;
}

}  // namespace

std::array<std::int64_t, kDecadeBins> decadeCounts(const ErrorMeasures& m)
{
    constexpr int kEdges = kDecadeBins - 1;
    std::array<std::int64_t, kEdges> atLeast;
    if (bucketed(m.relSummary)) {
        const DecadeEdgeBuckets& edges = decadeEdgesOf(m.relSummary);
        const std::vector<std::uint64_t> above = countsAbove(m.relSummary, edges.bucket.data(), edges.bucket.size());
        for (std::size_t k = 0; k < atLeast.size(); ++k)
            atLeast[k] = static_cast<std::int64_t>(above[k]) + m.atDecadeEdges[k];
    } else {
        const std::vector<std::uint64_t> listed = listedAtLeast(m.relSummary, kDecadeBinEdges.data(), kEdges);
        for (std::size_t k = 0; k < atLeast.size(); ++k)
            atLeast[k] = static_cast<std::int64_t>(listed[k]);
    }
    std::array<std::int64_t, kDecadeBins> bins;
    bins[0] = m.relCount - atLeast[0];
    for (int k = 1; k < kEdges; ++k)
        bins[static_cast<std::size_t>(k)] = atLeast[static_cast<std::size_t>(k - 1)] - atLeast[static_cast<std::size_t>(k)];
    bins[kEdges] = atLeast[kEdges - 1];
    return bins;
}

// The sum of squared deviations from the mean is the sum of squared offsets
// from the shift, less n (mean - shift)^2, with n (mean - shift) the terms'
// accurate sum less n shift.  The shift is the first block's mean (or the
// first term, where the first pairs came one by one), so the offsets are
// small beside the terms wherever the spread is: each sum is within 1e-13
// of its terms' magnitudes, and what the subtraction loses is of the order
// of 1e-13 times (mean - shift) times the mean over the variance.  A first
// block far from the rest holds its own share of the spread, which bounds
// that ratio.
//
// The squares are held at the spread's scale, 2^-exponent, and so is the
// sum of offsets before it is subtracted; the root is scaled back, exactly
// unless it is subnormal.  Where the derived sum of offsets,
// sum - n shift, is not exact, it errs by up to 1e-13 of n mean, which
// costs the variance up to 2e-13 |mean - shift| mean / sd^2 of itself: the
// sd is within 1e-12 + 1e-13 (mean / sd) (relative) of its exact value
// where |mean - shift| is of the order of sd, as it is when the shift is
// the first term, and closer where the shift is the first block's mean.
SpreadFigures spreadOf(const Spread& spread, const AccurateSum& sum, std::int64_t count)
{
    const auto n = static_cast<double>(count);
    const double mean = count > 0 ? sumValue(sum) / n : NAN;
    if (count < 2)
        return {mean, NAN, NAN};
    const int exponent = spread.exponent == kUnscaled ? 0 : spread.exponent;
    const double offsets = std::ldexp(sumValue(sum) - n * spread.shift, -exponent);
    const double squares = std::max(0.0, sumValue(spread.squares) - offsets * (offsets / n));
    const double sd = std::ldexp(std::sqrt(squares / (n - 1)), exponent);
    return {mean, sd, sd / std::sqrt(n)};
}

bool neededFromRelative(const ErrorMeasures& measures)
{
    return !measures.logs && neededIsRelative(tolerancesOf(measures));
}

std::shared_ptr<BlockScratch> makeBlockScratch()
{
    describeAllocation("cannot allocate the measures' block");
    // Left unset: every lane a block reads, it writes first.
    auto scratch = std::make_shared_for_overwrite<BlockScratch>();
    describeAllocation(nullptr);
    return scratch;
}

void startErrorMeasures(ErrorMeasures& measures, const ReportOptions& options, std::int32_t worst, std::int32_t dim,
                        bool densityTable, std::shared_ptr<BlockScratch> scratch)
{
    measures = ErrorMeasures{};
    measures.floor = options.floor;
    measures.rtol = options.rtol;
    measures.atol = options.atol;
    measures.minTruth = options.minTruthGiven ? options.minTruth : -INFINITY;
    measures.logMinTruth = options.minTruthGiven ? options.logMinTruth : -INFINITY;
    measures.logs = options.logs;
    startQuantileSummary(measures.absSummary, "cannot keep the summary of absolute errors");
    startQuantileSummary(measures.relSummary, "cannot keep the summary of relative errors");
    if (!neededFromRelative(measures))
        startQuantileSummary(measures.neededSummary, "cannot keep the summary of the tolerances needed");
    startWorstList(measures.worstAbs, worst, false, dim);
    startWorstList(measures.worstRel, worst, true, dim);
    measures.scratch = scratch != nullptr ? std::move(scratch) : makeBlockScratch();
    measures.lanes = &measures.scratch->lanes;
    measures.keepsTable = densityTable;
    measures.byDensity = options.byDensity;
    watchQuantileGates(measures, options.requirements);
}

void takeMeasuredPairs(ErrorMeasures& measures, const MeasuredBlock& block)
{
    const Tolerances tolerances = tolerancesOf(measures);
    BlockTotals totals = startTotals(measures);
    BlockLanes& lanes = *measures.lanes;
    const auto dim = static_cast<std::size_t>(measures.worstAbs.dim);
    const auto pointOf = [&](std::int32_t j) {
        return block.points != nullptr ? block.points + static_cast<std::size_t>(j) * dim : nullptr;
    };
    const auto indexOf = [&](std::int32_t j) { return block.indices != nullptr ? block.indices[j] : block.first + j; };
    if (measures.logs) {
        for (std::int32_t j = 0; j < block.count; ++j) {
            const PairFigures figures = logFigures(block.as[j], block.bs[j], tolerances);
            lanes.row[j] = figures.finite ? figures.row : -1;
            takePair(measures, totals, figures, block.as[j], block.bs[j], indexOf(j), 1, pointOf(j));
        }
    } else {
        const bool classic = block.singleAs != nullptr;
        const LaneCounts counts = computeLanes(lanes, block.as, block.bs, block.count, tolerances,
                                               classic ? &measures.classic : nullptr, block.singleAs, block.singleBs);
        if (counts.measurable == block.count && block.excluded == nullptr && block.count > 0) {
            takeCommonBlock(measures, totals, lanes, block, dim, counts.common == block.count);
        } else {
            for (std::int32_t j = 0; j < block.count; ++j) {
                const PairFigures figures = laneFigures(lanes, block, j, tolerances);
                lanes.row[j] = figures.finite ? figures.row : -1;
                takePair(measures, totals, figures, block.as[j], block.bs[j], indexOf(j), 1, pointOf(j));
            }
        }
    }
    endBlock(measures, totals);
    // Without --log the lanes' pass took them.
    if (measures.logs && block.singleAs != nullptr)
        takeClassicPairs(measures.classic, block.singleAs, block.singleBs, block.count);
    if (measures.byDensity)
        takeByDensity(measures, block);
}

namespace {

// The block's pairs, decade of a by decade, into each decade's measures:
// the pairs sorted by row, in their order within a row (the key is the row
// above the pair's place in the block), then each row's run gathered.
void takeByDensity(ErrorMeasures& measures, const MeasuredBlock& block)
{
    BlockLanes& lanes = *measures.lanes;
    static_assert(kPairBlock <= 1 << kPlaceBits && kDensityRows < 1 << (31 - kPlaceBits));
    std::int32_t* const keys = lanes.blockRows;
    std::int32_t keyCount = 0;
    for (std::int32_t j = 0; j < block.count; ++j)
        if (lanes.row[j] >= 0)
            keys[keyCount++] = lanes.row[j] << kPlaceBits | j;
    std::sort(keys, keys + keyCount);
    for (std::int32_t start = 0; start < keyCount;) {
        const std::int32_t row = keys[start] >> kPlaceBits;
        std::int32_t count = 0;
        for (; start < keyCount && keys[start] >> kPlaceBits == row; ++start, ++count) {
            const std::int32_t j = keys[start] & ((1 << kPlaceBits) - 1);
            lanes.gatheredAs[count] = block.as[j];
            lanes.gatheredBs[count] = block.bs[j];
            lanes.gatheredExcluded[count] = block.excluded != nullptr && block.excluded[j];
            lanes.gatheredIndices[count] = block.indices != nullptr ? block.indices[j] : block.first + j;
        }
        ErrorMeasures& decade = densityMeasuresOf(measures, row);
        // The gathered arrays are the decade's input: it computes into lanes
        // of its own.
        takeMeasuredPairs(decade, {lanes.gatheredAs, lanes.gatheredBs, nullptr, nullptr, lanes.gatheredExcluded, count,
                                    0, nullptr, lanes.gatheredIndices});
    }
}

}  // namespace

void takeRepeatedPair(ErrorMeasures& measures, double a, double b, float singleA, float singleB, bool excluded,
                      std::int64_t first, std::int64_t count, const double* point)
{
    const Tolerances tolerances = tolerancesOf(measures);
    const PairFigures figures = measures.logs ? logFigures(a, b, tolerances) : densityFigures(a, b, excluded, tolerances);
    // The bucket counts are 32-bit: a run longer than any count n can be
    // goes in in parts.
    for (std::int64_t done = 0; done < count;) {
        const std::int64_t part = std::min<std::int64_t>(count - done, INT32_MAX);
        BlockTotals totals = startTotals(measures);
        takePair(measures, totals, figures, a, b, first + done, part, point);
        endBlock(measures, totals);
        if (measures.byDensity && figures.finite)
            takeRepeatedPair(densityMeasuresOf(measures, figures.row), a, b, singleA, singleB, excluded, first + done,
                             part);
        done += part;
    }
    if (!measures.logs)
        takeClassicRepeated(measures.classic, singleA, singleB, count);
}
