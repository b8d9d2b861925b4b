// Requirements on quantiles, decided exactly: a quantile is printed to
// within its bucket, but whether it meets a bound given before the pass is
// a count of the values at or below the bound, which the pass keeps.
#pragma once

#include "measures/errorMeasures.h"
#include "options/reportOptions.h"

#include <string>
#include <vector>

namespace calcgap::report {

// The fractions of the quantiles a report gives: of the errors, the median,
// p90, p99 and p99.9; of the pairs, all of them, 99.9% and 99% for the least
// rtol they meet.
constexpr double kMedian = 0.5;
constexpr double kP90 = 0.9;
constexpr double kP99 = 0.99;
constexpr double kP999 = 0.999;
constexpr double kAll = 1.0;

// Watches, in the measures' summaries, the bound of each requirement on a
// quantile of the sample's figures.
void watchQuantileGates(ErrorMeasures& measures, const std::vector<Requirement>& requirements);

struct QuantileGate {
    // The requirement's index in the options' list.
    std::size_t requirement;
    bool meets;
};

// The requirements on quantiles, each decided from the exact counts; none
// for a quantile without a value.
std::vector<QuantileGate> decideQuantileGates(const ErrorMeasures& measures,
                                              const std::vector<Requirement>& requirements);

}  // namespace calcgap::report
