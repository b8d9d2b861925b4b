// The report: what the pass found in each file, and every figure the formats
// print, worked out once.
#pragma once

#include "measures/errorMeasures.h"
#include "comparisons/pairedComparison.h"
#include "inputs/timesFile.h"
#include "measures/quantileGates.h"
#include "options/reportOptions.h"
#include "reading/valueSource.h"
#include "summaries/worstPoints.h"

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace calcgap::report {

enum class FileEnd {
    // The pass ended, with its count, before this file did.
    notReached,
    endOfFile,
    // At text that cannot begin a number: every later read fails there.
    notANumber,
    // Not a regular file, so not read past the pairs to be counted.
    notCounted,
};

// How a file ended, in the words of the tab-separated and JSON formats.
inline const char* fileEndName(FileEnd end)
{
    switch (end) {
    case FileEnd::endOfFile:
        return "end";
    case FileEnd::notANumber:
        return "not-a-number";
    case FileEnd::notCounted:
        return "not-counted";
    case FileEnd::notReached:
        break;
    }
    return "not-reached";
}

struct FileSummary {
    const char* path = nullptr;
    // What it was read as: "text", ".npy <f8", "HDF5 dataset '/x', float64" ...
    std::string kind;
    std::int64_t values = 0;
    std::int64_t nans = 0;
    std::int64_t infinities = 0;
    std::int64_t skippedReads = 0;
    TextPosition firstSkip{};
    // Lines without the field that holds their value, and the first.
    std::int64_t shortLines = 0;
    std::uint64_t firstShortLine = 0;
    // Values that read as zero or subnormal from a nonzero value written, or
    // as infinite from a finite one; in binary files, subnormal values.
    std::int64_t underflows = 0;
    std::int64_t overflows = 0;
    std::int64_t commentLines = 0;
    bool byteOrderMark = false;
    bool firstSkipLooksNamed = false;
    FileEnd end = FileEnd::notReached;
    TextPosition stop{};
    std::string stopText;
    // Pairs that repeated this file's last value because it had ended.
    std::int64_t shortPairs = 0;
};

struct Quantiles {
    double median;
    double p90;
    double p99;
    double p999;
};

// An interval at the level of --ci; NaN without one.
struct Interval {
    double lo = NAN;
    double hi = NAN;
};

// An interval for each of the quantiles, in their order.
struct QuantileIntervals {
    Interval median, p90, p99, p999;
};

// One row of the table by decade of a.
struct DensityRow {
    // k of [10^k, 10^(k+1)), or kNoDecade for the pairs whose a <= 0.
    int decade;
    std::int64_t pairs;
    std::int64_t relCount;
    double relMean, relP99, relMax, absMean, withinShare;
};

// A sample against its baseline (--baseline), over the points where both
// have a finite relative error.
struct PairedFigures {
    std::int64_t points = -1;
    double winRate = NAN;
    std::int64_t ties = -1;
    double signP = NAN;
    double ratioMedian = NAN;
    double ratioGeomean = NAN;
    double differenceMean = NAN;
    double differenceSe = NAN;
    Interval differenceCi;
    // 1 where it won (a win rate above 1/2), 0 where not, -1 where there
    // is nothing to compare.
    std::int64_t won = -1;
};

// Figures without a value (no pairs to take them over, or 0/0) are NaN;
// infinite ones are infinite.  One sample against the first file, or, in
// the rows by decade of a, that decade's pairs of them.
struct Report {
    // What the figures were measured with.
    MeasureOptions options;
    // The pairs were as many as --count asked.
    bool countGiven = false;
    FileSummary allpts;
    FileSummary sample;
    // The sample's keys, in the order of the options'.
    std::vector<std::string> keys;
    // For a row by decade of a: its decade, or kNoDecade; otherwise
    // kNoDecade + 1.
    int decade = kNoDecade + 1;
    std::int64_t pairs = 0;
    std::int64_t leftOut = 0;
    std::int64_t measured = 0;

    double absMean, absRms, absMax;
    double absSd, absSe;
    std::int64_t absMaxIndex;
    Quantiles absQuantiles;

    // The signed errors b - a and (b - a) / max(|a|, TAU): the bias.
    double signedMean, signedSe;
    double signedRelMean, signedRelSe;

    // With --ci: the means' intervals, from their standard errors, and the
    // quantiles', from the order statistics around them.
    Interval absMeanCi, relMeanCi, signedMeanCi, signedRelMeanCi;
    QuantileIntervals absQuantileCi, relQuantileCi;

    std::int64_t relCount;
    double relMean, relMax;
    double relSd, relSe;
    std::int64_t relMaxIndex;
    Quantiles relQuantiles;
    std::int64_t relZeroOverZero, relInfinite;
    std::array<std::int64_t, kDecadeBins> decades;

    // Pairs whose two values read as 0 from nonzero values written, and
    // pairs whose a is below --min-truth: left out of the relative, ratio
    // and tolerance figures.
    std::int64_t bothUnderflowed;
    std::int64_t belowMinTruth;
    // With --log, pairs whose absolute errors fall below the normal doubles.
    std::int64_t absUnderflows;

    std::int64_t within;
    // With several --rtol, the pairs within each.
    std::vector<std::int64_t> withinEach;
    // The pairs that tolerance is judged over, and the share within.
    std::int64_t toleranceCount;
    double withinShare;
    // The least rtol (with the atol given) that all pairs, 99.9% of them
    // and 99% of them would meet.
    double rtolForAll, rtolFor999, rtolFor99;

    std::int64_t ratioPairs;
    double logRatioMean, logRatioMax, ratioMax;
    std::int64_t ratioMaxIndex;
    std::int64_t oneNotPositive;

    double relativeL2, maxOverMaxAllpts;

    // Empty with --log, which has none, and where the classic tools would
    // read the files otherwise than the report did, as classicNote says.
    std::string classicMean, classicRms, classicPeak;
    std::string classicNote;

    WorstPoints worstAbs, worstRel;

    // The requirements on quantiles, decided exactly.
    std::vector<QuantileGate> quantileGates;

    // With --baseline, the baseline's name ("" for a baseline itself) and
    // the comparison with it.
    std::string vs;
    PairedFigures paired;

    std::vector<DensityRow> densityTable;
    // With --by-density, every figure by decade of a.
    std::vector<Report> byDensity;
};

// A figure summarized over the samples of a group.
struct SummaryFigure {
    std::string name;
    // The samples with a value.
    std::int64_t count;
    double mean, sd, se, min, max;
    // With --ci: mean -+ t se, t of Student's t with count - 1 degrees of
    // freedom.
    Interval ci;
};

struct SummaryRow {
    // The values of the keys its samples share, in the order of
    // summaryKeyNames.
    std::vector<std::string> keys;
    // With --by-density, the decade of a the row is of (kNoDecade for a <= 0);
    // otherwise kNoDecade + 1.
    int decade = kNoDecade + 1;
    std::int64_t samples = 0;
    // With --baseline, how many of its samples won against theirs; -1 where
    // none was compared with one.
    std::int64_t won = -1;
    std::vector<SummaryFigure> figures;
};

// A requirement a sample, or a summary's mean, failed.
struct FailedRequirement {
    std::string requirement;
    // Of a summary row, or of a sample; which one, by its place in the
    // evaluation's list.
    bool summary;
    std::size_t index;
    // NaN where the figure has no value.
    double value;
};

// A sample as it is read: the operand opened, and the column of a matrix
// of runs it is (from 1), or 0 for the options' own.
struct SampleInput {
    const char* operand;
    std::int32_t column;
};

// The whole run: the first file, each sample's report, the summary over
// them, and the requirements they failed.
struct Evaluation {
    // The options, their sample operands each the samples it stands for,
    // by name ("runs.npy#2", "runs.h5:/runs/r1"), in natural order.
    ReportOptions options;
    std::vector<SampleInput> inputs;
    // The names made for samples that are columns or datasets.
    std::deque<std::string> madeNames;
    FileSummary allpts;
    bool hasPoints = false;
    FileSummary points;
    std::vector<Report> samples;
    std::vector<SummaryRow> summary;
    std::vector<FailedRequirement> failures;
    // With --times, the seconds of each sample or key value named.
    std::vector<TimedName> times;
};

// Reads every file once and fills the evaluation, fresh from construction.
void runEvaluation(const ReportOptions& options, Evaluation& evaluation);

// The summary over the samples: a row for each combination of keys, in
// natural order key by key, and with --by-density for each decade of a in
// it.  Without keys, one row of every sample, its group "all".
std::vector<SummaryRow> summarizeSamples(const Evaluation& evaluation);

// The summary rows over the whole of their samples, not by decade.
std::vector<const SummaryRow*> wholeRows(const Evaluation& evaluation);

// The names of the columns that name a summary row: the keys', or "group"
// where there are none.
std::vector<std::string> summaryKeyNames(const OutputOptions& options);

// A summary row as a sentence names it: "group 'x'" for the one key, or
// "method=kde n=100".
std::string summaryRowName(const OutputOptions& options, const SummaryRow& row);

// Each requirement checked on each sample, and with several samples on
// each group's mean.
std::vector<FailedRequirement> checkRequirements(const Evaluation& evaluation);

// How many checks the requirements made: each requirement for each sample,
// and with several samples for each group's mean; and what they were made
// on, as "2 requirements, each on 15 samples and 1 group's mean".
std::size_t requirementChecks(const Evaluation& evaluation);
std::string requirementChecksMadeOn(const Evaluation& evaluation);

// The requirements that a sample, or a summary row, failed.
std::vector<const FailedRequirement*> failuresOf(const Evaluation& evaluation, bool summary, std::size_t index);

// Fills a report fresh from construction with the figures of the measures
// after a pass of pairs pairs; the worst lists move into the report.  The
// files' summaries are the pass's to fill.  The report is filled where it
// lies, as it is large and the stack may be small.
void summarizeReport(const ReportOptions& options, ErrorMeasures& measures, std::int64_t pairs, Report& report);

// The figures of a paired comparison at the end of the pass, with the
// difference's interval at the level (0 for none) by the normal
// approximation.
PairedFigures pairedFigures(const PairedComparison& comparison, double ciLevel);

// Leaves the report without the classic lines: where the classic tools
// would print none, or other ones.
void dropClassicLines(Report& report);

// Once the report's files are summarized: the note that says why a report
// has no classic lines (--log, or files the tools would read otherwise),
// and the lines dropped where it has one.
void settleClassicLines(Report& report);

// Whether the files held different numbers of values, as far as they were
// read.
bool unequalLengths(const Report& report);

// Whether the input had any of the problems the report lists.
bool inputHadProblems(const Report& report);
bool inputHadProblems(const Evaluation& evaluation);

}  // namespace calcgap::report
