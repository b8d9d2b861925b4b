// What one pair of values gives to the measures, worked out the same way
// wherever a pair is taken: the decade of a positive double, exactly; the
// bin of a relative error; |ln(b / a)| to a few units of its last bit; and
// every figure of a pair of densities, or of their logarithms.
#pragma once

#include "measures/decades.h"
#include "summaries/quantileSummary.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace calcgap::report {

// The decades of the positive doubles: 4.9e-324 to 1.8e308.
constexpr int kLowestDoubleDecade = -324;
constexpr int kDoubleDecades = 308 - kLowestDoubleDecade + 1;

// Decades of positive doubles: the binary exponent gives the decade or the
// one below, and one comparison with a power of ten settles which.
struct DecadeTable {
    // floor(log10(2^e)) for the binary exponents e of the doubles, from -1074.
    std::int16_t decadeOf[2048 + 52];
    // 10^d for d from the lowest decade of a double to one past the
    // highest, the double nearest; infinity past it, so that the comparison
    // settles nothing there.
    double powerOf[kDoubleDecades + 1];
};

constexpr int kLowestExponent = -1074;

inline DecadeTable makeDecadeTable()
{
    DecadeTable table{};
    for (int e = kLowestExponent; e < 1024; ++e)
        table.decadeOf[e - kLowestExponent] =
            static_cast<std::int16_t>(std::floor(static_cast<double>(e) * 0.30102999566398120));
    for (int d = kLowestDoubleDecade; d <= kLowestDoubleDecade + kDoubleDecades; ++d)
        table.powerOf[d - kLowestDoubleDecade] = std::strtod(("1e" + std::to_string(d)).c_str(), nullptr);
    return table;
}

inline const DecadeTable kDecades = makeDecadeTable();

// floor(log10(x)) for a positive finite double: the binary exponent gives
// the decade or the one below, and one comparison with a power of ten
// settles which.
[[gnu::always_inline]] inline int decadeOfPositive(double x)
{
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const int field = static_cast<int>(bits >> 52);
    int exponent = field - 1023;
    if (field == 0) {
        // Below the normal range the exponent is the mantissa's own.
        std::frexp(x, &exponent);
        --exponent;
    }
    const int decade = kDecades.decadeOf[exponent - kLowestExponent];
    return decade + (x >= kDecades.powerOf[decade + 1 - kLowestDoubleDecade] ? 1 : 0);
}

// The bins of relative errors: 0 is bin 0, (0, 1e-8) bin 1, [1e-8, 1e-7)
// bin 2, ..., [1, inf) bin 10.  Their edges are the least positive double
// and the powers of ten that decadeOfPositive compares with, 1e-8 to 1, and
// a value's bin is the number of edges at or below it.
inline std::array<double, kDecadeBins - 1> makeDecadeBinEdges()
{
    std::array<double, kDecadeBins - 1> edges;
    edges[0] = DBL_TRUE_MIN;
    for (int k = 1; k < kDecadeBins - 1; ++k)
        edges[static_cast<std::size_t>(k)] = kDecades.powerOf[k - (kDecadeBins - 1) - kLowestDoubleDecade + 1];
    return edges;
}

inline const std::array<double, kDecadeBins - 1> kDecadeBinEdges = makeDecadeBinEdges();

// The errors at or above each edge are those in the buckets above the
// edge's bucket, which a quantile summary counts, and those of the edge's
// own bucket from the edge to the bucket's end, which are counted apart:
// the edges' buckets, and the ends of the ranges [edge, end), at one
// summary's resolution.
struct DecadeEdgeBuckets {
    std::array<std::uint32_t, kDecadeBins - 1> bucket;
    std::array<double, kDecadeBins - 1> end;
};

inline DecadeEdgeBuckets makeDecadeEdgeBuckets(int shift)
{
    DecadeEdgeBuckets edges;
    for (std::size_t k = 0; k < kDecadeBinEdges.size(); ++k) {
        std::uint64_t bits;
        std::memcpy(&bits, &kDecadeBinEdges[k], sizeof bits);
        edges.bucket[k] = static_cast<std::uint32_t>(bits >> shift);
        const std::uint64_t endBits = ((bits >> shift) + 1) << shift;
        std::memcpy(&edges.end[k], &endBits, sizeof endBits);
    }
    return edges;
}

