// The accurate measures of the report: absolute, relative, signed,
// tolerance, ratio and scale-free, in double precision with accurate sums,
// over the pairs whose two values are finite; their spread; and the same by
// decade of a.
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
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

const char* const kDecadeLabels[kDecadeBins] = {
    "0",           "(0, 1e-8)",    "[1e-8, 1e-7)", "[1e-7, 1e-6)", "[1e-6, 1e-5)", "[1e-5, 1e-4)",
    "[1e-4, 1e-3)", "[1e-3, 0.01)", "[0.01, 0.1)",  "[0.1, 1)",     "[1, inf)"};


// The arithmetic of a block of density pairs, lane by lane, in one loop of
// plain operations that the compiler turns into vector instructions, two
// or four pairs at a time: every pair's figures as though it were the
// common pair (both values positive and finite, within the ratio series'
// reach, with a relative error, above the least truth), and whether it is.
// The rest are worked out one by one.  Each figure is the same expression
// densityFigures evaluates, so either way gives the same bits.
// Bits of a sort key that hold a pair's place in its block.
constexpr int kPlaceBits = 9;

struct BlockLanes {
    double absError[kPairBlock];
    double magnitude[kPairBlock];
    double relError[kPairBlock];
    double logRatio[kPairBlock];
    double needed[kPairBlock];
    double within[kPairBlock];
    double common[kPairBlock];
    double signedError[kPairBlock];
    double signedRel[kPairBlock];
    // The table row of each pair of the block, and the block's pairs
    // gathered row by row for the measures by decade.
    std::int32_t row[kPairBlock];
    // The block's pairs as keys sorted by row.
    std::int32_t blockRows[kPairBlock];
    double gatheredAs[kPairBlock];
    double gatheredBs[kPairBlock];
    bool gatheredExcluded[kPairBlock];
    std::int64_t gatheredIndices[kPairBlock];
};

