// The report's figures against independent computations: exact integer
// sums for the means and rms, a full sort for the quantiles and the worst
// points, and the same pairs taken one by one for a repeated run.
#include "measures/pairFigures.h"
#include "evaluation/report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <random>
#include <vector>

using namespace calcgap;
using namespace calcgap::report;

namespace {

// An unsigned integer of 1024 bits counting units of 2^-600: wide enough for
// the exact sum of 2^31 squares of float differences.
class ExactSum {
public:
    // Adds mantissa * 2^exponent, exponent at least -600.
    void add(unsigned __int128 mantissa, int exponent)
    {
        const int shift = exponent + kUnitExponent;
        ASSERT_GE(shift, 0);
        const auto wordShift = static_cast<std::size_t>(shift / 32);
        const int bitShift = shift % 32;
        for (std::size_t i = 0; i < 4; ++i) {
            const auto word = static_cast<std::uint64_t>(static_cast<std::uint32_t>(mantissa >> (32 * i)));
            addAt(wordShift + i, word << bitShift);
        }
    }

    void addDouble(double value)
    {
        int exponent;
        const double fraction = std::frexp(value, &exponent);
        add(static_cast<unsigned __int128>(std::ldexp(fraction, 53)), exponent - 53);
    }

    void addSquare(double value)
    {
        int exponent;
        const double fraction = std::frexp(value, &exponent);
        const auto mantissa = static_cast<unsigned __int128>(std::ldexp(fraction, 53));
        add(mantissa * mantissa, 2 * (exponent - 53));
    }

    // The sum rounded to double, to within 2^-60 of itself.
    double value() const
    {
        std::size_t top = kLimbs;
        while (top > 0 && limbs_[top - 1] == 0)
            --top;
        if (top == 0)
            return 0.0;
        double result = 0.0;
        for (std::size_t i = top; i > 0 && i + 3 > top; --i)
            result += std::ldexp(static_cast<double>(limbs_[i - 1]), static_cast<int>(32 * (i - 1)) - kUnitExponent);
        return result;
    }

    // This sum less the other, which must not be larger, rounded to double
    // as value() rounds.
    ExactSum minus(const ExactSum& other) const
    {
        ExactSum difference;
        std::int64_t borrow = 0;
        for (std::size_t i = 0; i < kLimbs; ++i) {
            std::int64_t limb = static_cast<std::int64_t>(limbs_[i]) - other.limbs_[i] - borrow;
            borrow = limb < 0 ? 1 : 0;
            difference.limbs_[i] = static_cast<std::uint32_t>(limb + (borrow << 32));
        }
        EXPECT_EQ(borrow, 0) << "the other sum is the larger";
        return difference;
    }

    bool lessThan(const ExactSum& other) const
    {
        for (std::size_t i = kLimbs; i > 0; --i)
            if (limbs_[i - 1] != other.limbs_[i - 1])
                return limbs_[i - 1] < other.limbs_[i - 1];
        return false;
    }

private:
    void addAt(std::size_t limb, std::uint64_t amount)
    {
        for (; amount != 0; ++limb) {
            ASSERT_LT(limb, kLimbs);
            const std::uint64_t sum = limbs_[limb] + amount;
            limbs_[limb] = static_cast<std::uint32_t>(sum);
            amount = sum >> 32;
        }
    }

    static constexpr int kUnitExponent = 600;
    static constexpr std::size_t kLimbs = 32;
    std::uint32_t limbs_[kLimbs] = {};
};

// The exact sum of doubles of either sign, as its positive and negative
// parts.
struct SignedExactSum {
    ExactSum positive;
    ExactSum negative;

    void add(double value)
    {
        if (value > 0.0)
            positive.addDouble(value);
        else if (value < 0.0)
            negative.addDouble(-value);
    }

