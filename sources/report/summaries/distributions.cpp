// The incomplete beta function by its continued fraction, and each quantile
// by bisection on the distribution function built on it.
//
// Accuracy.  The continued fraction converges where x < (a + 1) / (a + b + 2)
// (otherwise it is taken for 1 - x with a and b swapped), and it is summed
// until a step changes it by less than kFractionStep, a few units in the last
// place.  Its factor x^a y^b / B(a, b) is taken from its logarithm, and the
// absolute error of that logarithm is the relative error of the result; so
// it is never formed as a difference of large logarithms (lgamma(a + b) -
// lgamma(a) - lgamma(b) loses 10^-10 at a = 10^5).  Written with the
// Stirling remainder delta(z) = lgamma(z) - (z - 1/2) ln z + z - ln(2 pi)/2,
// and with d = x b - y a (how far x lies from a / (a + b), times a + b):
//
//   ln(x^a y^b / B(a, b)) = a ln(1 + d/a) + b ln(1 - d/b)
//                           + ln(a b / (a + b)) / 2 - ln(2 pi) / 2
//                           - delta(a) - delta(b) + delta(a + b),
//
// each term of moderate size, the first two by log1p where |d/a| (or
// |d/b|) is below 1/2, so that their linear parts, d and -d, cancel
// exactly whatever the rounding of d; beyond that, as a ln(x (a + b) / a),
// whose rounding of a few units is a few units of a ln 2 at most times a,
// and where a is large the factor is then below e^(-a/10), a far tail.  delta is its series
// from kSeriesFrom on (terms to z^-9, the next below 3e-16), from lgamma
// below it, where lgamma is below 26 and its rounding below 6e-15.  A
// quantile is then found by bisection until the bracket is two neighbouring
// doubles (or, for the binomial, two neighbouring integers), so that it adds
// no error of its own beyond that of the function it inverts.
#include "summaries/distributions.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace calcgap::report {

namespace {

// The fraction's step at which its sum stops, and the least magnitude its
// denominators are let shrink to (the modified Lentz method).
constexpr double kFractionStep = 4 * std::numeric_limits<double>::epsilon();
constexpr double kTiny = 1e-300;
// Far more terms than any a and b of these intervals need (about the square
// root of the larger).
constexpr int kMostTerms = 10'000'000;

constexpr double kSeriesFrom = 15.0;
constexpr double kHalfLogTwoPi = 0.91893853320467274178;

double stirlingRemainder(double z)
{
    if (z < kSeriesFrom)
        return std::lgamma(z) - (z - 0.5) * std::log(z) + z - kHalfLogTwoPi;
    const double w = 1.0 / (z * z);
    return (1.0 / 12 - w * (1.0 / 360 - w * (1.0 / 1260 - w * (1.0 / 1680 - w / 1188)))) / z;
}

// ln(x^a y^b / B(a, b)), as the argument above gives it.
double logBetaFactor(double a, double b, double x, double y)
{
    const double d = x * b - y * a;
    const double sum = a + b;
    // w ln(v (a + b) / w), 1 + e being that ratio.
    const auto term = [sum](double w, double v, double e) {
        return w * (std::fabs(e) < 0.5 ? std::log1p(e) : std::log(v * (sum / w)));
    };
    return term(a, x, d / a) + term(b, y, -d / b) + 0.5 * std::log(a * b / sum) - kHalfLogTwoPi -
           stirlingRemainder(a) - stirlingRemainder(b) + stirlingRemainder(a + b);
}

// The continued fraction of I_x(a, b) / (x^a y^b / (a B(a, b))).
double betaFraction(double a, double b, double x)
{
    const auto guarded = [](double v) { return std::fabs(v) < kTiny ? kTiny : v; };
    double c = 1.0;
    double d = 1.0 / guarded(1.0 - (a + b) * x / (a + 1.0));
    double h = d;
    for (int m = 1; m <= kMostTerms; ++m) {
        const double twoM = 2.0 * m;
        const double even = m * (b - m) * x / ((a - 1.0 + twoM) * (a + twoM));
        d = 1.0 / guarded(1.0 + even * d);
        c = guarded(1.0 + even / c);
        h *= d * c;
        const double odd = -(a + m) * (a + b + m) * x / ((a + twoM) * (a + 1.0 + twoM));
        d = 1.0 / guarded(1.0 + odd * d);
        c = guarded(1.0 + odd / c);
        const double step = d * c;
        h *= step;
        if (std::fabs(step - 1.0) < kFractionStep)
            break;
    }
    return h;
}

// The smallest double above lo, below hi, or neither: whether a bisection
// can go on.
bool canSplit(double lo, double hi)
{
    const double mid = lo + (hi - lo) / 2;
    return mid > lo && mid < hi;
}

// The t >= 0 at which a decreasing tail falls to the probability tail.
template <typename Tail>
double invertTail(Tail tailAt, double tail)
{
    double lo = 0.0;
    double hi = 1.0;
    while (tailAt(hi) > tail && std::isfinite(hi))
        hi *= 2;
    while (canSplit(lo, hi)) {
        const double mid = lo + (hi - lo) / 2;
        (tailAt(mid) > tail ? lo : hi) = mid;
    }
    return hi;
}

}  // namespace

