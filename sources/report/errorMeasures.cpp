// The accurate measures of the report: absolute, relative, tolerance, ratio
// and scale-free, in double precision with accurate sums, over the pairs
// whose two values are finite.
#include "errorMeasures.h"

#include <algorithm>
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

int decadeBin(double relative)
{
    if (relative == 0.0)
        return 0;
    std::uint64_t bits;
    std::memcpy(&bits, &relative, sizeof bits);
    const int field = static_cast<int>(bits >> 52);
    int exponent = field - 1023;
    if (field == 0) {
        // Below the normal range the exponent is the mantissa's own.
        std::frexp(relative, &exponent);
        --exponent;
    }
    int decade = kDecades.decadeOf[exponent - kLowestExponent];
    decade += relative >= kDecades.powerOf[decade + 1 - kLowestDecade] ? 1 : 0;
    // (0, 1e-8) is bin 1, [1e-8, 1e-7) bin 2, ..., [1, inf) bin 10.
    return std::clamp(decade + kDecadeBins - 1, 1, kDecadeBins - 1);
}

// |ln(b / a)| for positive a and b to a few units of its last bit.  Near 1
// it is 2 atanh(s) with s = (b - a) / (b + a), whose numerator and
// denominator are exact in double for two floats, summed as its series: for
// |s| <= 0.1 the terms after s^19 / 19 are below 10^-18 of the first.
// Elsewhere the rounding of b / a costs at most a unit of the logarithm,
// which is then above 0.2.
double logRatio(double a, double b)
{
    const double s = (b - a) / (b + a);
    if (std::fabs(s) > 0.1)
        return std::fabs(std::log(b / a));
    const double s2 = s * s;
    double series = 1.0 / 19;
    for (int k = 17; k >= 1; k -= 2)
        series = series * s2 + 1.0 / k;
    return std::fabs(2.0 * s * series);
}

// What one pair adds, count times over (count copies of the same pair,
// point indices first upwards).
[[gnu::always_inline]] inline void takePair(ErrorMeasures& m, float a, float b, std::int64_t first,
                                            std::int64_t count)
{
    if (!std::isfinite(a) || !std::isfinite(b)) {
        m.leftOut += count;
        return;
    }
    const auto times = static_cast<double>(count);
    const double da = a;
    const double db = b;
    const double absError = std::fabs(da - db);
    const double absA = std::fabs(da);
    m.measured += count;
    m.absSum.block += absError * times;
    m.squareSum.block += absError * absError * times;
    if (absError > m.absMax) {
        m.absMax = absError;
        m.absMaxIndex = first;
    }
    addToSummary(m.absSummary, absError, static_cast<std::uint32_t>(count));
    m.within += absError <= m.atol + m.rtol * absA ? count : 0;
    m.allptsSquareSum.block += da * da * times;
    m.allptsMax = std::max(m.allptsMax, absA);

    const double denominator = std::max(absA, m.floor);
    double relError = INFINITY;
    if (denominator > 0.0) {
        relError = absError / denominator;
        m.relCount += count;
        m.relSum.block += relError * times;
        if (relError > m.relMax) {
            m.relMax = relError;
            m.relMaxIndex = first;
        }
        addToSummary(m.relSummary, relError, static_cast<std::uint32_t>(count));
        m.decades[static_cast<std::size_t>(decadeBin(relError))] += count;
    } else if (absError == 0.0) {
        m.relZeroOverZero += count;
    } else {
        m.relInfinite += count;
    }

    if (a > 0.0f && b > 0.0f) {
        m.ratioPairs += count;
        const double logRatioError = logRatio(da, db);
        m.logRatioSum.block += logRatioError * times;
        // The largest max(a/b, b/a) is the pair with the largest |ln(b/a)|;
        // its ratio is worked out once, at the end.
        if (logRatioError > m.logRatioMax) {
            m.logRatioMax = logRatioError;
            m.ratioMaxPair[0] = da;
            m.ratioMaxPair[1] = db;
            m.ratioMaxIndex = first;
        }
    } else if ((a <= 0.0f) != (b <= 0.0f)) {
        m.oneNotPositive += count;
    }

    // A point enters a list only ahead of a kept one, so of a run of copies
    // at most the first K can.
    if (wouldEnter(m.worstAbs, absError)) {
        WorstPoint point{first, a, b, absError, denominator > 0.0 ? relError : NAN};
        for (std::int64_t i = 0; i < count && wouldEnter(m.worstAbs, absError); ++i, ++point.index)
            offerPointSlow(m.worstAbs, point);
    }
    if (denominator > 0.0 && wouldEnter(m.worstRel, relError)) {
        WorstPoint point{first, a, b, absError, relError};
        for (std::int64_t i = 0; i < count && wouldEnter(m.worstRel, relError); ++i, ++point.index)
            offerPointSlow(m.worstRel, point);
    }
}

void endBlock(ErrorMeasures& m)
{
    addBlock(m.absSum);
    addBlock(m.squareSum);
    addBlock(m.relSum);
    addBlock(m.logRatioSum);
    addBlock(m.allptsSquareSum);
}

}  // namespace

void startErrorMeasures(ErrorMeasures& measures, const ReportOptions& options, std::int32_t worst)
{
    measures = ErrorMeasures{};
    measures.floor = options.floor;
    measures.rtol = options.rtol;
    measures.atol = options.atol;
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

void takeMeasuredPairs(ErrorMeasures& measures, const float* as, const float* bs, std::int32_t count,
                       std::int64_t first)
{
    for (std::int32_t j = 0; j < count; ++j)
        takePair(measures, as[j], bs[j], first + j, 1);
    endBlock(measures);
    takeClassicPairs(measures.classic, as, bs, count);
}

void takeRepeatedPair(ErrorMeasures& measures, float a, float b, std::int64_t first, std::int64_t count)
{
    // The bucket counts are 32-bit: a run longer than any count n can be
    // goes in in parts.
    for (std::int64_t done = 0; done < count;) {
        const std::int64_t part = std::min<std::int64_t>(count - done, INT32_MAX);
        takePair(measures, a, b, first + done, part);
        done += part;
        endBlock(measures);
    }
    takeClassicRepeated(measures.classic, a, b, count);
}