    double value() const
    {
        return negative.lessThan(positive) ? positive.minus(negative).value() : -negative.minus(positive).value();
    }
};

struct Pairs {
    std::vector<float> as;
    std::vector<float> bs;
};

ReportOptions optionsWith(double floor = 0.0, std::int32_t worst = 10)
{
    ReportOptions options;
    options.measures.floor = floor;
    options.measures.worst = worst;
    return options;
}

// Pairs of floats through the measures, in blocks as the pass hands them
// over: as doubles, the values as read, and as floats for the classic sums.
void takeFloatPairs(ErrorMeasures& measures, const float* as, const float* bs, std::int64_t n, std::int64_t start)
{
    std::vector<double> da(as, as + n);
    std::vector<double> db(bs, bs + n);
    for (std::int64_t first = 0; first < n; first += kPairBlock) {
        const auto count = static_cast<std::int32_t>(std::min<std::int64_t>(kPairBlock, n - first));
        const auto at = static_cast<std::size_t>(first);
        takeMeasuredPairs(measures, {da.data() + at, db.data() + at, as + at, bs + at, nullptr, count, start + first});
    }
}

Report measure(const Pairs& pairs, const ReportOptions& options)
{
    ErrorMeasures measures;
    startErrorMeasures(measures, options.measures, {}, options.measures.worst);
    const auto n = static_cast<std::int64_t>(pairs.as.size());
    takeFloatPairs(measures, pairs.as.data(), pairs.bs.data(), n, 0);
    Report report;
    summarizeReport(options, measures, n, report);
    return report;
}

void expectClose(double actual, double expected, double bound, const char* what)
{
    EXPECT_LE(std::fabs(actual - expected), bound * std::fabs(expected))
        << what << ": " << actual << " against " << expected;
}

// Pairs whose differences are exact doubles: the two values of a pair lie
// within 2^29 of each other in scale, or one is zero.
Pairs adversarialPairs(std::uint64_t seed, int count)
{
    std::mt19937_64 random(seed);
    Pairs pairs;
    for (int i = 0; i < count; ++i) {
        const int scale = static_cast<int>(random() % 250) - 125;
        const float a = std::ldexp(static_cast<float>(random() % 16777216 + 1), scale - 24);
        float b;
        switch (random() % 4) {
        case 0:
            b = 0.0f;  // huge and tiny errors side by side
            break;
        case 1:
            b = std::nextafter(a, 0.0f);  // cancellation: the smallest step
            break;
        case 2:
            b = -a;
            break;
        default:
            b = a * (1.0f + static_cast<float>(random() % 1000) / 8192.0f);
            break;
        }
        pairs.as.push_back(random() % 2 == 0 ? a : -a);
        pairs.bs.push_back(b);
    }
    return pairs;
}

TEST(ReportMeasures, MeansAndRmsAgainstExactSums)
{
    for (std::uint64_t seed : {1u, 2u, 3u}) {
        const Pairs pairs = adversarialPairs(seed, 200000);
        ExactSum absolute;
        ExactSum squares;
        ExactSum allptsSquares;
        for (std::size_t i = 0; i < pairs.as.size(); ++i) {
            const double difference = std::fabs(static_cast<double>(pairs.as[i]) - pairs.bs[i]);
            absolute.addDouble(difference);
            squares.addSquare(difference);
            allptsSquares.addSquare(std::fabs(pairs.as[i]));
        }
        const auto n = static_cast<double>(pairs.as.size());
        const Report report = measure(pairs, optionsWith());
        expectClose(report.absMean, absolute.value() / n, 1e-12, "mean");
        expectClose(report.absRms, std::sqrt(squares.value() / n), 1e-12, "rms");
        expectClose(report.relativeL2, std::sqrt(squares.value() / allptsSquares.value()), 1e-12, "relative L2");
    }
}

// Ten million equal small errors: a float sum stops growing long before.
TEST(ReportMeasures, TenMillionEqualSmallErrors)
{
    Pairs pairs;
    pairs.as.assign(10000000, 1.0f + 0x1p-23f);
    pairs.bs.assign(10000000, 1.0f);
    const Report report = measure(pairs, optionsWith(0.0, 1));
    EXPECT_EQ(report.absMean, 0x1p-23);
    EXPECT_EQ(report.absRms, 0x1p-23);
    // The same as one repeated pair.
    ErrorMeasures measures;
    startErrorMeasures(measures, optionsWith(0.0, 1).measures, {}, 1);
    takeRepeatedPair(measures, 1.0 + 0x1p-23, 1.0, 1.0f + 0x1p-23f, 1.0f, false, 0, 10000000);
    Report repeated;
    summarizeReport(optionsWith(0.0, 1), measures, 10000000, repeated);
    EXPECT_EQ(repeated.absMean, 0x1p-23);
    expectClose(repeated.relMean, report.relMean, 1e-12, "relative mean");

    // One large error, then errors each far below the last bit of the sum.
    pairs.as.assign(10000000, 0x1p-62f);
    pairs.bs.assign(10000000, 0.0f);
    pairs.as[0] = 1.0f;
    ExactSum exact;
    exact.addDouble(1.0);
    for (int i = 1; i < 10000000; ++i)
        exact.addDouble(0x1p-62);
    expectClose(measure(pairs, optionsWith(0.0, 1)).absMean, exact.value() / 1e7, 1e-12, "mean");
}

// Relative errors over powers of two are exact rationals; ratio errors are
// checked against long double logarithms.
TEST(ReportMeasures, RelativeAndRatioMeans)
{
    std::mt19937_64 random(5);
    Pairs pairs;
    ExactSum relative;
    long double logSum = 0;
    for (int i = 0; i < 100000; ++i) {
        const float a = std::ldexp(1.0f, static_cast<int>(random() % 200) - 100);
        const float b = a * (static_cast<float>(random() % 4096) + 1.0f) / 2048.0f;
        pairs.as.push_back(a);
        pairs.bs.push_back(b);
        relative.addDouble(std::fabs(static_cast<double>(a) - b) / a);
        logSum += std::fabs(std::log(static_cast<long double>(b) / a));
    }
    const Report report = measure(pairs, optionsWith());
    expectClose(report.relMean, relative.value() / 100000.0, 1e-12, "relative mean");
    expectClose(report.logRatioMean, static_cast<double>(logSum / 100000), 1e-12, "mean |ln(b / a)|");
}

// The maxima with their points, the tolerance count and the scale-free
// ratio, each computed directly pair by pair.
TEST(ReportMeasures, MaximaToleranceAndRatiosPairByPair)
{
    std::mt19937_64 random(13);
    std::lognormal_distribution<float> value(-6.0f, 2.0f);
    std::normal_distribution<float> noise(0.0f, 0.02f);
    Pairs pairs;
    for (int i = 0; i < 50000; ++i) {
        const float a = value(random) * (random() % 50 == 0 ? -1.0f : 1.0f);
        pairs.as.push_back(a);
        pairs.bs.push_back(random() % 100 == 0 ? 0.0f : a * (1.0f + noise(random)));
    }
    ReportOptions options = optionsWith(1e-4);
    options.measures.rtol = 0.02;
    options.measures.atol = 1e-6;
    const Report report = measure(pairs, options);

    std::int64_t within = 0;
    double relMax = -1.0;
    std::int64_t relMaxIndex = -1;
    double ratioMax = 0.0;
    std::int64_t ratioMaxIndex = -1;
    double absMax = 0.0;
    double allptsMax = 0.0;
    for (std::size_t i = 0; i < pairs.as.size(); ++i) {
        const double a = pairs.as[i];
        const double b = pairs.bs[i];
        const double error = std::fabs(a - b);
        within += error <= 1e-6 + 0.02 * std::fabs(a) ? 1 : 0;
        const double relative = error / std::max(std::fabs(a), 1e-4);
        if (relative > relMax) {
            relMax = relative;
            relMaxIndex = static_cast<std::int64_t>(i);
        }
        if (a > 0 && b > 0 && std::max(a / b, b / a) > ratioMax) {
            ratioMax = std::max(a / b, b / a);
            ratioMaxIndex = static_cast<std::int64_t>(i);
        }
        absMax = std::max(absMax, error);
        allptsMax = std::max(allptsMax, std::fabs(a));
    }
    EXPECT_EQ(report.within, within);
    EXPECT_EQ(report.withinShare, static_cast<double>(within) / 50000.0);
    EXPECT_EQ(report.relMax, relMax);
    EXPECT_EQ(report.relMaxIndex, relMaxIndex);
    EXPECT_EQ(report.ratioMax, ratioMax);
    EXPECT_EQ(report.ratioMaxIndex, ratioMaxIndex);
    EXPECT_EQ(report.maxOverMaxAllpts, absMax / allptsMax);
}

double nearestRank(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::max<std::size_t>(rank, 1) - 1];
}

