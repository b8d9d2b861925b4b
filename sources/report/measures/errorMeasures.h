// The report's measures of one sample against the first file: absolute,
// relative, signed, tolerance, ratio and scale-free, in double precision
// with accurate sums over the pairs whose two values are finite, their
// spread, a table by decade of a, and the classic sums over every pair.
#pragma once

#include "summaries/accurateSum.h"
#include "measures/decades.h"
#include "measures/pairTotals.h"
#include "measures/pairFigures.h"
#include "measures/bootstrapReplicates.h"
#include "classic/classicSums.h"
#include "summaries/quantileSummary.h"
#include "options/reportOptions.h"
#include "summaries/worstPoints.h"

#include <array>
#include <climits>
#include <cstdint>
#include <memory>
#include <vector>
#include <algorithm>
#include <iterator>

namespace calcgap::report {

// What the tables by decade of a keep for each row, made as the row's first
// pair comes.  Only the span of rows that occur is held, so that a sample
// costs what its decades do rather than the 20,001 rows any sample might
// have: a run of thousands of samples holds thousands of tables.
template <typename T>
struct RowTable {
    // The row of rows[0].
    std::int32_t first = 0;
    std::vector<std::unique_ptr<T>> rows;
};

// Grows the span to hold the rows from low to high.
template <typename T>
void coverRows(RowTable<T>& table, std::int32_t low, std::int32_t high)
{
    if (table.rows.empty()) {
        table.first = low;
        table.rows.resize(static_cast<std::size_t>(high - low) + 1);
        return;
    }
    if (low < table.first) {
        // Rarely: the rows below come as the first pairs of their decades.
        std::vector<std::unique_ptr<T>> rows(static_cast<std::size_t>(table.first - low));
        std::move(table.rows.begin(), table.rows.end(), std::back_inserter(rows));
        table.rows = std::move(rows);
        table.first = low;
    }
    const auto through = static_cast<std::size_t>(high - table.first) + 1;
    if (through > table.rows.size())
        table.rows.resize(through);
}

template <typename T>
std::unique_ptr<T>& slotOf(RowTable<T>& table, std::int32_t row)
{
    coverRows(table, row, row);
    return table.rows[static_cast<std::size_t>(row - table.first)];
}

// The spread of terms: the sum of their squared offsets from a shift, set
// by the first terms; with the terms' own sum, their squared deviations.
// The offsets are scaled by 2^-exponent before they are squared, exponent
// the least with every offset so far below 2^exponent, so that their
// squares neither overflow nor, where the terms are tiny, underflow: the
// squares held are those of offsets of at most 1.  An offset below 2^-511
// of the largest still underflows, but its square is below 2^-1022 of the
// largest square, far within the sums' error.  kUnscaled until an offset
// is nonzero.
constexpr int kUnscaled = INT_MIN;

struct Spread {
    bool started = false;
    double shift = 0.0;
    int exponent = kUnscaled;
    AccurateSum squares;
};

// The figures of one decade of a, as the text's table shows them.  Of its
// pairs, those left out of the tolerance figures and those without a
// relative error are counted, as they are few: the pairs with a tolerance
// and those with a relative error are what remains.
struct DensityDecade {
    std::int64_t pairs = 0;
    AccurateSum absSum;
    std::int64_t leftOut = 0;
    std::int64_t withoutRelative = 0;
    AccurateSum relSum;
    double relMin = INFINITY;
    double relMax = -1.0;
    // Its buckets only, counted pair by pair; its count and extremes are
    // relCount, relMin and relMax, noted once at the end.
    QuantileSummary relSummary;
    std::int64_t within = 0;
};

struct BlockLanes;

// The lanes of a sample's blocks, and those of its decades' blocks.
struct BlockScratch;

std::shared_ptr<BlockScratch> makeBlockScratch();

// The largest errors so far and where they are: the measures keep them, and
// a block carries them in its totals and hands them back.
struct Extremes {
    double absMax = -1.0;
    std::int64_t absMaxIndex = -1;
    double relMax = -1.0;
    std::int64_t relMaxIndex = -1;
    double logRatioMax = -1.0;
    // The pair of the largest ratio error, as read.
    double ratioMaxPair[2] = {1.0, 1.0};
    std::int64_t ratioMaxIndex = -1;
    double allptsMax = 0.0;
};

struct ErrorMeasures {
    double floor = 0.0;
    double rtol = 0.0;
    double atol = 0.0;
    // Pairs whose a is below minTruth are left out of the relative, ratio
    // and tolerance figures.
    double minTruth = -INFINITY;
    double logMinTruth = -INFINITY;
    // The values are natural logarithms of the densities.
    bool logs = false;
    // With --bootstrap, the replicates of the means; none by decade.
    std::unique_ptr<BootstrapReplicates> bootstrap;
    // With several --rtol, each of them and the pairs within it.
    std::vector<double> rtols;
    std::vector<std::int64_t> withinEach;