// The decade bins' edges at the resolution of the summaries that count the
// relative errors.
inline const DecadeEdgeBuckets kFineDecadeEdges = makeDecadeEdgeBuckets(kFineShift);
inline const DecadeEdgeBuckets kCoarseDecadeEdges = makeDecadeEdgeBuckets(kCoarseShift);

inline const DecadeEdgeBuckets& decadeEdgesOf(const QuantileSummary& summary)
{
    return summary.shift == kFineShift ? kFineDecadeEdges : kCoarseDecadeEdges;
}

// Whether the error lies from edge k to the end of the edge's bucket; both
// tests at once, as a chain of tests would be a branch in a block's loop.
[[gnu::always_inline]] inline bool atDecadeEdge(const DecadeEdgeBuckets& edges, std::size_t k, double relError)
{
    return (unsigned{relError >= kDecadeBinEdges[k]} & unsigned{relError < edges.end[k]}) != 0;
}

// |ln(b / a)| for positive a and b to a few units of its last bit.  Near 1
// it is 2 atanh(s) with s = (b - a) / (b + a): b - a is exact there (the
// two lie within a factor of 2 of each other), b + a and the quotient are
// rounded once each, so s is within two units of its last bit.  The series
// 2 s (1 + s^2/3 + s^4/5 + ... + s^18/19) is evaluated as a tree of pairs
// of terms, from the powers s^2, s^4 and s^8, in four levels rather than
// nine steps one after another: its terms are all positive, so any order
// sums them to within a unit or two, and for |s| <= 0.1 those left out are
// below 10^-20 of the first.  Elsewhere the rounding of b / a costs at most
// a unit of the logarithm, which is then above 0.2.
// The series is branch-free, so that a block's lanes take it too.
[[gnu::always_inline]] inline double atanhSeries(double magnitude)
{
    const double t = magnitude * magnitude;
    const double t2 = t * t;
    const double t4 = t2 * t2;
    const double t8 = t4 * t4;
    const double p01 = 1.0 + t * (1.0 / 3);
    const double p23 = 1.0 / 5 + t * (1.0 / 7);
    const double p45 = 1.0 / 9 + t * (1.0 / 11);
    const double p67 = 1.0 / 13 + t * (1.0 / 15);
    const double p89 = 1.0 / 17 + t * (1.0 / 19);
    const double q03 = p01 + t2 * p23;
    const double q47 = p45 + t2 * p67;
    return 2.0 * magnitude * ((q03 + t4 * q47) + t8 * p89);
}

// The series' argument s, and its reach.
constexpr double kSeriesReach = 0.1;

[[gnu::always_inline]] inline double seriesArgument(double a, double b)
{
    return std::fabs((b - a) / (b + a));
}

[[gnu::always_inline]] inline double logRatio(double a, double b)
{
    const double magnitude = seriesArgument(a, b);
    if (magnitude > kSeriesReach)
        return std::fabs(std::log(b / a));
    return atanhSeries(magnitude);
}

// What one pair gives to the measures, whichever form its values take.
struct PairFigures {
    bool finite;
    double absError;
    // |a|, for the scale-free norms.
    double magnitude;
    // b - a.
    double signedError;
    // Left out of the relative, ratio and tolerance figures: both read as 0
    // from nonzero values written, or a below the least truth.
    bool excluded;
    bool belowMinTruth;
    // The relative error where the denominator is not 0, and its signed
    // form.
    bool hasRelative;
    double relError;
    double signedRel;
    bool within;
    // The least rtol that would put the pair within tolerance.
    double needed;
    // |ln(b / a)| where both are positive.
    bool bothPositive;
    double logRatio;
    bool oneNotPositive;
    bool absUnderflow;
    // The row of the table by decade of a.
    std::int32_t row;
};

struct Tolerances {
    double floor;
    double rtol;
    double atol;
    double minTruth;
    double logMinTruth;
};