TEST(ReportMeasures, QuantilesAgainstAFullSort)
{
    std::mt19937_64 random(9);
    for (int round = 0; round < 6; ++round) {
        Pairs pairs;
        std::vector<double> absolute;
        std::vector<double> relative;
        const int count = 1000 + static_cast<int>(random() % 100000);
        std::lognormal_distribution<float> value(-6.0f, 1.0f + static_cast<float>(round));
        std::normal_distribution<float> noise(0.0f, 0.05f * static_cast<float>(round + 1));
        for (int i = 0; i < count; ++i) {
            const float a = value(random);
            // Some exact matches, to put weight on zero.
            const float b = random() % 10 == 0 ? a : a * (1.0f + noise(random));
            pairs.as.push_back(a);
            pairs.bs.push_back(b);
            absolute.push_back(std::fabs(static_cast<double>(a) - b));
            relative.push_back(absolute.back() / a);
        }
        const Report report = measure(pairs, optionsWith());
        const double bound = kQuantileBound;
        expectClose(report.absQuantiles.median, nearestRank(absolute, 0.5), bound, "median");
        expectClose(report.absQuantiles.p90, nearestRank(absolute, 0.9), bound, "p90");
        expectClose(report.absQuantiles.p99, nearestRank(absolute, 0.99), bound, "p99");
        expectClose(report.absQuantiles.p999, nearestRank(absolute, 0.999), bound, "p99.9");
        expectClose(report.relQuantiles.median, nearestRank(relative, 0.5), bound, "relative median");
        expectClose(report.relQuantiles.p99, nearestRank(relative, 0.99), bound, "relative p99");
    }
    // Pairs (1, 1 + 2^-e) for e = exponentOf(i), i from 0 to count - 1,
    // and their errors.
    const auto levels = [](int count, auto exponentOf, std::vector<double>& errors) {
        Pairs pairs;
        for (int i = 0; i < count; ++i) {
            const float b = 1.0f + static_cast<float>(std::ldexp(1.0, -exponentOf(i)));
            pairs.as.push_back(1.0f);
            pairs.bs.push_back(b);
            errors.push_back(static_cast<double>(b) - 1.0);
        }
        return pairs;
    };
    // Errors repeated hundreds of times over, at levels far apart, so that
    // the counts of several buckets pass 255 more than once.
    std::vector<double> absolute;
    const Pairs pairs = levels(6000, [](int i) { return 4 + 5 * (i % 4) + (i % 3 == 0 ? 1 : 0); }, absolute);
    const Report repeated = measure(pairs, optionsWith());
    expectClose(repeated.absQuantiles.median, nearestRank(absolute, 0.5), kQuantileBound, "repeated median");
    expectClose(repeated.absQuantiles.p90, nearestRank(absolute, 0.9), kQuantileBound, "repeated p90");
    expectClose(repeated.absQuantiles.p99, nearestRank(absolute, 0.99), kQuantileBound, "repeated p99");
    // Counts that are whole multiples of 256, whose low bytes read 0.
    std::vector<double> multipleErrors;
    const Pairs multiples = levels(3 * 512 + 100, [](int i) { return 4 + 5 * std::min(i / 512, 3); }, multipleErrors);
    const Report whole = measure(multiples, optionsWith());
    expectClose(whole.absQuantiles.median, nearestRank(multipleErrors, 0.5), kQuantileBound, "multiples median");
    expectClose(whole.absQuantiles.p90, nearestRank(multipleErrors, 0.9), kQuantileBound, "multiples p90");
}

// The worst points are the first K of all points sorted by error, the
// earlier of equal errors first; a repeated run enters as its copies would.
TEST(ReportMeasures, WorstPointsAgainstAFullSort)
{
    std::mt19937_64 random(11);
    Pairs pairs;
    for (int i = 0; i < 20000; ++i) {
        // Few distinct values, so that ties are common.
        pairs.as.push_back(static_cast<float>(random() % 50) + 1.0f);
        pairs.bs.push_back(static_cast<float>(random() % 50) + 1.0f);
    }
    for (std::int32_t k : {1, 7, 100}) {
        const Report report = measure(pairs, optionsWith(0.0, k));
        for (bool byRelative : {false, true}) {
            std::vector<std::pair<double, std::int64_t>> all;
            for (std::size_t i = 0; i < pairs.as.size(); ++i) {
                const double error = std::fabs(static_cast<double>(pairs.as[i]) - pairs.bs[i]);
                all.emplace_back(byRelative ? error / pairs.as[i] : error, static_cast<std::int64_t>(i));
            }
            std::sort(all.begin(), all.end(), [](const auto& x, const auto& y) {
                return x.first != y.first ? x.first > y.first : x.second < y.second;
            });
            const std::vector<WorstPoint>& got = byRelative ? report.worstRel.points : report.worstAbs.points;
            ASSERT_EQ(got.size(), static_cast<std::size_t>(k));
            for (std::size_t i = 0; i < got.size(); ++i)
                EXPECT_EQ(got[i].index, all[i].second) << "rank " << i << (byRelative ? " relative" : "");
        }
    }

    ErrorMeasures repeated;
    startErrorMeasures(repeated, optionsWith(0.0, 5).measures, {}, 5);
    takeFloatPairs(repeated, pairs.as.data(), pairs.bs.data(), 3, 0);
    takeRepeatedPair(repeated, 100.0, 1.0, 100.0f, 1.0f, false, 3, 1000000);
    const std::vector<WorstPoint> worst = takeWorstPoints(repeated.worstAbs).points;
    ASSERT_EQ(worst.size(), 5u);
    for (std::int64_t i = 0; i < 5; ++i)
        EXPECT_EQ(worst[static_cast<std::size_t>(i)].index, 3 + i);
}

