// A paired comparison's block: a plain loop over the points, as the
// comparison's sums take a block at a time like the measures' own.
#include "comparisons/pairedComparison.h"

#include "summaries/distributions.h"

#include <algorithm>
#include <cmath>

namespace calcgap::report {

void startPairedComparison(PairedComparison& comparison)
{
    comparison = PairedComparison{};
    startQuantileSummary(comparison.ratioSummary, "cannot keep the summary of the ratios of relative errors");
}

void takePairedBlock(PairedComparison& c, const double* sampleErrors, const double* baselineErrors,
                     std::int32_t count)
{
    BlockSpread spread = startSpread(c.differenceSpread);
    for (std::int32_t j = 0; j < count; ++j) {
        const double mine = sampleErrors[j];
        const double theirs = baselineErrors[j];
        if (!std::isfinite(mine) || !std::isfinite(theirs))
            continue;
        ++c.points;
        c.wins += mine < theirs ? 1 : 0;
        c.ties += mine == theirs ? 1 : 0;
        const double difference = mine - theirs;
        c.differenceSum.block += difference;
        addToSpread(spread, difference, 1.0);
        if (mine > 0.0 && theirs > 0.0) {
            // The quotient of two finite positive doubles may round to 0 or
            // overflow; its logarithm is taken as a difference instead.
            ++c.ratios;
            c.logRatioSum.block += std::log(mine) - std::log(theirs);
            addToSummary(c.ratioSummary, mine / theirs);
        }
    }
    addBlock(c.differenceSum);
    addBlock(c.logRatioSum);
    endSpread(c.differenceSpread, spread);
    if (listIsFull(c.ratioSummary))
        spillListed(c.ratioSummary);
}

double signTestP(std::int64_t wins, std::int64_t n)
{
    if (n <= 0)
        return NAN;
    const std::int64_t fewer = std::min(wins, n - wins);
    if (2 * fewer == n)
        return 1.0;
    // P(X <= fewer) for X ~ Binomial(n, 1/2), doubled by the symmetry.
    const BetaTails tails =
        incompleteBeta(static_cast<double>(n - fewer), static_cast<double>(fewer + 1), 0.5, 0.5);
    return std::min(1.0, 2.0 * tails.lower);
}

}  // namespace calcgap::report