BetaTails incompleteBeta(double a, double b, double x, double y)
{
    if (x <= 0.0)
        return {0.0, 1.0};
    if (y <= 0.0)
        return {1.0, 0.0};
    const double logFront = logBetaFactor(a, b, x, y);
    if (x < (a + 1.0) / (a + b + 2.0)) {
        const double lower = std::exp(logFront) * betaFraction(a, b, x) / a;
        return {lower, 1.0 - lower};
    }
    const double upper = std::exp(logFront) * betaFraction(b, a, y) / b;
    return {1.0 - upper, upper};
}

double studentQuantile(double p, double df)
{
    if (p == 0.5)
        return 0.0;
    // P(T > t) = I_{df / (df + t^2)}(df / 2, 1 / 2) / 2, with 1 - x as
    // t^2 / (df + t^2), which is exact where x is near 1.
    const auto tailAt = [df](double t) {
        const double t2 = t * t;
        return incompleteBeta(df / 2, 0.5, df / (df + t2), t2 / (df + t2)).lower / 2;
    };
    const double t = invertTail(tailAt, p < 0.5 ? p : 1.0 - p);
    return p < 0.5 ? -t : t;
}

double normalQuantile(double p)
{
    if (p == 0.5)
        return 0.0;
    const auto tailAt = [](double z) { return std::erfc(z / std::sqrt(2.0)) / 2; };
    const double z = invertTail(tailAt, p < 0.5 ? p : 1.0 - p);
    return p < 0.5 ? -z : z;
}

std::int64_t binomialQuantile(double p, std::int64_t n, double q)
{
    // P(X <= k) = I_{1 - q}(n - k, k + 1) for k < n, and P(X > k) its
    // complement, the smaller of the two compared where p is above 1/2.
    const auto reaches = [&](std::int64_t k) {
        if (k >= n)
            return true;
        const BetaTails tails = incompleteBeta(static_cast<double>(n - k), static_cast<double>(k + 1), 1.0 - q, q);
        return p <= 0.5 ? tails.lower >= p : tails.upper <= 1.0 - p;
    };
    // reaches(lo) is false (or lo is -1), reaches(hi) true.
    std::int64_t lo = -1;
    std::int64_t hi = n;
    while (hi - lo > 1) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        (reaches(mid) ? hi : lo) = mid;
    }
    return hi;
}

RankInterval quantileRanks(double level, std::int64_t n, double q)
{
    return {binomialQuantile((1.0 - level) / 2, n, q), binomialQuantile((1.0 + level) / 2, n, q) + 1};
}

}  // namespace calcgap::report