// NaN and infinite values stay out of the accurate figures, and the relative
// error of a zero a is counted apart.
TEST(ReportMeasures, PairsLeftOutAndZeroDenominators)
{
    const Pairs pairs{{1.0f, NAN, INFINITY, 0.0f, 0.0f, 2.0f}, {2.0f, 1.0f, INFINITY, 0.0f, 1.0f, -2.0f}};
    const Report report = measure(pairs, optionsWith());
    EXPECT_EQ(report.leftOut, 2);
    EXPECT_EQ(report.measured, 4);
    EXPECT_EQ(report.absMean, (1.0 + 0.0 + 1.0 + 4.0) / 4);
    EXPECT_EQ(report.relZeroOverZero, 1);
    EXPECT_EQ(report.relInfinite, 1);
    EXPECT_EQ(report.relCount, 2);
    EXPECT_EQ(report.relMean, (1.0 + 2.0) / 2);
    EXPECT_EQ(report.oneNotPositive, 2);
    EXPECT_EQ(report.ratioPairs, 1);
    EXPECT_EQ(report.ratioMax, 2.0);
    // With a floor no denominator is zero.
    EXPECT_EQ(measure(pairs, optionsWith(0.5)).relCount, 4);
}

}  // namespace

namespace {

// Relative errors by decade against plain comparisons with the bounds, at
// and beside every bound; and with none below 1e-4, so that the lowest
// bounds lie below every error.
TEST(ReportMeasures, DecadesAtTheirBounds)
{
    const double bounds[] = {1e-8, 1e-7, 1e-6, 1e-5, 1e-4, 1e-3, 1e-2, 1e-1, 1.0};
    std::vector<float> errors = {0.0f, 1e-30f, 3.0f, 1e30f};
    for (double bound : bounds)
        for (float near : {std::nextafter(static_cast<float>(bound), 0.0f), static_cast<float>(bound),
                           std::nextafter(static_cast<float>(bound), 1e38f)})
            errors.push_back(near);
    // Once, where the summary lists the errors, and over and over, where it
    // counts them in buckets.
    for (const std::size_t copies : {std::size_t{1}, kListedValues / errors.size() + 1})
        for (const float least : {0.0f, 1e-4f}) {
            Pairs pairs;
            std::array<std::int64_t, kDecadeBins> expected{};
            for (std::size_t copy = 0; copy < copies; ++copy)
                for (float error : errors) {
                    if (error < least)
                        continue;
                    // With a floor of 1 and a = 0, the relative error is b itself.
                    pairs.as.push_back(0.0f);
                    pairs.bs.push_back(error);
                    int bin = error == 0.0f ? 0 : 1;
                    for (double bound : bounds)
                        bin += error != 0.0f && error >= bound ? 1 : 0;
                    ++expected[static_cast<std::size_t>(bin)];
                }
            EXPECT_EQ(measure(pairs, optionsWith(1.0)).decades, expected)
                << "errors from " << least << ", " << copies << " copies";
        }
}

// Pairs of doubles through the measures, as the pass hands them over,
// without the classic sums; each block with the exclusions given, if any.
Report measureDoubles(const std::vector<double>& as, const std::vector<double>& bs, const ReportOptions& options,
                      const bool* excluded = nullptr)
{
    ErrorMeasures measures;
    startErrorMeasures(measures, options.measures, {}, options.measures.worst);
    const auto n = static_cast<std::int64_t>(as.size());
    for (std::int64_t first = 0; first < n; first += kPairBlock) {
        const auto count = static_cast<std::int32_t>(std::min<std::int64_t>(kPairBlock, n - first));
        const auto at = static_cast<std::size_t>(first);
        takeMeasuredPairs(measures, {as.data() + at, bs.data() + at, nullptr, nullptr, excluded, count, first});
    }
    Report report;
    summarizeReport(options, measures, n, report);
    return report;
}

// The mean, sample standard deviation and standard error, two passes in
// long double.
struct Moments {
    double mean;
    double sd;
    double se;
};

Moments momentsOf(const std::vector<double>& terms)
{
    long double sum = 0;
    for (double term : terms)
        sum += term;
    const long double n = static_cast<long double>(terms.size());
    const long double mean = sum / n;
    long double squares = 0;
    for (double term : terms)
        squares += (term - mean) * (term - mean);
    const long double sd = std::sqrt(squares / (n - 1));
    return {static_cast<double>(mean), static_cast<double>(sd), static_cast<double>(sd / std::sqrt(n))};
}

// Signed errors that cancel to a millionth of their magnitudes, at scales
// 2^-40 to 2^40, every positive one before every negative one, so that a
// running sum climbs far above the result before it falls: the bias
// against exact rational sums of the very terms the report sums, and its
// standard error against two passes.
TEST(ReportMeasures, BiasAgainstExactSumsUnderHeavyCancellation)
{
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> unit(1.0, 2.0);
    std::vector<double> as;
    std::vector<double> bs;
    for (int i = 0; i < 150000; ++i) {
        const double scale = std::ldexp(1.0, static_cast<int>(random() % 81) - 40);
        as.push_back(unit(random) * scale);
        // Within a factor of 2 of a, so that b - a is exact.
        bs.push_back(as.back() + std::ldexp(unit(random), -static_cast<int>(random() % 30) - 2) * scale);
    }
    // Then each pair again with its error turned and a millionth smaller.
    for (std::size_t i = 0; i < 150000; ++i) {
        as.push_back(as[i]);
        bs.push_back(as[i] - (bs[i] - as[i]) * (1.0 - 1e-6));
    }
    ReportOptions options = optionsWith(0.0, 0);
    const Report report = measureDoubles(as, bs, options);
    SignedExactSum signedSum;
    SignedExactSum signedRelSum;
    double magnitudes = 0.0;
    double relMagnitudes = 0.0;
    std::vector<double> terms;
    std::vector<double> relTerms;
    for (std::size_t i = 0; i < as.size(); ++i) {
        const double term = bs[i] - as[i];
        const double relTerm = term / std::fabs(as[i]);
        signedSum.add(term);
        signedRelSum.add(relTerm);
        magnitudes += std::fabs(term);
        relMagnitudes += std::fabs(relTerm);
        terms.push_back(term);
        relTerms.push_back(relTerm);
    }
    const auto n = static_cast<double>(as.size());
    const double exactMean = signedSum.value() / n;
    const double exactRelMean = signedRelSum.value() / n;
    // The cancellation is real: the means are far below the magnitudes.
    ASSERT_LT(std::fabs(exactRelMean), 1e-5 * relMagnitudes / n);
    // Better than the 1e-12 asked for: the bound the sums' argument gives.
    EXPECT_LE(std::fabs(report.signedMean - exactMean), 1e-13 * magnitudes / n) << report.signedMean;
    EXPECT_LE(std::fabs(report.signedRelMean - exactRelMean), 1e-13 * relMagnitudes / n) << report.signedRelMean;
    expectClose(report.signedSe, momentsOf(terms).se, 1e-9, "standard error of the bias");
    expectClose(report.signedRelSe, momentsOf(relTerms).se, 1e-9, "standard error of the relative bias");
}

// The spread of the absolute and relative errors beside their means, also
// where the first error lies a million spreads from the rest, which a
// spread taken as offsets from the first term cannot survive.
TEST(ReportMeasures, SpreadWithinOneRunAgainstTwoPasses)
{
    std::mt19937_64 random(12);
    std::normal_distribution<double> noise(0.0, 1e-4);
    for (bool outlierFirst : {false, true}) {
        std::vector<double> as{1.0};
        std::vector<double> bs{outlierFirst ? 1e6 : 1.0 + 1e-4};
        for (int i = 0; i < 100000; ++i) {
            const double a = 1.0 + static_cast<double>(random() % 1000) / 1000.0;
            as.push_back(a);
            bs.push_back(a * (1.0 + 0.01 + noise(random)));
        }
        const Report report = measureDoubles(as, bs, optionsWith(0.0, 0));
        std::vector<double> absErrors;
        std::vector<double> relErrors;
        for (std::size_t i = 0; i < as.size(); ++i) {
            absErrors.push_back(std::fabs(as[i] - bs[i]));
            relErrors.push_back(std::fabs(as[i] - bs[i]) / std::fabs(as[i]));
        }
        const Moments abs = momentsOf(absErrors);
        const Moments rel = momentsOf(relErrors);
        expectClose(report.absSd, abs.sd, 1e-10, "sd of |a - b|");
        expectClose(report.absSe, abs.se, 1e-10, "se of |a - b|");
        expectClose(report.relSd, rel.sd, 1e-10, "sd of the relative error");
        expectClose(report.relSe, rel.se, 1e-10, "se of the relative error");
    }
    // One pair has a mean but no spread.
    const Report one = measureDoubles({1.0}, {2.0}, optionsWith(0.0, 0));
    EXPECT_EQ(one.absMean, 1.0);
    EXPECT_TRUE(std::isnan(one.absSd));
    EXPECT_TRUE(std::isnan(one.signedSe));
}

// The least rtol that all, 99.9% and 99% of pairs meet is one they do meet,
// and within 0.1% of the exact order statistic of the rtol each needs.
// Where a is 0, a pair needs none (b = 0 too) or no rtol meets it: more
// than 0.1% of such pairs leave only the 99% a finite rtol.
TEST(ReportMeasures, ToleranceDiagnosticsAreTolerancesThePairsMeet)
{
    std::mt19937_64 random(13);
    std::vector<double> as;
    std::vector<double> bs;
    for (int i = 0; i < 20000; ++i) {
        const double a = std::exp(static_cast<double>(random() % 2000) / 100.0 - 10.0);
        as.push_back(a);
        bs.push_back(a * (1.0 + std::ldexp(static_cast<double>(random() % 1000000), -30)));
        if (i % 100 == 0) {
            as.push_back(0.0);
            bs.push_back(i % 500 == 0 ? 1.0 : 0.0);
        }
    }
    for (double atol : {0.0, 1e-3}) {
        ReportOptions options = optionsWith(0.0, 0);
        options.measures.atol = atol;
        const Report report = measureDoubles(as, bs, options);
        std::vector<double> needed;
        for (std::size_t i = 0; i < as.size(); ++i) {
            const double error = std::fabs(as[i] - bs[i]);
            needed.push_back(error <= atol ? 0.0 : (error - atol) / as[i]);
        }
        std::sort(needed.begin(), needed.end());
        const auto exact = [&](double share) {
            const auto rank = static_cast<std::size_t>(std::ceil(share * static_cast<double>(needed.size())));
            return needed[rank - 1];
        };
        const std::pair<double, double> cases[] = {
            {report.rtolForAll, 1.0}, {report.rtolFor999, 0.999}, {report.rtolFor99, 0.99}};
        EXPECT_TRUE(std::isinf(report.rtolFor999));
        EXPECT_TRUE(std::isfinite(report.rtolFor99));
        for (const auto& [rtol, share] : cases) {
            EXPECT_GE(rtol, exact(share)) << share;
            // Taken at the top of its bucket, twice the quantiles' bound.
            EXPECT_LE(rtol, exact(share) * (1 + 2 * kQuantileBound)) << share;
            if (std::isinf(rtol))
                continue;
            options.measures.rtol = rtol;
            const Report again = measureDoubles(as, bs, options);
            EXPECT_GE(static_cast<double>(again.within), share * static_cast<double>(again.toleranceCount))
                << "rtol " << rtol << " for " << share;
        }
    }
    // Pairs of 0 need none, ranked below the rest.
    std::vector<double> zeros(995, 0.0);
    std::vector<double> others = zeros;
    for (int i = 0; i < 5; ++i) {
        zeros.push_back(1.0);
        others.push_back(2.0);
    }
    const Report mostlyZeros = measureDoubles(zeros, others, optionsWith(0.0, 0));
    EXPECT_EQ(mostlyZeros.rtolFor99, 0.0);
    EXPECT_EQ(mostlyZeros.rtolFor999, 1.0);
    EXPECT_EQ(mostlyZeros.rtolForAll, 1.0);
}

// Densities of 0 given as their logarithms, minus infinity, count as the
// densities themselves do: b = 0 alone is a relative error of 1 and no
// ratio, a = 0 takes the floor.
TEST(ReportMeasures, LogarithmsOfZeroDensitiesCountAsTheDensities)
{
    const std::vector<double> as{0.5, 0.0, 0.0, 0.25, 2.0, 0.05};
    const std::vector<double> bs{0.0, 0.5, 0.0, 0.5, 0.0, 0.0};
    std::vector<double> las;
    std::vector<double> lbs;
    for (std::size_t i = 0; i < as.size(); ++i) {
        las.push_back(std::log(as[i]));
        lbs.push_back(std::log(bs[i]));
    }
    for (double floor : {0.0, 0.1}) {
        ReportOptions options = optionsWith(floor, 0);
        options.measures.rtol = 0.5;
        const Report densities = measureDoubles(as, bs, options);
        options.measures.logs = true;
        const Report logs = measureDoubles(las, lbs, options);
        EXPECT_EQ(logs.relCount, densities.relCount) << floor;
        EXPECT_EQ(logs.relZeroOverZero, densities.relZeroOverZero) << floor;
        EXPECT_EQ(logs.relInfinite, densities.relInfinite) << floor;
        EXPECT_DOUBLE_EQ(logs.relMean, densities.relMean) << floor;
        EXPECT_DOUBLE_EQ(logs.relMax, densities.relMax) << floor;
        EXPECT_EQ(logs.within, densities.within) << floor;
        EXPECT_EQ(logs.ratioPairs, densities.ratioPairs) << floor;
        EXPECT_EQ(logs.oneNotPositive, densities.oneNotPositive) << floor;
        EXPECT_DOUBLE_EQ(logs.logRatioMean, densities.logRatioMean) << floor;
    }
}

// --min-truth leaves the pairs of low truth out of the relative, ratio and
// tolerance figures, counted, and keeps them in the absolute ones.
TEST(ReportMeasures, MinTruthSkipsLowDensityPairs)
{
    const std::vector<double> as{1e-30, 1e-3, 0.5, 2.0};
    const std::vector<double> bs{1e-20, 2e-3, 0.5, 2.2};
    ReportOptions options = optionsWith(0.0, 0);
    options.measures.minTruthGiven = true;
    options.measures.minTruth = 1e-3;
    const Report report = measureDoubles(as, bs, options);
    EXPECT_EQ(report.belowMinTruth, 1);
    EXPECT_EQ(report.measured, 4);
    EXPECT_EQ(report.relCount, 3);
    EXPECT_EQ(report.toleranceCount, 3);
    EXPECT_EQ(report.ratioPairs, 3);
    EXPECT_DOUBLE_EQ(report.relMax, 1.0);
    expectClose(report.absMean, (1e-20 - 1e-30 + 1e-3 + 0.2) / 4, 1e-12, "mean |a - b| of every pair");
    EXPECT_EQ(report.within, 1);
}

// The table by decade of a, and every figure by decade, against the pairs
// split by hand: counts, means, and p99 against a full sort (within the 1%
// its coarse buckets promise); a written power of ten starts its decade.
TEST(ReportMeasures, ByDecadeOfTruthAgainstAFullSort)
{
    std::mt19937_64 random(14);
    std::normal_distribution<double> noise(0.0, 0.05);
    std::vector<double> as;
    std::vector<double> bs;
    for (int i = 0; i < 60000; ++i) {
        const double a = std::pow(10.0, static_cast<double>(random() % 30000) / 1000.0 - 25.0);
        as.push_back(a);
        bs.push_back(a * (1.0 + noise(random)));
    }
    const double tenth = std::strtod("1e-5", nullptr);
    for (double a : {0.0, -1.0, tenth, std::nextafter(tenth, 0.0)}) {
        as.push_back(a);
        bs.push_back(0.5);
    }
    EXPECT_EQ(decadeOfPositive(tenth), -5);
    EXPECT_EQ(decadeOfPositive(std::nextafter(tenth, 0.0)), -6);

    std::map<int, std::vector<double>> relByDecade;
    std::map<int, std::vector<std::size_t>> pairsByDecade;
    // A decade starts at the double that its power of ten is written as;
    // log10, which rounds, may say the decade beside.
    const auto power = [](int k) { return std::strtod(("1e" + std::to_string(k)).c_str(), nullptr); };
    for (std::size_t i = 0; i < as.size(); ++i) {
        int decade = kNoDecade;
        if (as[i] > 0.0) {
            decade = static_cast<int>(std::floor(std::log10(as[i])));
            decade += as[i] >= power(decade + 1) ? 1 : as[i] < power(decade) ? -1 : 0;
        }
        pairsByDecade[decade].push_back(i);
        if (as[i] != 0.0)
            relByDecade[decade].push_back(std::fabs(as[i] - bs[i]) / std::fabs(as[i]));
    }

    ReportOptions options = optionsWith(0.0, 0);
    options.measures.byDensity = true;
    const Report report = measureDoubles(as, bs, options);
    ASSERT_EQ(report.densityTable.size(), pairsByDecade.size());
    ASSERT_EQ(report.byDensity.size(), pairsByDecade.size());
    for (std::size_t row = 0; row < report.densityTable.size(); ++row) {
        const DensityRow& line = report.densityTable[row];
        const Report& decade = report.byDensity[row];
        EXPECT_EQ(decade.decade, line.decade);
        EXPECT_EQ(line.pairs, static_cast<std::int64_t>(pairsByDecade[line.decade].size())) << line.decade;
        EXPECT_EQ(decade.pairs, line.pairs);
        std::vector<double> rel = relByDecade[line.decade];
        if (rel.empty()) {
            EXPECT_TRUE(std::isnan(line.relP99)) << line.decade;
            continue;
        }
        std::sort(rel.begin(), rel.end());
        const double p99 = rel[static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(rel.size()))) - 1];
        EXPECT_NEAR(line.relP99, p99, kCoarseQuantileBound * p99) << line.decade;
        EXPECT_NEAR(decade.relQuantiles.p99, p99, kCoarseQuantileBound * p99) << line.decade;
        EXPECT_EQ(line.relMax, rel.back());
        expectClose(line.relMean, momentsOf(rel).mean, 1e-12, "mean relative error of a decade");
        expectClose(decade.relMean, line.relMean, 1e-12, "the row's mean and the table's");
    }
}