namespace {

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

DecadeTable makeDecadeTable()
{
    DecadeTable table{};
    for (int e = kLowestExponent; e < 1024; ++e)
        table.decadeOf[e - kLowestExponent] =
            static_cast<std::int16_t>(std::floor(static_cast<double>(e) * 0.30102999566398120));
    for (int d = kLowestDoubleDecade; d <= kLowestDoubleDecade + kDoubleDecades; ++d)
        table.powerOf[d - kLowestDoubleDecade] = std::strtod(("1e" + std::to_string(d)).c_str(), nullptr);
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
    return decade + (x >= kDecades.powerOf[decade + 1 - kLowestDoubleDecade] ? 1 : 0);
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
// 2 s (1 + s^2/3 + s^4/5 + ... + s^18/19) is evaluated as a tree of pairs
// of terms, from the powers s^2, s^4 and s^8, in four levels rather than
// nine steps one after another: its terms are
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
std::int32_t rowOf(int decade)
{
    return std::clamp(decade, kLowestDecade, kHighestDecade) - kLowestDecade;
}

constexpr std::int32_t kNoRow = kNoDecade - kLowestDecade;

// The least rtol with which |a - b| <= atol + rtol |a|.
[[gnu::always_inline]] inline double neededRtol(double absError, double magnitude, double atol)
{
    if (absError <= atol)
        return 0.0;
    return magnitude > 0.0 ? (absError - atol) / magnitude : INFINITY;
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
    const double denominator = std::max(f.magnitude, t.floor);
    f.hasRelative = denominator > 0.0;
    f.relError = f.absError / denominator;
    f.signedRel = f.signedError / denominator;
    f.within = f.absError <= t.atol + t.rtol * f.magnitude;
    f.needed = neededRtol(f.absError, f.magnitude, t.atol);
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
    // Beyond the normal doubles the decade comes from the logarithm, which
    // may put a density within a rounding of a power of ten in the decade
    // beside its own; the clamp keeps a logarithm of any size an int.
    const double decade = std::floor(std::clamp(la / std::log(10.0), -1e6, 1e6));
    f.row = la == -INFINITY                 ? kNoRow
            : a >= DBL_MIN && a <= DBL_MAX ? rowOf(decadeOfPositive(a))
                                            : rowOf(static_cast<int>(decade));
    f.belowMinTruth = la < t.logMinTruth;
    f.excluded = f.belowMinTruth;
    if (la == -INFINITY || lb == -INFINITY) {
        f.absError = std::fabs(a - b);
        f.signedError = b - a;
        if (f.excluded)
            return f;
        f.relError = f.absError / t.floor;
        f.signedRel = f.signedError / t.floor;
        f.hasRelative = t.floor > 0.0;
        f.within = f.absError <= t.atol + t.rtol * a;
        f.needed = neededRtol(f.absError, a, t.atol);
        f.oneNotPositive = la != lb;
        return f;
    }
    const double difference = lb - la;
    const double ratioLess1 = std::expm1(difference);
    const double relative = std::fabs(ratioLess1);
    f.absError = a * relative;
    f.signedError = a * ratioLess1;
    if (f.excluded)
        return f;
    f.hasRelative = true;
    f.relError = a >= t.floor ? relative : f.absError / t.floor;
    f.signedRel = a >= t.floor ? ratioLess1 : f.signedError / t.floor;
    const double atolOverA = t.atol > 0.0 ? t.atol * std::exp(-la) : 0.0;
    f.within = relative <= t.rtol + atolOverA;
    f.needed = relative <= atolOverA ? 0.0 : relative - atolOverA;
    f.bothPositive = true;
    f.logRatio = std::fabs(difference);
    return f;
}

// A spread's squared offsets within a block, from the spread's shift.
struct BlockSpread {
    bool started = false;
    double shift = 0.0;
    double squares = 0.0;
};

BlockSpread startSpread(const Spread& spread)
{
    return {spread.started, spread.shift, 0.0};
}

[[gnu::always_inline]] inline void addToSpread(BlockSpread& spread, double term, double times)
{
    if (!spread.started) {
        spread.started = true;
        spread.shift = term;
    }
    const double offset = term - spread.shift;
    spread.squares += offset * offset * times;
}

void endSpread(Spread& spread, const BlockSpread& block)
{
    spread.started = block.started;
    spread.shift = block.shift;
    spread.squares.block += block.squares;
    addBlock(spread.squares);
}

// What a block of pairs adds, held apart from the measures so that nothing
// else in them can be written through the same names.
struct BlockTotals {
    double absSum = 0.0;
    SquareSum squares;
    double relSum = 0.0;
    double logSum = 0.0;
    double signedSum = 0.0;
    double signedRelSum = 0.0;
    SquareSum allptsSquares;
    BlockSpread absSpread;
    BlockSpread relSpread;
    BlockSpread signedSpread;
    BlockSpread signedRelSpread;
    std::int64_t measured = 0;
    std::int64_t leftOut = 0;
    std::int64_t relCount = 0;
    std::int64_t zeroOverZero = 0;
    std::int64_t infinite = 0;
    std::int64_t excluded = 0;
    std::int64_t belowMinTruth = 0;
    std::int64_t within = 0;
    std::int64_t ratioPairs = 0;
    std::int64_t oneNotPositive = 0;
    std::int64_t absUnderflows = 0;
    std::array<std::int64_t, kDecadeBins> decades{};
    // The quantile buckets, and the extremes, which start as the measures'.
    std::uint32_t* absCounts = nullptr;
    std::uint32_t* relCounts = nullptr;
    std::uint32_t* neededCounts = nullptr;
    int shift = 43;
    double absSmallest = INFINITY;
    double relSmallest = INFINITY;
    double neededSmallest = INFINITY;
    double neededLargest = 0.0;
    std::int64_t neededCount = 0;
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
    totals.neededCounts = m.neededSummary.counts;
    totals.shift = m.absSummary.shift;
    totals.absMax = m.absMax;
    totals.absMaxIndex = m.absMaxIndex;
    totals.relMax = m.relMax;
    totals.relMaxIndex = m.relMaxIndex;
    totals.logRatioMax = m.logRatioMax;
    totals.ratioMaxPair[0] = m.ratioMaxPair[0];
    totals.ratioMaxPair[1] = m.ratioMaxPair[1];
    totals.ratioMaxIndex = m.ratioMaxIndex;
    totals.allptsMax = m.allptsMax;
    totals.absSpread = startSpread(m.absSpread);
    totals.relSpread = startSpread(m.relSpread);
    totals.signedSpread = startSpread(m.signedSpread);
    totals.signedRelSpread = startSpread(m.signedRelSpread);
    return totals;
}

[[gnu::always_inline]] inline std::uint32_t bucketOf(double value, int shift)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return static_cast<std::uint32_t>(bits >> shift);
}

DensityDecade& densityRow(ErrorMeasures& m, std::int32_t row)
{
    DensityDecade*& decade = m.density[static_cast<std::size_t>(row)];
    if (decade == nullptr) {
        describeAllocation("cannot keep the table by decade of a");
        decade = new DensityDecade;
        describeAllocation(nullptr);
        startQuantileSummary(decade->relSummary, "cannot keep the table by decade of a", true);
    }
    return *decade;
}

// The pair in the text's table by decade of a.
[[gnu::always_inline]] inline void takeDensity(ErrorMeasures& m, const PairFigures& f, std::int64_t count)
{
    if (m.density.empty())
        return;
    DensityDecade& decade = densityRow(m, f.row);
    const auto times = static_cast<double>(count);
    // Block sums of at most kPairBlock terms, as every accurate sum keeps.
    if (++decade.termsInBlock == kPairBlock) {
        addBlock(decade.absSum);
        addBlock(decade.relSum);
        decade.termsInBlock = 0;
    }
    decade.pairs += count;
    decade.absSum.block += f.absError * times;
    if (f.excluded)
        return;
    decade.tolerancePairs += count;
    decade.within += f.within ? count : 0;
    if (!f.hasRelative)
        return;
    decade.relCount += count;
    decade.relSum.block += f.relError * times;
    decade.relMin = std::min(decade.relMin, f.relError);
    decade.relMax = std::max(decade.relMax, f.relError);
    decade.relSummary.counts[quantileBucket(decade.relSummary, f.relError)] += static_cast<std::uint32_t>(count);
}

// What one pair adds, count times over (count copies of the same pair,
// point indices first upwards), with the coordinates of its point where
// there are test points.
[[gnu::always_inline]] inline void takePair(ErrorMeasures& m, BlockTotals& totals, const PairFigures& f, double a,
                                            double b, std::int64_t first, std::int64_t count, const double* point)
{
    if (!f.finite) {
        totals.leftOut += count;
        return;
    }
    takeDensity(m, f, count);
    const auto times = static_cast<double>(count);
    const double absError = f.absError;
    totals.measured += count;
    totals.absSum += absError * times;
    addSquare(totals.squares, absError, times);
    addToSpread(totals.absSpread, absError, times);
    totals.signedSum += f.signedError * times;
    addToSpread(totals.signedSpread, f.signedError, times);
    if (absError > totals.absMax) {
        totals.absMax = absError;
        totals.absMaxIndex = first;
    }
    totals.absCounts[bucketOf(absError, totals.shift)] += static_cast<std::uint32_t>(count);
    totals.absSmallest = std::min(totals.absSmallest, absError);
    addSquare(totals.allptsSquares, f.magnitude, times);
    totals.allptsMax = std::max(totals.allptsMax, f.magnitude);
    totals.absUnderflows += f.absUnderflow ? count : 0;
    if (f.excluded) {
        totals.excluded += f.belowMinTruth ? 0 : count;
        totals.belowMinTruth += f.belowMinTruth ? count : 0;
    } else {
        totals.within += f.within ? count : 0;
        totals.neededCounts[bucketOf(f.needed, totals.shift)] += static_cast<std::uint32_t>(count);
        totals.neededSmallest = std::min(totals.neededSmallest, f.needed);
        totals.neededLargest = std::max(totals.neededLargest, f.needed);
        totals.neededCount += count;
        if (f.hasRelative) {
            totals.relCount += count;
            totals.relSum += f.relError * times;
            addToSpread(totals.relSpread, f.relError, times);
            totals.signedRelSum += f.signedRel * times;
            addToSpread(totals.signedRelSpread, f.signedRel, times);
            if (f.relError > totals.relMax) {
                totals.relMax = f.relError;
                totals.relMaxIndex = first;
            }
            totals.relCounts[bucketOf(f.relError, totals.shift)] += static_cast<std::uint32_t>(count);
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
        WorstPoint worst{first, a, b, absError, relative ? f.relError : NAN};
        for (std::int64_t i = 0; i < count && wouldEnter(m.worstAbs, absError); ++i, ++worst.index)
            offerPointSlow(m.worstAbs, worst, point);
    }
    if (relative && wouldEnter(m.worstRel, f.relError)) {
        WorstPoint worst{first, a, b, absError, f.relError};
        for (std::int64_t i = 0; i < count && wouldEnter(m.worstRel, f.relError); ++i, ++worst.index)
            offerPointSlow(m.worstRel, worst, point);
    }
}

void endBlock(ErrorMeasures& m, const BlockTotals& totals)
{
    m.absSum.block += totals.absSum;
    m.squareSum.normal.block += totals.squares.normal.block;
    m.squareSum.scaled.block += totals.squares.scaled.block;
    m.relSum.block += totals.relSum;
    m.logRatioSum.block += totals.logSum;
    m.signedSum.block += totals.signedSum;
    m.signedRelSum.block += totals.signedRelSum;
    m.allptsSquareSum.normal.block += totals.allptsSquares.normal.block;
    m.allptsSquareSum.scaled.block += totals.allptsSquares.scaled.block;
    addBlock(m.absSum);
    addSquareBlock(m.squareSum);
    addBlock(m.relSum);
    addBlock(m.logRatioSum);
    addBlock(m.signedSum);
    addBlock(m.signedRelSum);
    addSquareBlock(m.allptsSquareSum);
    endSpread(m.absSpread, totals.absSpread);
    endSpread(m.relSpread, totals.relSpread);
    endSpread(m.signedSpread, totals.signedSpread);
    endSpread(m.signedRelSpread, totals.signedRelSpread);
    m.measured += totals.measured;
    m.leftOut += totals.leftOut;
    m.relCount += totals.relCount;
    m.relZeroOverZero += totals.zeroOverZero;
    m.relInfinite += totals.infinite;
    m.bothUnderflowed += totals.excluded;
    m.belowMinTruth += totals.belowMinTruth;
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
    noteSummarized(m.neededSummary, static_cast<std::uint64_t>(totals.neededCount), totals.neededSmallest,
                   totals.neededLargest);
}

Tolerances tolerancesOf(const ErrorMeasures& m)
{
    return {m.floor, m.rtol, m.atol, m.minTruth, m.minTruth > 0.0 ? std::log(m.minTruth) : -INFINITY};
}

// Returns how many of the block's pairs are common pairs.  Without atol
// and floor the rtol a pair needs is its relative error, which spares the
// loop a division.
template <bool plainTolerance>
std::int32_t computeLanesOf(BlockLanes& lanes, const double* as, const double* bs, std::int32_t count,
                            const Tolerances& t)
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
        const double relError = absError / denominator;
        lanes.absError[j] = absError;
        lanes.magnitude[j] = magnitude;
        lanes.relError[j] = relError;
        lanes.logRatio[j] = 2.0 * sMagnitude * (((p01 + u2 * p23) + u4 * (p45 + u2 * p67)) + u8 * p89);
        // 0 where |a - b| <= atol, as a maximum rather than a choice, which
        // the compiler would make a branch around the division.
        if constexpr (plainTolerance)
            lanes.needed[j] = relError;
        else
            lanes.needed[j] = std::max(0.0, (absError - t.atol) / magnitude);
        lanes.within[j] = absError <= t.atol + t.rtol * magnitude ? 1.0 : 0.0;
        // a - b is exactly -(b - a), so the signed relative error is the
        // relative error with the sign of b - a, bit for bit the quotient.
        lanes.signedError[j] = b - a;
        lanes.signedRel[j] = std::copysign(relError, b - a);
        // Positive and finite both, within the series' reach (which makes
        // the denominator positive) and not below the least truth.
        lanes.common[j] =
            a > 0.0 && b > 0.0 && a <= DBL_MAX && b <= DBL_MAX && sMagnitude <= 0.1 && a >= t.minTruth ? 1.0 : 0.0;
    }
    // Counted apart, so that the loop above stays one the compiler
    // vectorizes.
    std::int32_t commons = 0;
    for (std::int32_t j = 0; j < count; ++j)
        commons += lanes.common[j] != 0.0 ? 1 : 0;
    return commons;
}