// A logarithm's decade beyond the table's falls in the end row on its side.
inline std::int32_t rowOf(int decade)
{
    return std::clamp(decade, kLowestDecade, kHighestDecade) - kLowestDecade;
}

constexpr std::int32_t kNoRow = kNoDecade - kLowestDecade;

// Each expression of a pair of densities, written once: densityFigures
// takes them a pair at a time and the lanes (blockLanes.cpp) a block at a
// time, so that either way gives the same bits.

// max(|a|, floor), of which a relative error is the quotient.
[[gnu::always_inline]] inline double denominatorOf(double magnitude, const Tolerances& t)
{
    return std::max(magnitude, t.floor);
}

[[gnu::always_inline]] inline double relativeError(double absError, double magnitude, const Tolerances& t)
{
    return absError / denominatorOf(magnitude, t);
}

// a - b is exactly -(b - a), so the relative error with the sign of b - a
// is bit for bit the quotient (b - a) / max(|a|, floor).
[[gnu::always_inline]] inline double signedRelative(double relError, double signedError)
{
    return std::copysign(relError, signedError);
}

[[gnu::always_inline]] inline bool isWithin(double absError, double magnitude, const Tolerances& t)
{
    return absError <= t.atol + t.rtol * magnitude;
}

// The least rtol with which |a - b| <= atol + rtol |a|, for a nonzero: 0
// where |a - b| <= atol, as a maximum rather than a choice, which a
// compiler would make a branch around the division.  (|a - b| - atol) / |a|
// is negative or zero there, and positive elsewhere, as the difference of
// two unequal doubles never rounds to 0.
[[gnu::always_inline]] inline double neededOfNonzero(double absError, double magnitude, double atol)
{
    return std::max(0.0, (absError - atol) / magnitude);
}

// The same for any a: where a is 0, 0 within atol and infinite beyond.
[[gnu::always_inline]] inline double neededRtol(double absError, double magnitude, double atol)
{
    if (magnitude > 0.0)
        return neededOfNonzero(absError, magnitude, atol);
    return absError <= atol ? 0.0 : INFINITY;
}

// Without atol and floor, the least rtol a pair of densities needs is its
// relative error: |a - b| / |a|, 0 where the two are equal and infinite
// where a alone is 0, as neededRtol gives it.
[[gnu::always_inline]] inline bool neededIsRelative(const Tolerances& t)
{
    return t.atol == 0.0 && t.floor == 0.0;
}

// A pair that the relative, ratio and tolerance figures all take: both
// values finite, a not below the least truth, and a relative error.
[[gnu::always_inline]] inline bool isMeasurable(double a, double b, const Tolerances& t)
{
    const bool finite = std::fabs(a) <= DBL_MAX && std::fabs(b) <= DBL_MAX;
    return finite & (a >= t.minTruth) & (denominatorOf(std::fabs(a), t) > 0.0);
}

// A measurable pair whose values are both positive and whose ratio the
// series takes, given s: two tests tell it all, as a chain of tests would
// be branches.  A positive a at or above the least truth (no double lies
// between 0 and the least positive one) makes the denominator positive;
// an s that is not NaN needs both values finite (an infinity makes it inf /
// inf or NaN); and where b <= 0 < a, |b - a| = a + |b| >= |b + a|, so s >= 1,
// or it is infinite or NaN where b + a is 0, and no rounding brings it
// within the reach.
[[gnu::always_inline]] inline bool isCommon(double a, double s, const Tolerances& t)
{
    return (a >= std::max(t.minTruth, DBL_TRUE_MIN)) & (s <= kSeriesReach);
}

[[gnu::always_inline]] inline PairFigures densityFigures(double a, double b, bool excluded, const Tolerances& t)
{
    PairFigures f{};
    f.finite = std::isfinite(a) && std::isfinite(b);
    if (!f.finite)
        return f;
    f.absError = std::fabs(a - b);
    f.magnitude = std::fabs(a);
    f.signedError = b - a;
    f.row = a > 0.0 ? rowOf(decadeOfPositive(a)) : kNoRow;
    f.belowMinTruth = a < t.minTruth;
    f.excluded = excluded || f.belowMinTruth;
    if (f.excluded)
        return f;
    f.hasRelative = denominatorOf(f.magnitude, t) > 0.0;
    f.relError = relativeError(f.absError, f.magnitude, t);
    f.signedRel = signedRelative(f.relError, f.signedError);
    f.within = isWithin(f.absError, f.magnitude, t);
    f.needed = neededRtol(f.absError, f.magnitude, t.atol);
    f.bothPositive = a > 0.0 && b > 0.0;
    if (f.bothPositive)
        f.logRatio = logRatio(a, b);
    else
        f.oneNotPositive = (a <= 0.0) != (b <= 0.0);
    return f;
}

