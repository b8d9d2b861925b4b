// calcGap_report's options.
#pragma once

#include "options/sampleKeys.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace calcgap::report {

enum class ReportFormat { text, tsv, json, markdown, latex };

// How --raw reads both files: native little-endian float32 or float64.
enum class RawType { none, f4, f8 };

// A gate: the figure of a TSV column, at most or at least a value.
// The errors a quantile is of: the absolute, the relative, or the least
// rtol each pair needs; and which quantile.
enum class ErrorSeries : unsigned char { absolute, relative, needed };

struct QuantileOf {
    ErrorSeries series = ErrorSeries::absolute;
    double fraction = 0.0;
};

struct Requirement {
    std::string text;
    std::string name;
    bool atMost = true;
    double value = 0.0;
    // A requirement on a quantile, decided from exact counts at its bound.
    bool onQuantile = false;
    QuantileOf quantile{};
};

// What the measures need: how a pair is measured and what is kept of it.
struct MeasureOptions {
    std::int32_t worst = 10;
    double floor = 0.0;
    double rtol = 0.01;
    // Every --rtol given, the first being rtol; more than one adds the
    // pairs within each.
    std::vector<double> rtols;
    double atol = 0.0;
    // The values are natural logarithms of the densities.
    bool logs = false;
    // Pairs whose a is below this are left out of the relative, ratio and
    // tolerance figures.
    bool minTruthGiven = false;
    double minTruth = 0.0;
    // Its natural logarithm, from the digits given, so that with --log a
    // least truth below the doubles (1e-400) is what it says; -inf for 0.
    double logMinTruth = -INFINITY;
    bool minTruthBeyondDoubles = false;
    // Every figure by decade of a as well, each row spanning this many
    // decades.
    bool byDensity = false;
    std::int32_t decadesPerRow = 1;
    // The level of the intervals (as 0.95), or 0 for none.
    double ciLevel = 0.0;
    // With --bootstrap, the replicates the means' intervals are drawn
    // from, and the seed of their weights.
    std::int32_t bootstrap = 0;
    std::uint64_t seed = 1;
};

// What the sources need: how a file's values are found in it.
struct SourceOptions {
    RawType raw = RawType::none;
    // The field (from 1) of each line, or of each row of a 2-D array, that
    // holds its value: by number, or by header name with --header.
    std::int32_t column = 0;
    const char* columnName = nullptr;
    // Fields are split at this byte rather than at white space.
    bool delimiterGiven = false;
    char delimiter = ',';
    // The first line of a text file names the fields rather than holding
    // values.
    bool header = false;
    // Arrays are read element by element in order, every column, as the
    // test points are read; rows of rowWidth values where it is not 0.
    bool flatArrays = false;
    std::int32_t rowWidth = 0;
};

// What the output needs.
struct OutputOptions {
    ReportFormat format = ReportFormat::text;
    bool strict = false;
    // Spread over the samples, a row for each combination of their keys.
    bool summary = false;
    // The keys of each sample, from its name, in the order given: the
    // columns that name a summary row.
    std::vector<SampleKey> keys;
    std::vector<Requirement> requirements;
    // The figures of the TSV rows, by name or shell pattern (--columns),
    // as written; every figure where empty.
    const char* columnsText = nullptr;
    std::vector<std::string> columns;
    // With several --rtol: the names of the columns of each, "within_R"
    // and "within_share_R", R as written.
    std::vector<std::string> withinNames;
    std::vector<std::string> withinShareNames;
    // The figures of the pivot table of the summary (--table), as written;
    // none where empty.
    const char* tableText = nullptr;
    std::vector<std::string> tableFigures;
    // Significant digits of the tables to paste.
    std::int32_t digits = 3;
    // --baseline=NAME=VALUE: each sample compared point by point with the
    // one whose key NAME is VALUE and whose other keys are its own.
    const char* baselineText = nullptr;
    std::string baselineKey;
    std::string baselineValue;
    // The pictures: the folder of the SVG figures, the HTML page, the
    // figure they draw, and the times of the samples or key values to
    // draw it against.
    const char* svgDir = nullptr;
    const char* htmlPath = nullptr;
    const char* plotText = nullptr;
    std::string plotFigure = "rel_mean";
    const char* timesPath = nullptr;
    // The command line as given, for the page to show.
    std::vector<std::string> commandLine;
};

struct ReportOptions {
    const char* allptsPath = nullptr;
    // Each compared with the first file, as a report of its own.
    std::vector<const char*> samplePaths;
    // Exactly count pairs, as the classic tools compare them; otherwise as
    // many as the shorter file yields.
    bool countGiven = false;
    std::int32_t count = 0;
    // The test points, dim values each, read in step with the values.
    const char* pointsPath = nullptr;
    std::int32_t dim = 0;
    MeasureOptions measures;
    SourceOptions sources;
    // The first file's column where --truth-column sets it apart from the
    // samples' --column: the sources' options but for the column.
    bool truthColumnGiven = false;
    SourceOptions truthSources;
    OutputOptions output;
};

// A number below the doubles from its natural logarithm, as "1e-400": the
// least truth's text where it is not a double.
std::string decimalOfLog(double log);

// Ends the process as a bad option's value does: "invalid NAME 'TEXT':
// REASON", with the hint of --help.
[[noreturn]] void failInvalid(const char* name, const char* text, const char* reason);

// Reads the command line; --help and --version print and exit with status
// 0, a bad option or value ends the process with status 1.  A bad
// --group pattern is a bad option; requirements are checked against the
// figures by resolveRequirements.
ReportOptions parseReportOptions(int argc, char** argv);

}  // namespace calcgap::report