std::int32_t computeLanes(BlockLanes& lanes, const double* as, const double* bs, std::int32_t count,
                          const Tolerances& t)
{
    return t.atol == 0.0 && t.floor == 0.0 ? computeLanesOf<true>(lanes, as, bs, count, t)
                                           : computeLanesOf<false>(lanes, as, bs, count, t);
}

// The figures of pair j of a block, from its lanes where it is a common
// pair.
[[gnu::always_inline]] inline PairFigures laneFigures(const BlockLanes& lanes, const MeasuredBlock& block,
                                                     std::int32_t j, const Tolerances& t)
{
    const double a = block.as[j];
    const double b = block.bs[j];
    const bool excluded = block.excluded != nullptr && block.excluded[j];
    if (lanes.common[j] == 0.0 || excluded)
        return densityFigures(a, b, excluded, t);
    PairFigures f{};
    f.finite = true;
    f.absError = lanes.absError[j];
    f.magnitude = lanes.magnitude[j];
    f.signedError = lanes.signedError[j];
    f.hasRelative = true;
    f.relError = lanes.relError[j];
    f.signedRel = lanes.signedRel[j];
    f.within = lanes.within[j] != 0.0;
    f.needed = lanes.needed[j];
    f.bothPositive = true;
    f.logRatio = lanes.logRatio[j];
    f.row = rowOf(decadeOfPositive(a));
    return f;
}