// |a - b| of the densities a = exp(la) and b = exp(lb), for logarithms
// that are not NaN nor +inf: exp(hi) (1 - exp(lo - hi)), with hi the larger
// logarithm and lo the smaller, which neither a nor b need exist as a double
// for.  Where exp(hi) is a normal double the product of exp(hi) and
// -expm1(lo - hi), each within a unit of its last bit, is within two units.
// Elsewhere exp(hi) is split into 2^k exp(r), with k = round(hi / ln 2) and
// r = hi - k ln 2 in [-0.35, 0.35]: ln 2 is taken in two parts, the first
// (kLn2Hi) with its low 11 bits clear, so that k kLn2Hi is exact for every
// |k| < 2^11.  hi is first clamped to [-1000, 1000], so |k| <= 1443: past
// 1000, |a - b| >= e^1000 (1 - e^-(2^-43)) overflows, and below -1000 it is
// below the least subnormal, and the clamped hi gives the same infinity
// or 0.  r is then within a unit of its last bit of the true one, exp(r)
// (1 - exp(lo - hi)) within about three units, and the scaling by 2^k is
// exact unless the result is subnormal, where it rounds once more, or
// beyond the doubles, where it is infinite.
constexpr double kLn2Hi = 0x1.62e42fefa3800p-1;
constexpr double kLn2Lo = 0x1.ef35793c7673p-45;

[[gnu::always_inline]] inline double logDensityDistance(double la, double lb)
{
    const double hi = std::max(la, lb);
    const double lo = std::min(la, lb);
    if (lo == hi)
        return 0.0;
    const double gap = -std::expm1(lo - hi);
    const double scale = std::exp(hi);
    if (scale >= DBL_MIN && scale <= DBL_MAX)
        return scale * gap;
    const double k = std::nearbyint(std::clamp(hi, -1000.0, 1000.0) * (1.0 / kLn2Hi));
    const double r = (hi - k * kLn2Hi) - k * kLn2Lo;
    return std::ldexp(std::exp(r) * gap, static_cast<int>(k));
}

// ln |a - b| of the same densities, -inf where they are equal.
[[gnu::always_inline]] inline double logOfDensityDistance(double la, double lb)
{
    const double hi = std::max(la, lb);
    const double lo = std::min(la, lb);
    return lo == hi ? -INFINITY : hi + std::log(-std::expm1(lo - hi));
}

// ln(exp(x) + exp(y)) without leaving the logarithms, for x and y not NaN.
[[gnu::always_inline]] inline double logSumOfExps(double x, double y)
{
    const double hi = std::max(x, y);
    if (hi == -INFINITY)
        return -INFINITY;
    return hi + std::log1p(std::exp(std::min(x, y) - hi));
}

