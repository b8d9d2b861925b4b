// calcGap_report's own parts: its options, the pass over both files that
// notes what went wrong in the input, the accurate measures, the quantile
// summary, the list of worst points, the classic single-precision lines and
// the three output formats.  The value reader, the failure path and the
// quoting of names come from the shared support.
#pragma once

#include "calcGap.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// ---- Options ------------------------------------------------------------

enum class ReportFormat { text, tsv, json };

struct ReportOptions {
    const char* allptsPath = nullptr;
    const char* samplePath = nullptr;
    // Exactly count pairs, as the classic tools compare them; otherwise as
    // many as the shorter file yields.
    bool countGiven = false;
    std::int32_t count = 0;
    std::int32_t worst = 10;
    double floor = 0.0;
    double rtol = 0.01;
    double atol = 0.0;
    ReportFormat format = ReportFormat::text;
    bool strict = false;
};

// Reads the command line; --help and --version print and exit with status
// 0, a bad option or value ends the process with status 1.
ReportOptions parseReportOptions(int argc, char** argv);

// ---- Accurate sums ------------------------------------------------------

// A sum of nonnegative doubles within 1e-12 of the exact sum at any count
// up to 2^31: terms go into a plain block sum (at most 512 terms, so its
// error stays below 512 units of its last bit), and the block sums into a
// compensated total whose error is two units plus a vanishing term.
struct AccurateSum {
    double block = 0.0;
    double total = 0.0;
    double compensation = 0.0;
};

inline void addBlock(AccurateSum& sum)
{
    const double t = sum.total + sum.block;
    if (sum.total >= sum.block)
        sum.compensation += (sum.total - t) + sum.block;
    else
        sum.compensation += (sum.block - t) + sum.total;
    sum.total = t;
    sum.block = 0.0;
}

inline double sumValue(const AccurateSum& sum)
{
    return sum.total + sum.compensation + sum.block;
}

// ---- Quantile summary ---------------------------------------------------

// Counts of nonnegative doubles in buckets of 2^-9 of their binade: the
// bucket is the top 20 bits of the double, so memory is fixed (4 MiB, of
// which only the pages of the binades met are touched) and any order
// statistic is known to within its bucket.  The value reported for a
// bucket is its low end times 1 + 2^-10, within 2^-10 (0.098%) of anything
// in it, and clamped to the smallest and largest values seen, which are
// the first and last ranks exactly.
struct QuantileSummary {
    std::uint32_t* counts = nullptr;
    std::uint64_t total = 0;
    double smallest = INFINITY;
    double largest = 0.0;
};

constexpr double kQuantileBound = 0.001;

void startQuantileSummary(QuantileSummary& summary, const char* what);
void releaseQuantileSummary(QuantileSummary& summary);

inline std::uint32_t quantileBucket(double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return static_cast<std::uint32_t>(bits >> 43);
}

inline void addToSummary(QuantileSummary& summary, double value, std::uint32_t count = 1)
{
    summary.counts[quantileBucket(value)] += count;
    summary.smallest = std::min(summary.smallest, value);
    summary.largest = std::max(summary.largest, value);
    summary.total += count;
}

// The nearest-rank order statistics for the fractions given (each in
// (0, 1]), as the summary knows them; NaN for an empty summary.
std::vector<double> summaryQuantiles(const QuantileSummary& summary, const std::vector<double>& fractions);

// ---- Worst points -------------------------------------------------------

struct WorstPoint {
    std::int64_t index;
    float a;
    float b;
    double absError;
    double relError;
};

// The K points with the largest key, of equal keys the earliest first; a
// min-heap whose top is the point the next larger one pushes out.
struct WorstList {
    std::int32_t capacity = 0;
    bool byRelative = false;
    // A key must be greater to enter: below every key while there is room,
    // the top's key once the list is full, infinity when it keeps nothing.
    double threshold = -INFINITY;
    std::vector<WorstPoint> heap;
    std::string what;
};

void startWorstList(WorstList& list, std::int32_t capacity, bool byRelative);
void offerPointSlow(WorstList& list, const WorstPoint& point);

inline double worstKey(const WorstList& list, const WorstPoint& point)
{
    return list.byRelative ? point.relError : point.absError;
}

// One comparison for the points that do not enter, which are nearly all.
inline bool wouldEnter(const WorstList& list, double key)
{
    return key > list.threshold;
}

// The points in order, the worst first.
std::vector<WorstPoint> worstPoints(const WorstList& list);

// ---- Measures -----------------------------------------------------------

// Relative errors by decade: 0, below 1e-8, each decade up to 1, and 1 or
// more.
constexpr int kDecadeBins = 11;
extern const char* const kDecadeLabels[kDecadeBins];