// A block whose pairs are all common pairs (both values positive and
// finite, none left out) is taken lane by lane: its sums, spreads and
// extremes in loops the compiler keeps in vector registers, then one loop
// for what each pair adds to its own buckets, to the table by decade and
// to the worst lists.  The figures are those the pairs would add one by
// one; only the order of the additions within the block differs, which the
// block sums' bound allows.
//
// A lane's sum is taken as kWays interleaved partial sums, added together
// pairwise at the end: the order is the program's, the same on every build,
// and each partial sum has at most 64 terms.  Eight of them keep four vector
// additions in flight, which one chain of additions, waiting on each, would
// not.
constexpr int kWays = 8;

[[gnu::always_inline]] inline double combined(const double (&part)[kWays])
{
    return ((part[0] + part[1]) + (part[2] + part[3])) + ((part[4] + part[5]) + (part[6] + part[7]));
}

template <typename Term>
[[gnu::always_inline]] inline double laneSum(std::int32_t n, Term term)
{
    double part[kWays] = {};
    std::int32_t j = 0;
    for (; j + kWays <= n; j += kWays)
        for (int k = 0; k < kWays; ++k)
            part[k] += term(j + k);
    for (int k = 0; j < n; ++j, ++k)
        part[k] += term(j);
    return combined(part);
}