// A block whose pairs are all measurable is taken lane by lane; the same
// pairs with an exclusion list (of no pair) go one by one.  Both ways give
// the same counts, extremes, quantiles, worst points and table by decade,
// and sums within their bounds: for blocks of common pairs only, and for
// blocks that hold ratios beyond the series' reach, values of either sign
// and zeros.
TEST(ReportMeasures, TheLanePathAgreesWithThePairPath)
{
    std::mt19937_64 random(15);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<double> as;
    std::vector<double> bs;
    for (int i = 0; i < 50000; ++i) {
        as.push_back(std::exp(-6.0 + 2.0 * normal(random)));
        bs.push_back(as.back() * (1.0 + 0.03 * normal(random)));
    }
    // Ties for the largest errors within a block, the earlier of which is
    // the one to name; a block's largest ratio at its end.
    for (std::size_t i : {700u, 701u}) {
        as[i] = 100.0;
        bs[i] = 119.0;
    }
    as[1535] = 1.0;
    bs[1535] = 0.85;
    for (std::size_t i = 20000; i < as.size(); i += 89)
        bs[i] = as[i] * (i % 2 == 0 ? 3.0 : 0.2);
    for (std::size_t i = 30000; i < as.size(); i += 97)
        as[i] = -as[i];
    for (std::size_t i = 40000; i < as.size(); i += 101)
        (i % 2 == 0 ? as[i] : bs[i]) = 0.0;
    for (double atol : {0.0, 1e-5}) {
        ReportOptions options = optionsWith(1e-4, 7);
        options.measures.atol = atol;
        const bool noneExcluded[kPairBlock] = {};
        const Report lanes = measureDoubles(as, bs, options);
        const Report pairs = measureDoubles(as, bs, options, noneExcluded);
        EXPECT_EQ(lanes.measured, pairs.measured);
        EXPECT_EQ(lanes.relCount, pairs.relCount);
        EXPECT_EQ(lanes.within, pairs.within);
        EXPECT_EQ(lanes.ratioPairs, pairs.ratioPairs);
        EXPECT_EQ(lanes.oneNotPositive, pairs.oneNotPositive);
        EXPECT_EQ(lanes.relZeroOverZero, pairs.relZeroOverZero);
        EXPECT_EQ(lanes.decades, pairs.decades);
        EXPECT_EQ(lanes.absMax, pairs.absMax);
        EXPECT_EQ(lanes.absMaxIndex, pairs.absMaxIndex);
        EXPECT_EQ(lanes.relMax, pairs.relMax);
        EXPECT_EQ(lanes.relMaxIndex, pairs.relMaxIndex);
        EXPECT_EQ(lanes.ratioMax, pairs.ratioMax);
        EXPECT_EQ(lanes.ratioMaxIndex, pairs.ratioMaxIndex);
        EXPECT_EQ(lanes.rtolForAll, pairs.rtolForAll);
        EXPECT_EQ(lanes.rtolFor99, pairs.rtolFor99);
        EXPECT_EQ(lanes.absQuantiles.p99, pairs.absQuantiles.p99);
        EXPECT_EQ(lanes.relQuantiles.median, pairs.relQuantiles.median);
        const std::pair<double, double> sums[] = {{lanes.absMean, pairs.absMean},
                                                  {lanes.absRms, pairs.absRms},
                                                  {lanes.absSd, pairs.absSd},
                                                  {lanes.relMean, pairs.relMean},
                                                  {lanes.relSd, pairs.relSd},
                                                  {lanes.signedMean, pairs.signedMean},
                                                  {lanes.signedRelSe, pairs.signedRelSe},
                                                  {lanes.logRatioMean, pairs.logRatioMean},
                                                  {lanes.relativeL2, pairs.relativeL2}};
        for (const auto& [lane, pair] : sums)
            expectClose(lane, pair, 1e-12, "a sum taken both ways");
        ASSERT_EQ(lanes.worstAbs.points.size(), pairs.worstAbs.points.size());
        for (std::size_t i = 0; i < lanes.worstAbs.points.size(); ++i) {
            EXPECT_EQ(lanes.worstAbs.points[i].index, pairs.worstAbs.points[i].index);
            EXPECT_EQ(lanes.worstRel.points[i].index, pairs.worstRel.points[i].index);
        }
        ASSERT_EQ(lanes.densityTable.size(), pairs.densityTable.size());
        for (std::size_t row = 0; row < lanes.densityTable.size(); ++row) {
            EXPECT_EQ(lanes.densityTable[row].decade, pairs.densityTable[row].decade);
            EXPECT_EQ(lanes.densityTable[row].pairs, pairs.densityTable[row].pairs);
            EXPECT_EQ(lanes.densityTable[row].relP99, pairs.densityTable[row].relP99);
            EXPECT_EQ(lanes.densityTable[row].withinShare, pairs.densityTable[row].withinShare);
            expectClose(lanes.densityTable[row].relMean, pairs.densityTable[row].relMean, 1e-12, "a decade's mean");
        }
    }
}

}  // namespace

