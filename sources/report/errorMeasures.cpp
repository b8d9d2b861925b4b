// The accurate measures of the report: absolute, relative, tolerance, ratio
// and scale-free, in double precision with accurate sums, over the pairs
// whose two values are finite.
#include "errorMeasures.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <string>

const char* const kDecadeLabels[kDecadeBins] = {
    "0",           "(0, 1e-8)",    "[1e-8, 1e-7)", "[1e-7, 1e-6)", "[1e-6, 1e-5)", "[1e-5, 1e-4)",
    "[1e-4, 1e-3)", "[1e-3, 0.01)", "[0.01, 0.1)",  "[0.1, 1)",     "[1, inf)"};

namespace {

// Relative errors by decade: the binary exponent of a positive double gives
// its decade or the one below, and one comparison with a power of ten
// settles which.
struct DecadeTable {
    // floor(log10(2^e)) for the binary exponents e of the doubles, from -1074.
    std::int16_t decadeOf[2048 + 52];
    // 10^d for d from -324 to 308, the double nearest; 0 and infinity
    // beyond, so that the comparison settles nothing there.
    double powerOf[634];
};

constexpr int kLowestExponent = -1074;
constexpr int kLowestDecade = -324;

DecadeTable makeDecadeTable()
{
    DecadeTable table{};
    for (int e = kLowestExponent; e < 1024; ++e)
        table.decadeOf[e - kLowestExponent] =
            static_cast<std::int16_t>(std::floor(static_cast<double>(e) * 0.30102999566398120));
    for (int d = kLowestDecade; d < kLowestDecade + 634; ++d)
        table.powerOf[d - kLowestDecade] = std::strtod(("1e" + std::to_string(d)).c_str(), nullptr);
    return table;
}

const DecadeTable kDecades = makeDecadeTable();

}  // namespace

int decadeOf(double x)
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
    return decade + (x >= kDecades.powerOf[decade + 1 - kLowestDecade] ? 1 : 0);
}