// The lane's squared offsets from the spread's shift, which the first block
// sets to its mean.
[[gnu::always_inline]] inline void laneSpread(BlockSpread& spread, const double* x, std::int32_t n)
{
    if (!spread.started) {
        spread.started = true;
        spread.shift = laneSum(n, [&](std::int32_t j) { return x[j]; }) / n;
    }
    const double shift = spread.shift;
    spread.squares = laneSum(n, [&](std::int32_t j) { return (x[j] - shift) * (x[j] - shift); });
}

// The lane's squares into a sum that keeps the tiny terms apart, given the
// lane's least term: nearly every block has none.
[[gnu::always_inline]] inline void laneSquares(SquareSum& sum, const double* x, std::int32_t n, double least)
{
    if (least >= kSmallTerm) {
        sum.normal.block += laneSum(n, [&](std::int32_t j) { return x[j] * x[j]; });
        return;
    }
    sum.normal.block += laneSum(n, [&](std::int32_t j) { return x[j] >= kSmallTerm ? x[j] * x[j] : 0.0; });
    sum.scaled.block += laneSum(n, [&](std::int32_t j) {
        const double scaled = x[j] < kSmallTerm ? x[j] * kTermScale : 0.0;
        return scaled * scaled;
    });
}

// The lane's extremes; the lanes of a common block hold no NaN, and an
// extreme is the same whatever the order it is found in.  The compiler does
// not vectorize a choice between doubles, so it is written out for SSE2.
template <bool largest>
[[gnu::always_inline]] inline double laneExtreme(const double* x, std::int32_t n)
{
    const auto pick = [](double kept, double next) {
        if constexpr (largest)
            return next > kept ? next : kept;
        else
            return next < kept ? next : kept;
    };
    double result = x[0];
    std::int32_t j = 0;
#if defined(__SSE2__)
    const auto pickVector = [](__m128d kept, __m128d next) {
        if constexpr (largest)
            return _mm_max_pd(kept, next);
        else
            return _mm_min_pd(kept, next);
    };
    __m128d part[4];
    for (__m128d& p : part)
        p = _mm_set1_pd(x[0]);
    for (; j + 8 <= n; j += 8)
        for (int k = 0; k < 4; ++k)
            part[k] = pickVector(part[k], _mm_loadu_pd(x + j + 2 * k));
    const __m128d both = pickVector(pickVector(part[0], part[1]), pickVector(part[2], part[3]));
    result = pick(_mm_cvtsd_f64(both), _mm_cvtsd_f64(_mm_unpackhi_pd(both, both)));
#endif
    for (; j < n; ++j)
        result = pick(result, x[j]);
    return result;
}

[[gnu::always_inline]] inline double laneMax(const double* x, std::int32_t n)
{
    return laneExtreme<true>(x, n);
}

[[gnu::always_inline]] inline double laneMin(const double* x, std::int32_t n)
{
    return laneExtreme<false>(x, n);
}

// The first place in the lane that holds the value.
std::int32_t placeOf(const double* x, std::int32_t n, double value)
{
    std::int32_t j = 0;
    while (j < n - 1 && x[j] != value)
        ++j;
    return j;
}