namespace {

// The spreads, rms and relative L2 of pairs of small integers u, v scaled by
// 2^k: exactly 2^k times those of the integers, which long double gives to
// far more digits than a double holds.
struct ScaledFigures {
    double absSd, absSe, biasSe, relSd, absRms, relativeL2;
};

ScaledFigures integerFigures(const std::vector<double>& us, const std::vector<double>& vs)
{
    std::vector<double> absErrors;
    std::vector<double> signedErrors;
    std::vector<double> relErrors;
    long double squares = 0;
    long double truthSquares = 0;
    for (std::size_t i = 0; i < us.size(); ++i) {
        absErrors.push_back(std::fabs(us[i] - vs[i]));
        signedErrors.push_back(vs[i] - us[i]);
        relErrors.push_back(std::fabs(us[i] - vs[i]) / std::fabs(us[i]));
        squares += static_cast<long double>(us[i] - vs[i]) * (us[i] - vs[i]);
        truthSquares += static_cast<long double>(us[i]) * us[i];
    }
    const auto n = static_cast<long double>(us.size());
    return {momentsOf(absErrors).sd,
            momentsOf(absErrors).se,
            momentsOf(signedErrors).se,
            momentsOf(relErrors).sd,
            static_cast<double>(std::sqrt(squares / n)),
            static_cast<double>(std::sqrt(squares / truthSquares))};
}

}  // namespace