struct ClassicLines {
    float sum = 0.0f;
    float squares = 0.0f;
    float peak = 0.0f;
};

struct ErrorMeasures {
    double floor = 0.0;
    double rtol = 0.0;
    double atol = 0.0;

    std::int64_t leftOut = 0;
    std::int64_t measured = 0;

    AccurateSum absSum;
    AccurateSum squareSum;
    double absMax = -1.0;
    std::int64_t absMaxIndex = -1;
    QuantileSummary absSummary;

    std::int64_t relCount = 0;
    AccurateSum relSum;
    double relMax = -1.0;
    std::int64_t relMaxIndex = -1;
    QuantileSummary relSummary;
    std::int64_t relZeroOverZero = 0;
    std::int64_t relInfinite = 0;
    std::array<std::int64_t, kDecadeBins> decades{};

    std::int64_t within = 0;

    std::int64_t ratioPairs = 0;
    AccurateSum logRatioSum;
    double logRatioMax = -1.0;
    double ratioMaxPair[2] = {1.0, 1.0};
    std::int64_t ratioMaxIndex = -1;
    std::int64_t oneNotPositive = 0;

    AccurateSum allptsSquareSum;
    double allptsMax = 0.0;

    ClassicLines classic;
    WorstList worstAbs;
    WorstList worstRel;
};

void startErrorMeasures(ErrorMeasures& measures, const ReportOptions& options);
void releaseErrorMeasures(ErrorMeasures& measures);

// Takes count pairs (as[j], bs[j]) with point indices first + j; count is
// at most kPairBlock.
void takeBlock(ErrorMeasures& measures, const float* as, const float* bs, std::int32_t count,
               std::int64_t first);

// Takes count copies of the pair (a, b), point indices first upwards, as
// count calls to takeBlock would.
void takeRepeatedPair(ErrorMeasures& measures, float a, float b, std::int64_t first, std::int64_t count);

// The classic tools' figures: in-order float sums of |a - b| and of its
// square, and the strict float maximum, over every pair.
void takeClassicBlock(ClassicLines& classic, const float* as, const float* bs, std::int32_t count);
void takeClassicRepeated(ClassicLines& classic, float a, float b, std::int64_t count);
std::string classicLine(float result);
float classicMean(const ClassicLines& classic, std::int32_t n);
float classicRms(const ClassicLines& classic, std::int32_t n);

// ---- Input --------------------------------------------------------------

enum class FileEnd {
    // The pass ended before this file did.
    notReached,
    endOfFile,
    // At text that cannot begin a number: every later read fails there.
    notANumber,
};

struct FileSummary {
    const char* path = nullptr;
    std::int64_t values = 0;
    std::int64_t nans = 0;
    std::int64_t infinities = 0;
    std::int64_t skippedReads = 0;
    TextPosition firstSkip{};
    FileEnd end = FileEnd::notReached;
    TextPosition stop{};
    std::string stopText;
    // Pairs that repeated this file's last value because it had ended.
    std::int64_t shortPairs = 0;
};

// ---- The report ---------------------------------------------------------

struct Quantiles {
    double median;
    double p90;
    double p99;
    double p999;
};

struct Report {
    ReportOptions options;
    FileSummary files[2];
    std::int64_t pairs = 0;
    std::int64_t leftOut = 0;
    std::int64_t measured = 0;

    double absMean, absRms, absMax;
    std::int64_t absMaxIndex;
    Quantiles absQuantiles;

    std::int64_t relCount;
    double relMean, relMax;
    std::int64_t relMaxIndex;
    Quantiles relQuantiles;
    std::int64_t relZeroOverZero, relInfinite;
    std::array<std::int64_t, kDecadeBins> decades;

    std::int64_t within;
    double withinShare;

    std::int64_t ratioPairs;
    double logRatioMean, ratioMax;
    std::int64_t ratioMaxIndex;
    std::int64_t oneNotPositive;

    double relativeL2, maxOverMaxAllpts;

    std::string classicMean, classicRms, classicPeak;

    std::vector<WorstPoint> worstAbs, worstRel;
};

// Reads both files once and fills the report.
Report runReport(const ReportOptions& options);

// The figures of the measures after a pass of pairs pairs; the files'
// summaries are the pass's to fill.
Report summarizeReport(const ReportOptions& options, const ErrorMeasures& measures, std::int64_t pairs);

// Whether the input had any of the problems the report lists.
bool inputHadProblems(const Report& report);

std::string formatText(const Report& report);
std::string formatTsv(const Report& report);
std::string formatJson(const Report& report);
