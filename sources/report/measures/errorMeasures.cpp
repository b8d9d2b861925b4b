// The accurate measures of the report, started and read: their decades,
// their spreads (with the bound on them) and their scratch.  The pairs go
// into them in pairTaking.cpp.
#include "measures/errorMeasures.h"

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

namespace calcgap::report {

const char* const kDecadeLabels[kDecadeBins] = {
    "0",           "(0, 1e-8)",    "[1e-8, 1e-7)", "[1e-7, 1e-6)", "[1e-6, 1e-5)", "[1e-5, 1e-4)",
    "[1e-4, 1e-3)", "[1e-3, 0.01)", "[0.01, 0.1)",  "[0.1, 1)",     "[1, inf)"};

std::string decadeName(int decade, int span)
{
    if (decade == kNoDecade)
        return "a <= 0";
    return "[1e" + std::to_string(decade) + ", 1e" + std::to_string(decade + span) + ")";
}

std::array<std::int64_t, kDecadeBins> decadeCounts(const ErrorMeasures& m)
{
    constexpr int kEdges = kDecadeBins - 1;
    std::array<std::int64_t, kEdges> atLeast;
    if (bucketed(m.relSummary)) {
        const DecadeEdgeBuckets& edges = decadeEdgesOf(m.relSummary);
        const std::vector<std::uint64_t> above = countsAbove(m.relSummary, edges.bucket.data(), edges.bucket.size());
        for (std::size_t k = 0; k < atLeast.size(); ++k)
            atLeast[k] = static_cast<std::int64_t>(above[k]) + m.sums.atDecadeEdges[k];
    } else {
        const std::vector<std::uint64_t> listed = listedAtLeast(m.relSummary, kDecadeBinEdges.data(), kEdges);
        for (std::size_t k = 0; k < atLeast.size(); ++k)
            atLeast[k] = static_cast<std::int64_t>(listed[k]);
    }
    std::array<std::int64_t, kDecadeBins> bins;
    bins[0] = m.sums.relCount - atLeast[0];
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

void startErrorMeasures(ErrorMeasures& measures, const MeasureOptions& options, const std::vector<Requirement>& gates,
                        std::int32_t worst, std::int32_t dim, bool densityTable, std::shared_ptr<BlockScratch> scratch)
{
    measures = ErrorMeasures{};
    measures.floor = options.floor;
    measures.rtol = options.rtol;
    measures.atol = options.atol;
    measures.minTruth = options.minTruthGiven ? options.minTruth : -INFINITY;
    measures.logMinTruth = options.minTruthGiven ? options.logMinTruth : -INFINITY;
    measures.logs = options.logs;
    if (options.bootstrap > 0) {
        measures.bootstrap = std::make_unique<BootstrapReplicates>();
        startBootstrap(*measures.bootstrap, options.bootstrap, options.seed);
    }
    if (options.rtols.size() > 1) {
        measures.rtols = options.rtols;
        measures.withinEach.assign(options.rtols.size(), 0);
    }
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
    measures.decadesPerRow = options.decadesPerRow;
    watchQuantileGates(measures, gates);
}

}  // namespace calcgap::report