// Every sum of squares scales: the same integers at 1e-300, 1e-170, 1e160
// and 1e300 (powers of two, so that the scaled values are exact) give the
// same figures times the scale, one pair at a time and a block at a time,
// and relative ones unchanged.
TEST(ReportMeasures, SpreadsRmsAndL2AtEveryMagnitude)
{
    std::mt19937_64 random(22);
    for (std::size_t count : {std::size_t{3}, std::size_t{2000}}) {
        std::vector<double> us;
        std::vector<double> vs;
        for (std::size_t i = 0; i < count; ++i) {
            us.push_back(static_cast<double>(random() % 1000 + 1));
            vs.push_back(us.back() + static_cast<double>(random() % 21) - 10.0);
        }
        const ScaledFigures exact = integerFigures(us, vs);
        for (int exponent : {-997, -565, 531, 997}) {
            std::vector<double> as;
            std::vector<double> bs;
            for (std::size_t i = 0; i < count; ++i) {
                as.push_back(std::ldexp(us[i], exponent));
                bs.push_back(std::ldexp(vs[i], exponent));
            }
            const Report report = measureDoubles(as, bs, optionsWith(0.0, 0));
            const std::string at = "count " + std::to_string(count) + ", scale 2^" + std::to_string(exponent);
            expectClose(report.absSd, std::ldexp(exact.absSd, exponent), 1e-12, ("abs sd, " + at).c_str());
            expectClose(report.absSe, std::ldexp(exact.absSe, exponent), 1e-12, ("abs se, " + at).c_str());
            expectClose(report.signedSe, std::ldexp(exact.biasSe, exponent), 1e-12, ("bias se, " + at).c_str());
            expectClose(report.relSd, exact.relSd, 1e-12, ("rel sd, " + at).c_str());
            expectClose(report.absRms, std::ldexp(exact.absRms, exponent), 1e-12, ("rms, " + at).c_str());
            expectClose(report.relativeL2, exact.relativeL2, 1e-12, ("relative L2, " + at).c_str());
        }
    }
    // Errors and truths far apart in scale: their quotient is a double
    // though neither square sum is one.
    expectClose(measureDoubles({7e-61}, {7.7e-61}, optionsWith(0.0, 0)).relativeL2, 0.1, 1e-12, "L2 of 0.1");
    expectClose(measureDoubles({1e-62}, {1.01e-60}, optionsWith(0.0, 0)).relativeL2, 100.0, 1e-12, "L2 of 100");
    expectClose(measureDoubles({1e-170, 3e-170}, {0.0, 0.0}, optionsWith(0.0, 0)).absSd, std::sqrt(2.0) * 1e-170,
                1e-12, "sd of 1e-170 and 3e-170");
}

