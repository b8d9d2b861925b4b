// The report: what the pass found in each file, and every figure the formats
// print, worked out once.
#pragma once

#include "errorMeasures.h"
#include "reportOptions.h"
#include "valueSource.h"
#include "worstPoints.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

enum class FileEnd {
    // The pass ended, with its count, before this file did.
    notReached,
    endOfFile,
    // At text that cannot begin a number: every later read fails there.
    notANumber,
    // Not a regular file, so not read past the pairs to be counted.
    notCounted,
};

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

// Figures without a value (no pairs to take them over, or 0/0) are NaN;
// infinite ones are infinite.
struct Report {
    ReportOptions options;
    FileSummary allpts;
    FileSummary sample;
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

    // Pairs whose two values read as 0 from nonzero values written, left out
    // of the relative, ratio and tolerance figures.
    std::int64_t bothUnderflowed;
    // With --log, pairs whose densities fall below the normal doubles.
    std::int64_t absUnderflows;

    std::int64_t within;
    // The pairs that tolerance is judged over, and the share within.
    std::int64_t toleranceCount;
    double withinShare;

    std::int64_t ratioPairs;
    double logRatioMean, logRatioMax, ratioMax;
    std::int64_t ratioMaxIndex;
    std::int64_t oneNotPositive;

    double relativeL2, maxOverMaxAllpts;

    // Empty with --log, which has none.
    std::string classicMean, classicRms, classicPeak;

    std::vector<WorstPoint> worstAbs, worstRel;
};

// Reads both files once and fills the report.
Report runReport(const ReportOptions& options);

// The figures of the measures after a pass of pairs pairs; the worst lists
// move into the report.  The files' summaries are the pass's to fill.
Report summarizeReport(const ReportOptions& options, ErrorMeasures& measures, std::int64_t pairs);

// Whether the files held different numbers of values, as far as they were
// read.
bool unequalLengths(const Report& report);

// Whether the input had any of the problems the report lists.
bool inputHadProblems(const Report& report);
