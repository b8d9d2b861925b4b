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

// Relative errors by decade: the binary exponent of a positive double gives
// its decade or the one below, and one comparison with a power of ten
// settles which.
// The decades of the positive doubles: 4.9e-324 to 1.8e308.
constexpr int kLowestDoubleDecade = -324;
constexpr int kDoubleDecades = 308 - kLowestDoubleDecade + 1;

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

// A spread's terms within a block, offset by the block's first term.
struct BlockSpread {
    bool started = false;
    double shift = 0.0;
    double count = 0.0;
    double sum = 0.0;
    double squares = 0.0;
};

[[gnu::always_inline]] inline void addToSpread(BlockSpread& spread, double term, double times)
{
    if (!spread.started) {
        spread.started = true;
        spread.shift = term;
    }
    const double offsetTerm = term - spread.shift;
    spread.count += times;
    spread.sum += offsetTerm * times;
    spread.squares += offsetTerm * offsetTerm * times;
}

// The block's count, mean and sum of squared deviations merged into the
// spread's by the pairwise update of means and squared deviations: every part
// added to the sum of squares is nonnegative, so it keeps the accurate
// sum's bound, and the block's own, from offsets to a term of the block,
// cancels little however far the data lie from 0.
void endSpread(Spread& spread, const BlockSpread& block)
{
    if (block.count == 0.0)
        return;
    const double blockMean = block.shift + block.sum / block.count;
    const double blockSquares = std::max(0.0, block.squares - block.sum * (block.sum / block.count));
    const double count = spread.count + block.count;
    const double delta = blockMean - spread.mean;
    spread.mean += delta * (block.count / count);
    spread.squares.block += blockSquares + delta * delta * (spread.count * (block.count / count));
    addBlock(spread.squares);
    spread.count = count;
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
    decade.relMax = std::max(decade.relMax, f.relError);
    addToSummary(decade.relSummary, f.relError, static_cast<std::uint32_t>(count));
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
        lanes.needed[j] = absError <= t.atol ? 0.0 : (absError - t.atol) / magnitude;
        lanes.within[j] = absError <= t.atol + t.rtol * magnitude ? 1.0 : 0.0;
        // Positive and finite both, within the series' reach (which makes
        // the denominator positive) and not below the least truth.
        lanes.common[j] =
            a > 0.0 && b > 0.0 && a <= DBL_MAX && b <= DBL_MAX && sMagnitude <= 0.1 && a >= t.minTruth ? 1.0 : 0.0;
    }
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
    const double denominator = std::max(lanes.magnitude[j], t.floor);
    PairFigures f{};
    f.finite = true;
    f.absError = lanes.absError[j];
    f.magnitude = lanes.magnitude[j];
    f.signedError = b - a;
    f.hasRelative = true;
    f.relError = lanes.relError[j];
    f.signedRel = f.signedError / denominator;
    f.within = lanes.within[j] != 0.0;
    f.needed = lanes.needed[j];
    f.bothPositive = true;
    f.logRatio = lanes.logRatio[j];
    f.row = rowOf(decadeOfPositive(a));
    return f;
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

SpreadFigures spreadOf(const Spread& spread, const AccurateSum& sum, std::int64_t count)
{
    const auto n = static_cast<double>(count);
    const double mean = count > 0 ? sumValue(sum) / n : NAN;
    if (count < 2)
        return {mean, NAN, NAN};
    const double sd = std::sqrt(sumValue(spread.squares) / (n - 1));
    return {mean, sd, sd / std::sqrt(n)};
}

void startErrorMeasures(ErrorMeasures& measures, const ReportOptions& options, std::int32_t worst, std::int32_t dim)
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
        computeLanes(lanes, block.as, block.bs, block.count, tolerances);
        for (std::int32_t j = 0; j < block.count; ++j) {
            const PairFigures figures = laneFigures(lanes, block, j, tolerances);
            lanes.row[j] = figures.finite ? figures.row : -1;
            takePair(measures, totals, figures, block.as[j], block.bs[j], indexOf(j), 1, pointOf(j));
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