// With --log, |a - b| holds wherever it is a double, however far exp(ln a)
// and exp(ln b) lie beyond the doubles; long double's range, to 1e-4951,
// gives the references.  Pairs whose densities overflow the doubles or
// whose difference would be NaN crash nothing and count as they are.
TEST(ReportMeasures, LogDensitiesAtTheEndsOfTheDoubles)
{
    struct Case {
        double la, lb;
    };
    const Case cases[] = {{-740, -20}, {-800, -600}, {-20, -740}, {-745, -744}, {0, -800}, {700, 705}, {-1, -1}};
    for (const Case& c : cases) {
        ReportOptions options = optionsWith(0.0, 0);
        options.measures.logs = true;
        const Report report = measureDoubles({c.la}, {c.lb}, options);
        const long double exact = std::fabs(std::exp(static_cast<long double>(c.la)) -
                                            std::exp(static_cast<long double>(c.lb)));
        const std::string at = std::to_string(c.la) + " against " + std::to_string(c.lb);
        if (exact >= DBL_MIN)
            expectClose(report.absMean, static_cast<double>(exact), 1e-13, ("|a - b|, " + at).c_str());
        else
            EXPECT_NEAR(report.absMean, static_cast<double>(exact), DBL_TRUE_MIN * 4) << at;
        EXPECT_EQ(report.absMax, report.absMean) << at;
        EXPECT_EQ(report.signedMean, c.lb >= c.la ? report.absMean : -report.absMean) << at;
        EXPECT_EQ(report.absUnderflows, exact > 0 && exact < DBL_MIN ? 1 : 0) << at;
    }
    // Equal logarithms past ln(DBL_MAX), and a density of 0 against 1 from
    // one of exp(-800): no NaN reaches the quantiles.
    ReportOptions options = optionsWith(0.0, 0);
    options.measures.logs = true;
    const Report equal = measureDoubles({710, 710, -800}, {710, 710, 0}, options);
    EXPECT_EQ(equal.measured, 3);
    EXPECT_EQ(equal.absMax, 1.0);
    EXPECT_EQ(equal.absQuantiles.median, 0.0);
    // The tolerance is decided in logarithms where atol / a overflows:
    // |a - b| = 2.06e-9 is not within 1e-12, and within 1e-8.
    options.measures.rtol = 0.0;
    for (double atol : {1e-12, 1e-8}) {
        options.measures.atol = atol;
        const Report within = measureDoubles({-740}, {-20}, options);
        EXPECT_EQ(within.within, atol > 2.1e-9 ? 1 : 0) << atol;
        EXPECT_EQ(within.rtolForAll, atol > 2.1e-9 ? 0.0 : INFINITY) << atol;
    }
}
