// Requirements on quantiles, decided from exact counts at their bounds.
#include "measures/quantileGates.h"

#include <cmath>

namespace calcgap::report {

namespace {

// The summary a figure is a quantile of: the least rtol each pair needs is
// its relative error where neededFromRelative says so, with a 0 for each
// 0/0 and an infinity for each error without a denominator beside it.
template <typename Measures>
auto& summaryOf(Measures& m, ErrorSeries series)
{
    switch (series) {
    case ErrorSeries::absolute:
        return m.absSummary;
    case ErrorSeries::relative:
        return m.relSummary;
    case ErrorSeries::needed:
        break;
    }
    return neededFromRelative(m) ? m.relSummary : m.neededSummary;
}

bool besideRelative(const ErrorMeasures& m, ErrorSeries series)
{
    return series == ErrorSeries::needed && neededFromRelative(m);
}

// "At most v" asks how many values lie at or below v; "at least v", how
// many lie below it, at or below the double before it.
double boundOf(const Requirement& requirement)
{
    return requirement.atMost ? requirement.value : std::nextafter(requirement.value, -INFINITY);
}

}  // namespace

void watchQuantileGates(ErrorMeasures& m, const std::vector<Requirement>& requirements)
{
    m.gateWatches.assign(requirements.size(), -1);
    for (std::size_t i = 0; i < requirements.size(); ++i) {
        const double bound = boundOf(requirements[i]);
        if (!requirements[i].onQuantile || !(bound >= 0.0))
            continue;
        QuantileSummary& summary = summaryOf(m, requirements[i].quantile.series);
        m.gateWatches[i] = static_cast<std::int32_t>(summary.watches.size());
        watchBound(summary, bound);
    }
}

std::vector<QuantileGate> decideQuantileGates(const ErrorMeasures& m, const std::vector<Requirement>& requirements)
{
    std::vector<QuantileGate> gates;
    for (std::size_t i = 0; i < requirements.size() && i < m.gateWatches.size(); ++i) {
        const Requirement& requirement = requirements[i];
        if (!requirement.onQuantile)
            continue;
        const QuantileSummary& summary = summaryOf(m, requirement.quantile.series);
        const bool beside = besideRelative(m, requirement.quantile.series);
        const auto zeros = static_cast<std::uint64_t>(beside ? m.sums.relZeroOverZero : 0);
        const auto infinities = static_cast<std::uint64_t>(beside ? m.sums.relInfinite : 0);
        const std::uint64_t all = zeros + summary.total + infinities;
        if (all == 0)
            continue;
        const double bound = boundOf(requirement);
        std::uint64_t atMost = 0;
        if (m.gateWatches[i] >= 0)
            atMost = zeros + countAtMost(summary, summary.watches[static_cast<std::size_t>(m.gateWatches[i])]) +
                     (bound == INFINITY ? infinities : 0);
        const std::uint64_t rank = nearestRank(requirement.quantile.fraction, all);
        // The quantile is at most the bound where its rank is reached at or
        // below it; at least the bound where fewer than its rank lie below.
        gates.push_back({i, requirement.atMost ? atMost >= rank : atMost < rank});
    }
    return gates;
}

}  // namespace calcgap::report