DensityDecade& densityRow(ErrorMeasures& m, std::int32_t row);

void takeCommonBlock(ErrorMeasures& m, BlockTotals& totals, BlockLanes& lanes, const MeasuredBlock& block,
                     std::size_t dim)
{
    const std::int32_t n = block.count;
    totals.measured = n;
    totals.relCount = n;
    totals.ratioPairs = n;
    totals.neededCount = n;
    totals.absSum = laneSum(n, [&](std::int32_t j) { return lanes.absError[j]; });
    totals.relSum = laneSum(n, [&](std::int32_t j) { return lanes.relError[j]; });
    totals.logSum = laneSum(n, [&](std::int32_t j) { return lanes.logRatio[j]; });
    totals.signedSum = laneSum(n, [&](std::int32_t j) { return lanes.signedError[j]; });
    totals.signedRelSum = laneSum(n, [&](std::int32_t j) { return lanes.signedRel[j]; });
    totals.within = static_cast<std::int64_t>(laneSum(n, [&](std::int32_t j) { return lanes.within[j]; }));
    totals.absSmallest = laneMin(lanes.absError, n);
    laneSquares(totals.squares, lanes.absError, n, totals.absSmallest);
    laneSquares(totals.allptsSquares, lanes.magnitude, n, laneMin(lanes.magnitude, n));
    laneSpread(totals.absSpread, lanes.absError, n);
    laneSpread(totals.relSpread, lanes.relError, n);
    laneSpread(totals.signedSpread, lanes.signedError, n);
    laneSpread(totals.signedRelSpread, lanes.signedRel, n);
    totals.relSmallest = laneMin(lanes.relError, n);
    totals.neededSmallest = laneMin(lanes.needed, n);
    totals.neededLargest = laneMax(lanes.needed, n);
    totals.allptsMax = std::max(totals.allptsMax, laneMax(lanes.magnitude, n));
    // A block's largest error takes the place of the run's only when it is
    // larger, at the first pair that holds it: the earliest of equal errors.
    const auto indexOf = [&](std::int32_t j) { return block.indices != nullptr ? block.indices[j] : block.first + j; };
    const double absMax = laneMax(lanes.absError, n);
    if (absMax > totals.absMax) {
        totals.absMax = absMax;
        totals.absMaxIndex = indexOf(placeOf(lanes.absError, n, absMax));
    }
    const double relMax = laneMax(lanes.relError, n);
    if (relMax > totals.relMax) {
        totals.relMax = relMax;
        totals.relMaxIndex = indexOf(placeOf(lanes.relError, n, relMax));
    }
    const double logMax = laneMax(lanes.logRatio, n);
    if (logMax > totals.logRatioMax) {
        const std::int32_t j = placeOf(lanes.logRatio, n, logMax);
        totals.logRatioMax = logMax;
        totals.ratioMaxPair[0] = block.as[j];
        totals.ratioMaxPair[1] = block.bs[j];
        totals.ratioMaxIndex = indexOf(j);
    }

    const bool table = !m.density.empty();
    const bool rows = table || m.byDensity;
    for (std::int32_t j = 0; j < n; ++j) {
        const double absError = lanes.absError[j];
        const double relError = lanes.relError[j];
        totals.absCounts[bucketOf(absError, totals.shift)] += 1;
        totals.relCounts[bucketOf(relError, totals.shift)] += 1;
        totals.neededCounts[bucketOf(lanes.needed[j], totals.shift)] += 1;
        totals.decades[static_cast<std::size_t>(decadeBin(relError))] += 1;
        if (rows) {
            const std::int32_t row = rowOf(decadeOfPositive(block.as[j]));
            lanes.row[j] = row;
            if (table) {
                DensityDecade* decade = m.density[static_cast<std::size_t>(row)];
                if (decade == nullptr)
                    decade = &densityRow(m, row);
                if (++decade->termsInBlock == kPairBlock) {
                    addBlock(decade->absSum);
                    addBlock(decade->relSum);
                    decade->termsInBlock = 0;
                }
                decade->pairs += 1;
                decade->tolerancePairs += 1;
                decade->relCount += 1;
                decade->absSum.block += absError;
                decade->within += lanes.within[j] != 0.0 ? 1 : 0;
                decade->relSum.block += relError;
                decade->relMin = std::min(decade->relMin, relError);
                decade->relMax = std::max(decade->relMax, relError);
                decade->relSummary.counts[bucketOf(relError, kCoarseShift)] += 1;
            }
        }
        if (wouldEnter(m.worstAbs, absError) || wouldEnter(m.worstRel, relError)) {
            const double* const point = block.points != nullptr ? block.points + static_cast<std::size_t>(j) * dim
                                                                : nullptr;
            const WorstPoint worst{indexOf(j), block.as[j], block.bs[j], absError, relError};
            if (wouldEnter(m.worstAbs, absError))
                offerPointSlow(m.worstAbs, worst, point);
            if (wouldEnter(m.worstRel, relError))
                offerPointSlow(m.worstRel, worst, point);
        }
    }
}