namespace {

int decadeBin(double relative)
{
    if (relative == 0.0)
        return 0;
    // (0, 1e-8) is bin 1, [1e-8, 1e-7) bin 2, ..., [1, inf) bin 10.
    return std::clamp(decadeOf(relative) + kDecadeBins - 1, 1, kDecadeBins - 1);
}

// |ln(b / a)| for positive a and b to a few units of its last bit.  Near 1
// it is 2 atanh(s) with s = (b - a) / (b + a): b - a is exact there (the
// two lie within a factor of 2 of each other), b + a and the quotient are
// rounded once each, so s is within two units of its last bit, and the
// series 2 s (1 + s^2/3 + s^4/5 + ...) is summed as far as its terms
// matter: for |s| <= 2^-10 the terms after s^4/5 are below 2^-60 of the
// first, for |s| <= 2^-6 those after s^8/9, and for |s| <= 0.1 those after
// s^18/19.  Elsewhere the rounding of b / a costs at most a unit of the
// logarithm, which is then above 0.2.
double logRatio(double a, double b)
{
    const double s = (b - a) / (b + a);
    const double magnitude = std::fabs(s);
    const double t = s * s;
    double series;
    if (magnitude <= 0x1p-10) {
        series = (1.0 / 5 * t + 1.0 / 3) * t + 1.0;
    } else if (magnitude <= 0x1p-6) {
        series = (((1.0 / 9 * t + 1.0 / 7) * t + 1.0 / 5) * t + 1.0 / 3) * t + 1.0;
    } else if (magnitude <= 0.1) {
        series = 1.0 / 19;
        for (int k = 17; k >= 1; k -= 2)
            series = series * t + 1.0 / k;
    } else {
        return std::fabs(std::log(b / a));
    }
    return 2.0 * magnitude * series;
}

// What one pair gives to the measures, whichever form its values take.
struct PairFigures {
    bool finite;
    double absError;
    // |a|, for the scale-free norms.
    double magnitude;
    // Left out of the relative, ratio and tolerance figures.
    bool excluded;
    // The relative error where the denominator is not 0.
    bool hasRelative;
    double relError;
    bool within;
    // |ln(b / a)| where both are positive.
    bool bothPositive;
    double logRatio;
    bool oneNotPositive;
    bool absUnderflow;
};

struct Tolerances {
    double floor;
    double rtol;
    double atol;
};

[[gnu::always_inline]] inline PairFigures densityFigures(double a, double b, bool excluded, const Tolerances& t)
{
    PairFigures f{};
    f.finite = std::isfinite(a) && std::isfinite(b);
    if (!f.finite)
        return f;
    f.absError = std::fabs(a - b);
    f.magnitude = std::fabs(a);
    f.excluded = excluded;
    if (excluded)
        return f;
    const double denominator = std::max(f.magnitude, t.floor);
    f.hasRelative = denominator > 0.0;
    f.relError = f.absError / denominator;
    f.within = f.absError <= t.atol + t.rtol * f.magnitude;
    f.bothPositive = a > 0.0 && b > 0.0;
    if (f.bothPositive)
        f.logRatio = logRatio(a, b);
    else
        f.oneNotPositive = (a <= 0.0) != (b <= 0.0);
    return f;
}

// With --log, a and b are ln of the densities: the relative error
// |b/a - 1| is |expm1(ln b - ln a)| and the ratio error |ln b - ln a|,
// taken from the logarithms themselves, so that densities of 1e-580 are as
// exact as any; the absolute error a |expm1(ln b - ln a)| needs exp(ln a),
// which loses digits below the normal doubles.  A density of 0 is ln 0,
// minus infinity.
[[gnu::always_inline]] inline PairFigures logFigures(double la, double lb, const Tolerances& t)
{
    PairFigures f{};
    f.finite = !std::isnan(la) && !std::isnan(lb) && la != INFINITY && lb != INFINITY;
    if (!f.finite)
        return f;
    const double a = std::exp(la);
    const double b = std::exp(lb);
    f.absUnderflow = (a < DBL_MIN && la != -INFINITY) || (b < DBL_MIN && lb != -INFINITY);
    f.magnitude = a;
    if (la == -INFINITY || lb == -INFINITY) {
        f.absError = std::fabs(a - b);
        f.relError = f.absError / t.floor;
        f.hasRelative = t.floor > 0.0;
        f.within = f.absError <= t.atol + t.rtol * a;
        f.oneNotPositive = la != lb;
        return f;
    }
    const double difference = lb - la;
    const double relative = std::fabs(std::expm1(difference));
    f.absError = a * relative;
    f.hasRelative = true;
    f.relError = a >= t.floor ? relative : f.absError / t.floor;
    f.within = relative <= t.rtol + (t.atol > 0.0 ? t.atol * std::exp(-la) : 0.0);
    f.bothPositive = true;
    f.logRatio = std::fabs(difference);
    return f;
}

// What a block of pairs adds, held apart from the measures so that nothing
// else in them can be written through the same names.
struct BlockTotals {
    double absSum = 0.0;
    SquareSum squares;
    double relSum = 0.0;
    double logSum = 0.0;
    SquareSum allptsSquares;
    std::int64_t measured = 0;
    std::int64_t leftOut = 0;
    std::int64_t relCount = 0;
    std::int64_t zeroOverZero = 0;
    std::int64_t infinite = 0;
    std::int64_t excluded = 0;
    std::int64_t within = 0;
    std::int64_t ratioPairs = 0;
    std::int64_t oneNotPositive = 0;
    std::int64_t absUnderflows = 0;
    std::array<std::int64_t, kDecadeBins> decades{};
};

// What one pair adds, count times over (count copies of the same pair,
// point indices first upwards).
[[gnu::always_inline]] inline void takePair(ErrorMeasures& m, BlockTotals& totals, const PairFigures& f, double a,
                                            double b, std::int64_t first, std::int64_t count)
{
    if (!f.finite) {
        totals.leftOut += count;
        return;
    }
    const auto times = static_cast<double>(count);
    const double absError = f.absError;
    totals.measured += count;
    totals.absSum += absError * times;
    addSquare(totals.squares, absError, times);
    if (absError > m.absMax) {
        m.absMax = absError;
        m.absMaxIndex = first;
    }
    addToSummary(m.absSummary, absError, static_cast<std::uint32_t>(count));
    addSquare(totals.allptsSquares, f.magnitude, times);
    m.allptsMax = std::max(m.allptsMax, f.magnitude);
    totals.absUnderflows += f.absUnderflow ? count : 0;
    if (f.excluded) {
        totals.excluded += count;
    } else {
        totals.within += f.within ? count : 0;
        if (f.hasRelative) {
            totals.relCount += count;
            totals.relSum += f.relError * times;
            if (f.relError > m.relMax) {
                m.relMax = f.relError;
                m.relMaxIndex = first;
            }
            addToSummary(m.relSummary, f.relError, static_cast<std::uint32_t>(count));
            totals.decades[static_cast<std::size_t>(decadeBin(f.relError))] += count;
        } else if (absError == 0.0) {
            totals.zeroOverZero += count;
        } else {
            totals.infinite += count;
        }
        if (f.bothPositive) {
            totals.ratioPairs += count;
            totals.logSum += f.logRatio * times;
            if (f.logRatio > m.logRatioMax) {
                m.logRatioMax = f.logRatio;
                m.ratioMaxPair[0] = a;
                m.ratioMaxPair[1] = b;
                m.ratioMaxIndex = first;
            }
        }
        totals.oneNotPositive += f.oneNotPositive ? count : 0;
    }

    // A point enters a list only ahead of a kept one, so of a run of copies
    // at most the first K can.
    const bool relative = !f.excluded && f.hasRelative;
    if (wouldEnter(m.worstAbs, absError)) {
        WorstPoint point{first, a, b, absError, relative ? f.relError : NAN};
        for (std::int64_t i = 0; i < count && wouldEnter(m.worstAbs, absError); ++i, ++point.index)
            offerPointSlow(m.worstAbs, point);
    }
    if (relative && wouldEnter(m.worstRel, f.relError)) {
        WorstPoint point{first, a, b, absError, f.relError};
        for (std::int64_t i = 0; i < count && wouldEnter(m.worstRel, f.relError); ++i, ++point.index)
            offerPointSlow(m.worstRel, point);
    }
}

void endBlock(ErrorMeasures& m, const BlockTotals& totals)
{
    m.absSum.block += totals.absSum;
    m.squareSum.normal.block += totals.squares.normal.block;
    m.squareSum.scaled.block += totals.squares.scaled.block;
    m.relSum.block += totals.relSum;
    m.logRatioSum.block += totals.logSum;
    m.allptsSquareSum.normal.block += totals.allptsSquares.normal.block;
    m.allptsSquareSum.scaled.block += totals.allptsSquares.scaled.block;
    addBlock(m.absSum);
    addSquareBlock(m.squareSum);
    addBlock(m.relSum);
    addBlock(m.logRatioSum);
    addSquareBlock(m.allptsSquareSum);
    m.measured += totals.measured;
    m.leftOut += totals.leftOut;
    m.relCount += totals.relCount;
    m.relZeroOverZero += totals.zeroOverZero;
    m.relInfinite += totals.infinite;
    m.bothUnderflowed += totals.excluded;
    m.within += totals.within;
    m.ratioPairs += totals.ratioPairs;
    m.oneNotPositive += totals.oneNotPositive;
    m.absUnderflows += totals.absUnderflows;
    for (int bin = 0; bin < kDecadeBins; ++bin)
        m.decades[static_cast<std::size_t>(bin)] += totals.decades[static_cast<std::size_t>(bin)];
}

Tolerances tolerancesOf(const ErrorMeasures& m)
{
    return {m.floor, m.rtol, m.atol};
}

}  // namespace