// With --log, a and b are ln of the densities: the relative error
// |b/a - 1| is |expm1(ln b - ln a)| and the ratio error |ln b - ln a|,
// taken from the logarithms themselves, so that densities of 1e-580 are as
// exact as any; the absolute error is logDensityDistance, which holds
// wherever |a - b| is a double, however far a or b lie beyond them.  A
// density of 0 is ln 0, minus infinity.
[[gnu::always_inline]] inline PairFigures logFigures(double la, double lb, const Tolerances& t)
{
    PairFigures f{};
    f.finite = !std::isnan(la) && !std::isnan(lb) && la != INFINITY && lb != INFINITY;
    if (!f.finite)
        return f;
    const double a = std::exp(la);
    f.absError = logDensityDistance(la, lb);
    f.signedError = lb >= la ? f.absError : -f.absError;
    // The absolute error has fewer digits where it falls below the normal
    // doubles (or to 0) from two densities that differ.
    f.absUnderflow = f.absError < DBL_MIN && la != lb;
    f.magnitude = a;
    // Beyond the normal doubles the decade comes from the logarithm, which
    // may put a density within a rounding of a power of ten in the decade
    // beside its own; the clamp keeps a logarithm of any size an int.
    const double decade = std::floor(std::clamp(la / std::log(10.0), -1e6, 1e6));
    f.row = la == -INFINITY                 ? kNoRow
            : a >= DBL_MIN && a <= DBL_MAX ? rowOf(decadeOfPositive(a))
                                            : rowOf(static_cast<int>(decade));
    f.belowMinTruth = la < t.logMinTruth;
    f.excluded = f.belowMinTruth;
    if (f.excluded)
        return f;
    // Where a is 0 the relative error takes the floor, as it does of
    // densities; where b alone is 0, expm1(-inf) gives |b/a - 1| = 1.
    if (la == -INFINITY) {
        f.relError = f.absError / t.floor;
        f.signedRel = f.signedError / t.floor;
        f.hasRelative = t.floor > 0.0;
        f.within = f.absError <= t.atol;
        f.needed = neededRtol(f.absError, 0.0, t.atol);
        f.oneNotPositive = la != lb;
        return f;
    }
    const double difference = lb - la;
    const double ratioLess1 = std::expm1(difference);
    const double relative = std::fabs(ratioLess1);
    f.hasRelative = true;
    f.relError = a >= t.floor ? relative : f.absError / t.floor;
    f.signedRel = a >= t.floor ? ratioLess1 : f.signedError / t.floor;
    // |a - b| <= atol + rtol a, divided by a: where atol / a and the
    // relative error are doubles, as they are but for densities far beyond
    // the doubles' range, directly; elsewhere in logarithms, ln |a - b|
    // against ln(atol + rtol a), which cannot overflow.
    const double atolOverA = t.atol > 0.0 ? t.atol * std::exp(-la) : 0.0;
    if (std::isfinite(atolOverA) && std::isfinite(relative)) {
        f.within = relative <= t.rtol + atolOverA;
        f.needed = relative <= atolOverA ? 0.0 : relative - atolOverA;
    } else {
        const double logAtol = std::log(t.atol);
        const double logDistance = logOfDensityDistance(la, lb);
        f.within = logDistance <= logSumOfExps(logAtol, std::log(t.rtol) + la);
        // (|a - b| - atol) / a, as |a - b| / a times 1 - atol / |a - b|.
        f.needed = logDistance <= logAtol ? 0.0
                                          : std::exp(logDistance - la + std::log(-std::expm1(logAtol - logDistance)));
    }
    f.bothPositive = lb != -INFINITY;
    f.oneNotPositive = !f.bothPositive;
    if (f.bothPositive)
        f.logRatio = std::fabs(difference);
    return f;
}

// Whether a pair is within the tolerances, as the measures judge it: over
// the pairs the tolerance figures take (both finite, not excluded, a not
// below the least truth), by the expression of the pair's own figures.
[[gnu::always_inline]] inline bool pairIsWithin(double a, double b, bool excluded, bool logs, const Tolerances& t)
{
    if (logs) {
        const PairFigures f = logFigures(a, b, t);
        return f.finite && !f.excluded && f.within;
    }
    return std::isfinite(a) && std::isfinite(b) && !excluded && !(a < t.minTruth) &&
           isWithin(std::fabs(a - b), std::fabs(a), t);
}

// A pair's relative error as the measures take it, or NaN where they take
// none (a value not finite, a below the least truth, the pair excluded, or
// no denominator): what a paired comparison compares point by point.
[[gnu::always_inline]] inline double pairRelative(double a, double b, bool excluded, bool logs, const Tolerances& t)
{
    if (logs) {
        const PairFigures f = logFigures(a, b, t);
        return f.finite && !f.excluded && f.hasRelative ? f.relError : NAN;
    }
    return isMeasurable(a, b, t) && !excluded ? relativeError(std::fabs(a - b), std::fabs(a), t) : NAN;
}

}  // namespace calcgap::report