void takeByDensity(ErrorMeasures& measures, const MeasuredBlock& block);

// The measures of one decade of a, made as its first pair comes: coarse
// quantiles, no worst points, no table of their own, and the lanes every
// decade shares.
ErrorMeasures& densityMeasuresOf(ErrorMeasures& measures, std::int32_t row)
{
    ErrorMeasures*& decade = measures.densityMeasures[static_cast<std::size_t>(row)];
    if (decade != nullptr)
        return *decade;
    describeAllocation("cannot keep the measures by decade of a");
    decade = new ErrorMeasures;
    if (measures.densityLanes == nullptr)
        measures.densityLanes = new BlockLanes;
    describeAllocation(nullptr);
    decade->floor = measures.floor;
    decade->rtol = measures.rtol;
    decade->atol = measures.atol;
    decade->minTruth = measures.minTruth;
    decade->logs = measures.logs;
    startQuantileSummary(decade->absSummary, "cannot keep the measures by decade of a", true);
    startQuantileSummary(decade->relSummary, "cannot keep the measures by decade of a", true);
    startQuantileSummary(decade->neededSummary, "cannot keep the measures by decade of a", true);
    startWorstList(decade->worstAbs, 0, false);
    startWorstList(decade->worstRel, 0, true);
    decade->lanes = measures.densityLanes;
    return *decade;
}

}  // namespace

// The sum of squared deviations from the mean is the sum of squared offsets
// from the shift, less n (mean - shift)^2, with n (mean - shift) the terms'
// accurate sum less n shift.  The shift is the first block's mean (or the
// first term, where the first pairs came one by one), so the offsets are
// small beside the terms wherever the spread is: each sum is within 1e-13
// of its terms' magnitudes, and what the subtraction loses is of the order
// of 1e-13 times (mean - shift) times the mean over the variance.  A first
// block far from the rest holds its own share of the spread, which bounds
// that ratio.
SpreadFigures spreadOf(const Spread& spread, const AccurateSum& sum, std::int64_t count)
{
    const auto n = static_cast<double>(count);
    const double mean = count > 0 ? sumValue(sum) / n : NAN;
    if (count < 2)
        return {mean, NAN, NAN};
    const double offsets = sumValue(sum) - n * spread.shift;
    const double squares = std::max(0.0, sumValue(spread.squares) - offsets * (offsets / n));
    const double sd = std::sqrt(squares / (n - 1));
    return {mean, sd, sd / std::sqrt(n)};
}

void startErrorMeasures(ErrorMeasures& measures, const ReportOptions& options, std::int32_t worst, std::int32_t dim,
                        bool densityTable)
{
    measures = ErrorMeasures{};
    measures.floor = options.floor;
    measures.rtol = options.rtol;
    measures.atol = options.atol;
    measures.minTruth = options.minTruthGiven ? options.minTruth : -INFINITY;
    measures.logs = options.logs;
    startQuantileSummary(measures.absSummary, "cannot keep the summary of absolute errors");
    startQuantileSummary(measures.relSummary, "cannot keep the summary of relative errors");
    startQuantileSummary(measures.neededSummary, "cannot keep the summary of the tolerances needed");
    startWorstList(measures.worstAbs, worst, false, dim);
    startWorstList(measures.worstRel, worst, true, dim);
    describeAllocation("cannot allocate the measures' block");
    measures.lanes = new BlockLanes;
    measures.ownsLanes = true;
    if (densityTable)
        measures.density.assign(kDensityRows, nullptr);
    describeAllocation(nullptr);
    measures.byDensity = options.byDensity;
    if (options.byDensity)
        measures.densityMeasures.assign(kDensityRows, nullptr);
}

