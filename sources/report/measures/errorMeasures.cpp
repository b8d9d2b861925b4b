// The accurate measures of the report: absolute, relative, signed,
// tolerance, ratio and scale-free, in double precision with accurate sums,
// over the pairs whose two values are finite; their spread; and the same by
// decade of a.
#include "measures/errorMeasures.h"

#include "measures/blockTotals.h"
#include "measures/blockLanes.h"
#include "support/fail.h"
#include "measures/pairFigures.h"
#include "measures/quantileGates.h"
#include "reading/valueSource.h"

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