void startErrorMeasures(ErrorMeasures& measures, const ReportOptions& options, std::int32_t worst)
{
    measures = ErrorMeasures{};
    measures.floor = options.floor;
    measures.rtol = options.rtol;
    measures.atol = options.atol;
    measures.logs = options.logs;
    startQuantileSummary(measures.absSummary, "cannot keep the summary of absolute errors");
    startQuantileSummary(measures.relSummary, "cannot keep the summary of relative errors");
    startWorstList(measures.worstAbs, worst, false);
    startWorstList(measures.worstRel, worst, true);
}

void releaseErrorMeasures(ErrorMeasures& measures)
{
    releaseQuantileSummary(measures.absSummary);
    releaseQuantileSummary(measures.relSummary);
}

void takeMeasuredPairs(ErrorMeasures& measures, const MeasuredBlock& block)
{
    const Tolerances tolerances = tolerancesOf(measures);
    BlockTotals totals;
    const std::int64_t first = block.first;
    if (measures.logs) {
        for (std::int32_t j = 0; j < block.count; ++j)
            takePair(measures, totals, logFigures(block.as[j], block.bs[j], tolerances), block.as[j], block.bs[j],
                     first + j, 1);
    } else {
        for (std::int32_t j = 0; j < block.count; ++j) {
            const bool excluded = block.excluded != nullptr && block.excluded[j];
            takePair(measures, totals, densityFigures(block.as[j], block.bs[j], excluded, tolerances), block.as[j],
                     block.bs[j], first + j, 1);
        }
    }
    endBlock(measures, totals);
    if (block.singleAs != nullptr)
        takeClassicPairs(measures.classic, block.singleAs, block.singleBs, block.count);
}

void takeRepeatedPair(ErrorMeasures& measures, double a, double b, float singleA, float singleB, bool excluded,
                      std::int64_t first, std::int64_t count)
{
    const Tolerances tolerances = tolerancesOf(measures);
    const PairFigures figures = measures.logs ? logFigures(a, b, tolerances) : densityFigures(a, b, excluded, tolerances);
    // The bucket counts are 32-bit: a run longer than any count n can be
    // goes in in parts.
    for (std::int64_t done = 0; done < count;) {
        const std::int64_t part = std::min<std::int64_t>(count - done, INT32_MAX);
        BlockTotals totals;
        takePair(measures, totals, figures, a, b, first + done, part);
        endBlock(measures, totals);
        done += part;
    }
    if (!measures.logs)
        takeClassicRepeated(measures.classic, singleA, singleB, count);
}
