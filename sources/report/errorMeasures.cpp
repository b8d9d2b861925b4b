// The accurate measures of the report: absolute, relative, tolerance, ratio
// and scale-free, in double precision with accurate sums, over the pairs
// whose two values are finite.
#include "errorMeasures.h"

#include "fail.h"
#include "valueSource.h"

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

// The arithmetic of a block of density pairs, lane by lane, in one loop of
// plain operations that the compiler turns into vector instructions, two
// or four pairs at a time: every pair's figures as though it were the
// common pair (both values positive and finite, within the ratio series'
// reach, with a relative error), and whether it is.  The rest are worked
// out one by one.  Each figure is the same expression densityFigures
// evaluates, so either way gives the same bits.
struct BlockLanes {
    double absError[kPairBlock];
    double magnitude[kPairBlock];
    double relError[kPairBlock];
    double logRatio[kPairBlock];
    double within[kPairBlock];
    double common[kPairBlock];
};

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
    return decade + (x >= kDecades.powerOf[decade + 1 - kLowestDecade] ? 1 : 0);
}

}  // namespace

int decadeOf(double x)
{
    return decadeOfPositive(x);
}

namespace {

[[gnu::always_inline]] inline int decadeBin(double relative)
{
    if (relative == 0.0)
        return 0;
    // (0, 1e-8) is bin 1, [1e-8, 1e-7) bin 2, ..., [1, inf) bin 10.
    return std::clamp(decadeOfPositive(relative) + kDecadeBins - 1, 1, kDecadeBins - 1);
}

// |ln(b / a)| for positive a and b to a few units of its last bit.  Near 1
// it is 2 atanh(s) with s = (b - a) / (b + a): b - a is exact there (the
// two lie within a factor of 2 of each other), b + a and the quotient are
// rounded once each, so s is within two units of its last bit.  The series
// 2 s (1 + s^2/3 + s^4/5 + ... + s^18/19) is evaluated in Estrin's order,
// in four levels rather than nine steps one after another: its terms are
// all positive, so any order sums them to within a unit or two, and for
// |s| <= 0.1 those left out are below 10^-20 of the first.  Elsewhere the
// rounding of b / a costs at most a unit of the logarithm, which is then
// above 0.2.
[[gnu::always_inline]] inline double logRatio(double a, double b)
{
    const double s = (b - a) / (b + a);
    const double magnitude = std::fabs(s);
    if (magnitude > 0.1)
        return std::fabs(std::log(b / a));
    const double t = s * s;
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
    // The quantile buckets, and the extremes, which start as the measures'.
    std::uint32_t* absCounts = nullptr;
    std::uint32_t* relCounts = nullptr;
    double absSmallest = INFINITY;
    double relSmallest = INFINITY;
    double absMax = -1.0;
    std::int64_t absMaxIndex = -1;
    double relMax = -1.0;
    std::int64_t relMaxIndex = -1;
    double logRatioMax = -1.0;
    double ratioMaxPair[2] = {1.0, 1.0};
    std::int64_t ratioMaxIndex = -1;
    double allptsMax = 0.0;
};

BlockTotals startTotals(const ErrorMeasures& m)
{
    BlockTotals totals;
    totals.absCounts = m.absSummary.counts;
    totals.relCounts = m.relSummary.counts;
    totals.absMax = m.absMax;
    totals.absMaxIndex = m.absMaxIndex;
    totals.relMax = m.relMax;
    totals.relMaxIndex = m.relMaxIndex;
    totals.logRatioMax = m.logRatioMax;
    totals.ratioMaxPair[0] = m.ratioMaxPair[0];
    totals.ratioMaxPair[1] = m.ratioMaxPair[1];
    totals.ratioMaxIndex = m.ratioMaxIndex;
    totals.allptsMax = m.allptsMax;
    return totals;
}

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
    if (absError > totals.absMax) {
        totals.absMax = absError;
        totals.absMaxIndex = first;
    }
    totals.absCounts[quantileBucket(absError)] += static_cast<std::uint32_t>(count);
    totals.absSmallest = std::min(totals.absSmallest, absError);
    addSquare(totals.allptsSquares, f.magnitude, times);
    totals.allptsMax = std::max(totals.allptsMax, f.magnitude);
    totals.absUnderflows += f.absUnderflow ? count : 0;
    if (f.excluded) {
        totals.excluded += count;
    } else {
        totals.within += f.within ? count : 0;
        if (f.hasRelative) {
            totals.relCount += count;
            totals.relSum += f.relError * times;
            if (f.relError > totals.relMax) {
                totals.relMax = f.relError;
                totals.relMaxIndex = first;
            }
            totals.relCounts[quantileBucket(f.relError)] += static_cast<std::uint32_t>(count);
            totals.relSmallest = std::min(totals.relSmallest, f.relError);
            totals.decades[static_cast<std::size_t>(decadeBin(f.relError))] += count;
        } else if (absError == 0.0) {
            totals.zeroOverZero += count;
        } else {
            totals.infinite += count;
        }
        if (f.bothPositive) {
            totals.ratioPairs += count;
            totals.logSum += f.logRatio * times;
            if (f.logRatio > totals.logRatioMax) {
                totals.logRatioMax = f.logRatio;
                totals.ratioMaxPair[0] = a;
                totals.ratioMaxPair[1] = b;
                totals.ratioMaxIndex = first;
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
    m.absMax = totals.absMax;
    m.absMaxIndex = totals.absMaxIndex;
    m.relMax = totals.relMax;
    m.relMaxIndex = totals.relMaxIndex;
    m.logRatioMax = totals.logRatioMax;
    m.ratioMaxPair[0] = totals.ratioMaxPair[0];
    m.ratioMaxPair[1] = totals.ratioMaxPair[1];
    m.ratioMaxIndex = totals.ratioMaxIndex;
    m.allptsMax = totals.allptsMax;
    noteSummarized(m.absSummary, static_cast<std::uint64_t>(totals.measured), totals.absSmallest, totals.absMax);
    noteSummarized(m.relSummary, static_cast<std::uint64_t>(totals.relCount), totals.relSmallest, totals.relMax);
}

Tolerances tolerancesOf(const ErrorMeasures& m)
{
    return {m.floor, m.rtol, m.atol};
}

void computeLanes(BlockLanes& lanes, const double* as, const double* bs, std::int32_t count, const Tolerances& t)
{
    for (std::int32_t j = 0; j < count; ++j) {
        const double a = as[j];
        const double b = bs[j];
        const double absError = std::fabs(a - b);
        const double magnitude = std::fabs(a);
        const double denominator = std::max(magnitude, t.floor);
        const double s = (b - a) / (b + a);
        const double sMagnitude = std::fabs(s);
        const double u = s * s;
        const double u2 = u * u;
        const double u4 = u2 * u2;
        const double u8 = u4 * u4;
        const double p01 = 1.0 + u * (1.0 / 3);
        const double p23 = 1.0 / 5 + u * (1.0 / 7);
        const double p45 = 1.0 / 9 + u * (1.0 / 11);
        const double p67 = 1.0 / 13 + u * (1.0 / 15);
        const double p89 = 1.0 / 17 + u * (1.0 / 19);
        lanes.absError[j] = absError;
        lanes.magnitude[j] = magnitude;
        lanes.relError[j] = absError / denominator;
        lanes.logRatio[j] = 2.0 * sMagnitude * (((p01 + u2 * p23) + u4 * (p45 + u2 * p67)) + u8 * p89);
        lanes.within[j] = absError <= t.atol + t.rtol * magnitude ? 1.0 : 0.0;
        // Positive and finite both, and within the series' reach, which also
        // makes the denominator positive.
        lanes.common[j] = a > 0.0 && b > 0.0 && a <= DBL_MAX && b <= DBL_MAX && sMagnitude <= 0.1 ? 1.0 : 0.0;
    }
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
    describeAllocation("cannot allocate the measures' block");
    measures.lanes = new BlockLanes;
    describeAllocation(nullptr);
}

void releaseErrorMeasures(ErrorMeasures& measures)
{
    delete measures.lanes;
    measures.lanes = nullptr;
    releaseQuantileSummary(measures.absSummary);
    releaseQuantileSummary(measures.relSummary);
}

void takeMeasuredPairs(ErrorMeasures& measures, const MeasuredBlock& block)
{
    const Tolerances tolerances = tolerancesOf(measures);
    BlockTotals totals = startTotals(measures);
    const std::int64_t first = block.first;
    if (measures.logs) {
        for (std::int32_t j = 0; j < block.count; ++j)
            takePair(measures, totals, logFigures(block.as[j], block.bs[j], tolerances), block.as[j], block.bs[j],
                     first + j, 1);
    } else {
        BlockLanes& lanes = *measures.lanes;
        computeLanes(lanes, block.as, block.bs, block.count, tolerances);
        for (std::int32_t j = 0; j < block.count; ++j) {
            const bool excluded = block.excluded != nullptr && block.excluded[j];
            if (lanes.common[j] != 0.0 && !excluded) {
                const PairFigures figures{true,  lanes.absError[j], lanes.magnitude[j], false, true, lanes.relError[j],
                                          lanes.within[j] != 0.0, true, lanes.logRatio[j], false, false};
                takePair(measures, totals, figures, block.as[j], block.bs[j], first + j, 1);
            } else {
                takePair(measures, totals, densityFigures(block.as[j], block.bs[j], excluded, tolerances),
                         block.as[j], block.bs[j], first + j, 1);
            }
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
        BlockTotals totals = startTotals(measures);
        takePair(measures, totals, figures, a, b, first + done, part);
        endBlock(measures, totals);
        done += part;
    }
    if (!measures.logs)
        takeClassicRepeated(measures.classic, singleA, singleB, count);
}
