// The pairs into the measures: block by block, lane by lane where the
// block is common, decade of a by decade, and one pair repeated.
#include "measures/blockTotals.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace calcgap::report {

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
        for (std::size_t k = 0; k < m.sums.atDecadeEdges.size(); ++k)
            m.sums.atDecadeEdges[k] += atDecadeEdge(edges, k, listed.value) ? static_cast<std::int64_t>(listed.count) : 0;
    spillListed(rel);
}

// A block's total into the run's, by its kind.
void mergeTotal(std::int64_t& run, std::int64_t block)
{
    run += block;
}

void mergeTotal(AccurateSum& run, double block)
{
    run.block += block;
    addBlock(run);
}

void mergeTotal(SquareSum& run, const SquareSum& block)
{
    addSquares(run, block);
    addSquareBlock(run);
}

void mergeTotal(Spread& run, const BlockSpread& block)
{
    endSpread(run, block);
}

void mergeTotal(std::array<std::int64_t, kDecadeBins - 1>& run, const std::array<std::int64_t, kDecadeBins - 1>& block)
{
    for (std::size_t k = 0; k < run.size(); ++k)
        run[k] += block[k];
}

void endBlock(ErrorMeasures& m, const BlockTotals& totals)
{
    eachTotal(m.sums, totals.sums, [](auto& run, const auto& block) { mergeTotal(run, block); });
    m.extremes = totals.extremes;
    noteSummarized(m.absSummary, static_cast<std::uint64_t>(totals.sums.measured), totals.absSmallest, totals.extremes.absMax);
    noteSummarized(m.relSummary, static_cast<std::uint64_t>(totals.sums.relCount), totals.relSmallest, totals.extremes.relMax);
    noteSummarized(m.neededSummary, static_cast<std::uint64_t>(totals.neededCount), totals.neededSmallest,
                   totals.neededLargest);
    spillSummaries(m);
}

void takeByDensity(ErrorMeasures& measures, const MeasuredBlock& block);

// The row of the span of decades that a row's decade falls in: the span's
// lowest decade, a multiple of span (floored, so that -1 lies in the span
// from -span), or the table's lowest where the span begins below it.  The
// row of a <= 0 stays its own.
std::int32_t spanRowOf(std::int32_t row, std::int32_t span)
{
    if (row == kNoRow)
        return row;
    const int decade = row + kLowestDecade;
    const int remainder = ((decade % span) + span) % span;
    return std::max(decade - remainder, kLowestDecade) - kLowestDecade;
}

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
    decade->rtols = measures.rtols;
    decade->withinEach.assign(measures.rtols.size(), 0);
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

// With several tolerances, the pairs within each, count times each pair:
// a pass of their own, which a run with one tolerance never makes.
void countWithinEach(ErrorMeasures& measures, const double* as, const double* bs, const bool* excluded,
                     std::int32_t pairs, std::int64_t count)
{
    Tolerances tolerances = tolerancesOf(measures);
    for (std::size_t k = 0; k < measures.rtols.size(); ++k) {
        tolerances.rtol = measures.rtols[k];
        std::int64_t within = 0;
        for (std::int32_t j = 0; j < pairs; ++j)
            within += pairIsWithin(as[j], bs[j], excluded != nullptr && excluded[j], measures.logs, tolerances) ? 1 : 0;
        measures.withinEach[k] += within * count;
    }
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
    if (!measures.rtols.empty())
        countWithinEach(measures, block.as, block.bs, block.excluded, block.count, 1);
    if (measures.bootstrap != nullptr)
        takeBootstrapBlock(*measures.bootstrap, block.as, block.bs, block.excluded, block.count, block.first,
                           measures.logs, tolerances);
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
    const std::int32_t span = measures.decadesPerRow;
    for (std::int32_t j = 0; j < block.count; ++j)
        if (lanes.row[j] >= 0)
            keys[keyCount++] = spanRowOf(lanes.row[j], span) << kPlaceBits | j;
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
    if (!measures.rtols.empty())
        countWithinEach(measures, &a, &b, &excluded, 1, count);
    if (measures.bootstrap != nullptr)
        takeBootstrapRepeated(*measures.bootstrap, a, b, excluded, first, count, measures.logs, tolerances);
    if (!measures.logs)
        takeClassicRepeated(measures.classic, singleA, singleB, count);
}

}  // namespace calcgap::report