void releaseErrorMeasures(ErrorMeasures& measures)
{
    if (measures.ownsLanes)
        delete measures.lanes;
    measures.lanes = nullptr;
    releaseQuantileSummary(measures.absSummary);
    releaseQuantileSummary(measures.relSummary);
    releaseQuantileSummary(measures.neededSummary);
    for (DensityDecade*& decade : measures.density) {
        if (decade != nullptr)
            releaseQuantileSummary(decade->relSummary);
        delete decade;
        decade = nullptr;
    }
    for (ErrorMeasures*& decade : measures.densityMeasures) {
        if (decade != nullptr)
            releaseErrorMeasures(*decade);
        delete decade;
        decade = nullptr;
    }
    delete measures.densityLanes;
    measures.densityLanes = nullptr;
}

void takeMeasuredPairs(ErrorMeasures& measures, const MeasuredBlock& block)
{
    const Tolerances tolerances = tolerancesOf(measures);
    BlockTotals totals = startTotals(measures);
    BlockLanes& lanes = *measures.lanes;
    const auto dim = static_cast<std::size_t>(measures.worstAbs.dim);
    const auto pointOf = [&](std::int32_t j) {
        return block.points != nullptr ? block.points + static_cast<std::size_t>(j) * dim : nullptr;
    };
    const auto indexOf = [&](std::int32_t j) { return block.indices != nullptr ? block.indices[j] : block.first + j; };
    if (measures.logs) {
        for (std::int32_t j = 0; j < block.count; ++j) {
            const PairFigures figures = logFigures(block.as[j], block.bs[j], tolerances);
            lanes.row[j] = figures.finite ? figures.row : -1;
            takePair(measures, totals, figures, block.as[j], block.bs[j], indexOf(j), 1, pointOf(j));
        }
    } else {
        const std::int32_t commons = computeLanes(lanes, block.as, block.bs, block.count, tolerances);
        if (commons == block.count && block.excluded == nullptr && block.count > 0) {
            takeCommonBlock(measures, totals, lanes, block, dim);
        } else {
            for (std::int32_t j = 0; j < block.count; ++j) {
                const PairFigures figures = laneFigures(lanes, block, j, tolerances);
                lanes.row[j] = figures.finite ? figures.row : -1;
                takePair(measures, totals, figures, block.as[j], block.bs[j], indexOf(j), 1, pointOf(j));
            }
        }
    }
    endBlock(measures, totals);
    if (block.singleAs != nullptr)
        takeClassicPairs(measures.classic, block.singleAs, block.singleBs, block.count);
    if (measures.byDensity)
        takeByDensity(measures, block);
}

namespace {

// The block's pairs, decade of a by decade, into each decade's measures:
// the pairs sorted by row, in their order within a row (the key is the row
// above the pair's place in the block), then each row's run gathered.
void takeByDensity(ErrorMeasures& measures, const MeasuredBlock& block)
{
    BlockLanes& lanes = *measures.lanes;
    static_assert(kPairBlock <= 1 << kPlaceBits && kDensityRows < 1 << (31 - kPlaceBits));
    std::int32_t* const keys = lanes.blockRows;
    std::int32_t keyCount = 0;
    for (std::int32_t j = 0; j < block.count; ++j)
        if (lanes.row[j] >= 0)
            keys[keyCount++] = lanes.row[j] << kPlaceBits | j;
    std::sort(keys, keys + keyCount);
    for (std::int32_t start = 0; start < keyCount;) {
        const std::int32_t row = keys[start] >> kPlaceBits;
        std::int32_t count = 0;
        for (; start < keyCount && keys[start] >> kPlaceBits == row; ++start, ++count) {
            const std::int32_t j = keys[start] & ((1 << kPlaceBits) - 1);
            lanes.gatheredAs[count] = block.as[j];
            lanes.gatheredBs[count] = block.bs[j];
            lanes.gatheredExcluded[count] = block.excluded != nullptr && block.excluded[j];
            lanes.gatheredIndices[count] = block.indices != nullptr ? block.indices[j] : block.first + j;
        }
        ErrorMeasures& decade = densityMeasuresOf(measures, row);
        // The gathered arrays are the decade's input: it computes into lanes
        // of its own.
        takeMeasuredPairs(decade, {lanes.gatheredAs, lanes.gatheredBs, nullptr, nullptr, lanes.gatheredExcluded, count,
                                    0, nullptr, lanes.gatheredIndices});
    }
}

}  // namespace

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
        takePair(measures, totals, figures, a, b, first + done, part, nullptr);
        endBlock(measures, totals);
        if (measures.byDensity && figures.finite)
            takeRepeatedPair(densityMeasuresOf(measures, figures.row), a, b, singleA, singleB, excluded, first + done,
                             part);
        done += part;
    }
    if (!measures.logs)
        takeClassicRepeated(measures.classic, singleA, singleB, count);
}
