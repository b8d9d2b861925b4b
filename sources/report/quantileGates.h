// Requirements on quantiles, decided exactly: a quantile is printed to
// within its bucket, but whether it meets a bound given before the pass is
// a count of the values at or below the bound, which the pass keeps.
#pragma once

#include "errorMeasures.h"
#include "reportOptions.h"

#include <string>
#include <vector>

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
