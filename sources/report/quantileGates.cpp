// Requirements on quantiles, decided from exact counts at their bounds.
#include "quantileGates.h"

#include <cmath>
#include <cstring>

namespace {

enum class Series { absolute, relative, needed };

struct QuantileFigure {
    const char* name;
    Series series;
    double fraction;
};

// The quantile figures of a sample's row, with the summaries and fractions
// the report takes them from.
constexpr QuantileFigure kQuantileFigures[] = {
    {"abs_median", Series::absolute, kMedian}, {"abs_p90", Series::absolute, kP90},
    {"abs_p99", Series::absolute, kP99},       {"abs_p999", Series::absolute, kP999},
    {"rel_median", Series::relative, kMedian}, {"rel_p90", Series::relative, kP90},
    {"rel_p99", Series::relative, kP99},       {"rtol_for_all", Series::needed, kAll},
    {"rtol_for_999", Series::needed, kP999},   {"rtol_for_99", Series::needed, kP99},
};

const QuantileFigure* quantileFigureNamed(const std::string& name)
{
    for (const QuantileFigure& figure : kQuantileFigures)
        if (name == figure.name)
            return &figure;
    return nullptr;
}

// The summary a figure is a quantile of: the least rtol each pair needs is
// its relative error where neededFromRelative says so, with a 0 for each
// 0/0 and an infinity for each error without a denominator beside it.
template <typename Measures>
auto& summaryOf(Measures& m, Series series)
{
    switch (series) {
    case Series::absolute:
        return m.absSummary;
    case Series::relative:
        return m.relSummary;
    case Series::needed:
        break;
    }
    return neededFromRelative(m) ? m.relSummary : m.neededSummary;
}

bool besideRelative(const ErrorMeasures& m, Series series)
{
    return series == Series::needed && neededFromRelative(m);
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
        const QuantileFigure* const figure = quantileFigureNamed(requirements[i].name);
        const double bound = boundOf(requirements[i]);
        if (figure == nullptr || !(bound >= 0.0))
            continue;
        QuantileSummary& summary = summaryOf(m, figure->series);
        m.gateWatches[i] = static_cast<std::int32_t>(summary.watches.size());
        watchBound(summary, bound);
    }
}

std::vector<QuantileGate> decideQuantileGates(const ErrorMeasures& m, const std::vector<Requirement>& requirements)
{
    std::vector<QuantileGate> gates;
    for (std::size_t i = 0; i < requirements.size() && i < m.gateWatches.size(); ++i) {
        const QuantileFigure* const figure = quantileFigureNamed(requirements[i].name);
        if (figure == nullptr)
            continue;
        const QuantileSummary& summary = summaryOf(m, figure->series);
        const bool beside = besideRelative(m, figure->series);
        const auto zeros = static_cast<std::uint64_t>(beside ? m.relZeroOverZero : 0);
        const auto infinities = static_cast<std::uint64_t>(beside ? m.relInfinite : 0);
        const std::uint64_t all = zeros + summary.total + infinities;
        if (all == 0)
            continue;
        const double bound = boundOf(requirements[i]);
        std::uint64_t atMost = 0;
        if (m.gateWatches[i] >= 0)
            atMost = zeros + countAtMost(summary, summary.watches[static_cast<std::size_t>(m.gateWatches[i])]) +
                     (bound == INFINITY ? infinities : 0);
        const std::uint64_t rank = nearestRank(figure->fraction, all);
        // The quantile is at most the bound where its rank is reached at or
        // below it; at least the bound where fewer than its rank lie below.
        gates.push_back({i, requirements[i].atMost ? atMost >= rank : atMost < rank});
    }
    return gates;
}
