// Quantiles of the distributions the intervals are drawn from: Student's t,
// the normal, and the binomial, whose quantiles rank the order statistics
// that bound a quantile whatever the errors' distribution.
#pragma once

#include <cstdint>

namespace calcgap::report {

// The regularized incomplete beta function I_x(a, b) and its complement
// 1 - I_x(a, b), each computed directly where it is the smaller, so that a
// far tail keeps its relative accuracy.  y is 1 - x, given by the caller
// where it knows it more exactly than 1 - x would give it.
struct BetaTails {
    double lower;
    double upper;
};
BetaTails incompleteBeta(double a, double b, double x, double y);

// The p-quantile (p in (0, 1)) of Student's t with df > 0 degrees of
// freedom, and of the standard normal.
double studentQuantile(double p, double df);
double normalQuantile(double p);

// The p-quantile of Binomial(n, q): the least k with P(X <= k) >= p.
std::int64_t binomialQuantile(double p, std::int64_t n, double q);

// The ranks (from 1) of the order statistics that bound the q-quantile of
// n values at the level given: the (1 - level) / 2 quantile of
// Binomial(n, q), and the (1 + level) / 2 quantile plus one.  The first may
// be 0 and the second n + 1, where the values give no bound on that side.
struct RankInterval {
    std::int64_t low;
    std::int64_t high;
};
RankInterval quantileRanks(double level, std::int64_t n, double q);

}  // namespace calcgap::report