    PairTotals<AccurateSum, Spread> sums;
    QuantileSummary absSummary;
    QuantileSummary relSummary;
    // The least rtol each pair needs to be within tolerance, with atol;
    // not kept where it is the relative error (see neededFromRelative).
    QuantileSummary neededSummary;
    Extremes extremes;

    ClassicSums classic;
    WorstList worstAbs;
    WorstList worstRel;

    // The text's table by decade of a, a row made as its first pair comes;
    // none in the measures of one decade.
    bool keepsTable = false;
    RowTable<DensityDecade> density;
    // With --by-density, every figure by decade of a, in measures of their
    // own with coarse quantiles and no worst points.
    bool byDensity = false;
    std::int32_t decadesPerRow = 1;
    RowTable<ErrorMeasures> densityMeasures;

    // Room for a block's arithmetic, which every sample of a run shares, as
    // they are measured one block at a time; lanes are the scratch's, or in
    // the measures of a decade, the scratch's for decades.
    std::shared_ptr<BlockScratch> scratch;
    BlockLanes* lanes = nullptr;

    // For each requirement, in order, the watch in its quantile's summary
    // that decides it exactly, or -1 (not on a quantile, or on a bound
    // below 0, which no value meets).
    std::vector<std::int32_t> gateWatches;
};

// Whether the least rtol of every pair is its relative error, so that its
// quantiles come from the relative errors' summary, with a 0 for each 0/0
// and an infinity for each relative error without a denominator: densities
// (not logarithms, whose pairs with a density of 0 take the floor) without
// atol or floor.
bool neededFromRelative(const ErrorMeasures& measures);

// gates are the requirements whose quantiles are decided from exact counts
// at their bounds; worst is how many points each worst list keeps, dim how many coordinates
// each point has (0 without test points); densityTable whether to keep the
// table by decade of a, which the tab-separated rows do not show; scratch
// the lanes shared with other measures, or null for lanes of their own.
void startErrorMeasures(ErrorMeasures& measures, const MeasureOptions& options, const std::vector<Requirement>& gates,
                        std::int32_t worst, std::int32_t dim = 0, bool densityTable = true,
                        std::shared_ptr<BlockScratch> scratch = {});

// The tolerances a pair is judged by.
inline Tolerances tolerancesOf(const ErrorMeasures& m)
{
    return {m.floor, m.rtol, m.atol, m.minTruth, m.logMinTruth};
}

// One block of pairs: the values as read (as and bs, the logarithms with
// --log), the same as "%f" reads them for the classic sums (singleAs and
// singleBs, or null where there are no classic lines), where a pair's two
// values read as 0 from nonzero values written (excluded, or null for
// none), and the test points' coordinates (dim of them a pair, or null).
// Point indices are first + j, or indices[j] where indices is given; count
// is at most kPairBlock.
struct MeasuredBlock {
    const double* as;
    const double* bs;
    const float* singleAs;
    const float* singleBs;
    const bool* excluded;
    std::int32_t count;
    std::int64_t first;
    const double* points = nullptr;
    const std::int64_t* indices = nullptr;
};

void takeMeasuredPairs(ErrorMeasures& measures, const MeasuredBlock& block);

// count copies of the pair (a, b), point indices first upwards, as count
// single pairs would be taken; each at the point's coordinates, where
// point is not null.
void takeRepeatedPair(ErrorMeasures& measures, double a, double b, float singleA, float singleB, bool excluded,
                      std::int64_t first, std::int64_t count, const double* point = nullptr);

// The relative errors of the measures by bin of decade: 0, (0, 1e-8),
// [1e-8, 1e-7), ..., [1, inf).
std::array<std::int64_t, kDecadeBins> decadeCounts(const ErrorMeasures& measures);

// The mean, standard deviation (n - 1) and standard error of the terms.
struct SpreadFigures {
    double mean;
    double sd;
    double se;
};

SpreadFigures spreadOf(const Spread& spread, const AccurateSum& sum, std::int64_t count);

}  // namespace calcgap::report
