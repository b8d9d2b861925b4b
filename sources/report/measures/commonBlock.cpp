// A block of common pairs taken lane by lane.
#include "measures/blockTotals.h"

#include "measures/laneClones.h"

namespace calcgap::report {

namespace {

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
CALCGAP_LANE_CLONES void takeLanes(ErrorMeasures& m, BlockTotals& totals, BlockLanes& lanes, const MeasuredBlock& block,
                                   std::size_t dim, bool allCommon)
{
    const std::int32_t n = block.count;
    totals.sums.measured = n;
    totals.sums.relCount = n;
    const bool needed = totals.neededSummary != nullptr;
    if (allCommon) {
        totals.sums.ratioPairs = n;
    } else {
        for (std::int32_t j = 0; j < n; ++j) {
            const double a = block.as[j];
            const double b = block.bs[j];
            if (a <= 0.0 || b <= 0.0) {
                lanes.logRatio[j] = -1.0;
                totals.sums.oneNotPositive += (a <= 0.0) != (b <= 0.0) ? 1 : 0;
                continue;
            }
            ++totals.sums.ratioPairs;
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
    totals.sums.absSum = sums[0];
    totals.sums.relSum = sums[1];
    totals.sums.signedSum = sums[2];
    totals.sums.signedRelSum = sums[3];
    totals.sums.within = static_cast<std::int64_t>(sums[4]);
    totals.sums.logRatioSum = sums[5];
    startLaneSpread(totals.sums.absSpread, sums[0], n);
    startLaneSpread(totals.sums.relSpread, sums[1], n);
    startLaneSpread(totals.sums.signedSpread, sums[2], n);
    startLaneSpread(totals.sums.signedRelSpread, sums[3], n);
    // The lanes' extremes in one pass.
    const auto [absSmallest, magnitudeSmallest, relSmallest, magnitudeLargest, absMax, relMax, logMax] =
        laneExtremes<false, false, false, true, true, true, true>(n, lanes.absError, lanes.magnitude, lanes.relError,
                                                                  lanes.magnitude, lanes.absError, lanes.relError,
                                                                  lanes.logRatio);
    // Every offset from a shift is at most the largest term's magnitude
    // plus the shift's; a signed error is as large as its absolute one.
    fitSpread(totals.sums.absSpread, absMax + std::fabs(totals.sums.absSpread.shift));
    fitSpread(totals.sums.relSpread, relMax + std::fabs(totals.sums.relSpread.shift));
    fitSpread(totals.sums.signedSpread, absMax + std::fabs(totals.sums.signedSpread.shift));
    fitSpread(totals.sums.signedRelSpread, relMax + std::fabs(totals.sums.signedRelSpread.shift));
    // Where every spread's offsets lie below 2^500 and some reach 2^-460,
    // as in nearly every run, their squares need no scaling inside the
    // block: none can overflow, and those that underflow are below 2^-154
    // of the largest, within the sums' error.  The block's sums are scaled
    // once after, by a power of two, exactly.
    const auto plain = [](const BlockSpread& spread) { return spread.exponent >= -460 && spread.exponent <= 500; };
    const bool unscaled =
        plain(totals.sums.absSpread) && plain(totals.sums.relSpread) && plain(totals.sums.signedSpread) && plain(totals.sums.signedRelSpread);
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
        const auto absOffsets = offsetSquare(lanes.absError, totals.sums.absSpread);
        const auto relOffsets = offsetSquare(lanes.relError, totals.sums.relSpread);
        const auto signedOffsets = offsetSquare(lanes.signedError, totals.sums.signedSpread);
        const auto signedRelOffsets = offsetSquare(lanes.signedRel, totals.sums.signedRelSpread);
        if (totals.absSmallest >= kSmallTerm && magnitudeSmallest >= kSmallTerm && absMax < kLargeTerm &&
            magnitudeLargest < kLargeTerm) {
            // No tiny terms, as in nearly every block: the squares share the
            // pass.
            const auto squares = laneSums(
                n, [&](std::int32_t j) { return lanes.absError[j] * lanes.absError[j]; },
                [&](std::int32_t j) { return lanes.magnitude[j] * lanes.magnitude[j]; }, absOffsets, relOffsets,
                signedOffsets, signedRelOffsets);
            totals.sums.squareSum.normal.block += squares[0];
            totals.sums.allptsSquareSum.normal.block += squares[1];
            return std::array<double, 4>{squares[2], squares[3], squares[4], squares[5]};
        }
        laneSquares(totals.sums.squareSum, lanes.absError, n, totals.absSmallest, absMax);
        laneSquares(totals.sums.allptsSquareSum, lanes.magnitude, n, magnitudeSmallest, magnitudeLargest);
        return laneSums(n, absOffsets, relOffsets, signedOffsets, signedRelOffsets);
    };
    std::array<double, 4> offsets;
    if (unscaled) {
        // Within the plain range a scale's square is a normal double.
        offsets = blockSquares(std::false_type{});
        offsets[0] *= totals.sums.absSpread.scale * totals.sums.absSpread.scale;
        offsets[1] *= totals.sums.relSpread.scale * totals.sums.relSpread.scale;
        offsets[2] *= totals.sums.signedSpread.scale * totals.sums.signedSpread.scale;
        offsets[3] *= totals.sums.signedRelSpread.scale * totals.sums.signedRelSpread.scale;
    } else {
        offsets = blockSquares(std::true_type{});
    }
    totals.sums.absSpread.squares = offsets[0];
    totals.sums.relSpread.squares = offsets[1];
    totals.sums.signedSpread.squares = offsets[2];
    totals.sums.signedRelSpread.squares = offsets[3];
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
        totals.sums.atDecadeEdges[k] += atEdge;
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

}  // namespace

void takeCommonBlock(ErrorMeasures& m, BlockTotals& totals, BlockLanes& lanes, const MeasuredBlock& block,
                     std::size_t dim, bool allCommon)
{
    takeLanes(m, totals, lanes, block, dim, allCommon);
}

}  // namespace calcgap::report
