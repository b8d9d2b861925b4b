// The row of a sample's figures, named as the tab-separated header names
// them, in one place for every use.
#include "reportRow.h"

#include "formats.h"
#include "quoting.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace {

struct RowBuilder {
    std::vector<Field> fields;
    // A row by decade of a leaves the columns of the whole run empty.
    bool decadeRow = false;
};

void text(RowBuilder& row, const std::string& name, const std::string& value)
{
    row.fields.push_back({name, value, NAN, false});
}

void number(RowBuilder& row, const std::string& name, double value)
{
    row.fields.push_back({name, shortestNumber(value), value, true});
}

void count(RowBuilder& row, const std::string& name, std::int64_t value)
{
    row.fields.push_back({name, std::to_string(value), static_cast<double>(value), true});
}

// A point, or none (-1).
void point(RowBuilder& row, const std::string& name, std::int64_t index)
{
    row.fields.push_back({name, index >= 0 ? std::to_string(index) : "", index >= 0 ? static_cast<double>(index) : NAN,
                          true});
}

// A figure of the whole run, empty by decade.
void runCount(RowBuilder& row, const std::string& name, std::int64_t value)
{
    if (row.decadeRow)
        row.fields.push_back({name, "", NAN, true});
    else
        count(row, name, value);
}

void runText(RowBuilder& row, const std::string& name, const std::string& value)
{
    text(row, name, row.decadeRow ? "" : value);
}

// A classic line, as the tool prints it.
void classic(RowBuilder& row, const std::string& name, const std::string& line)
{
    row.fields.push_back({name, line, line.empty() ? NAN : std::strtod(line.c_str(), nullptr), true});
}

void fileFields(RowBuilder& row, const std::string& side, const FileSummary& file)
{
    runText(row, side + "_kind", file.kind);
    runCount(row, side + "_values", file.values);
    runText(row, side + "_end", fileEndName(file.end));
    const bool stopped = file.end == FileEnd::notANumber && !row.decadeRow;
    const auto place = [&](const char* what, std::uint64_t value) {
        if (stopped)
            count(row, side + what, static_cast<std::int64_t>(value));
        else
            row.fields.push_back({side + what, "", NAN, true});
    };
    place("_stop_line", file.stop.line);
    place("_stop_column", file.stop.column);
    place("_stop_offset", file.stop.offset);
    runCount(row, side + "_skipped_reads", file.skippedReads);
    runCount(row, side + "_short_lines", file.shortLines);
    runCount(row, side + "_underflows", file.underflows);
    runCount(row, side + "_overflows", file.overflows);
    runCount(row, side + "_comment_lines", file.commentLines);
    runCount(row, side + "_nans", file.nans);
    runCount(row, side + "_infinities", file.infinities);
    runCount(row, side + "_short_pairs", file.shortPairs);
}

}  // namespace

std::string shortestNumber(double value)
{
    if (std::isnan(value))
        return "";
    char digits[32];
    return std::string(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

std::vector<Field> reportFields(const Report& r)
{
    RowBuilder row;
    row.decadeRow = r.decade <= kNoDecade;
    // Names in the shell's quoted form: one field whatever bytes they hold.
    text(row, "allpts", shellQuoted(r.allpts.path));
    text(row, "sample", shellQuoted(r.sample.path));
    if (r.options.groupPattern != nullptr)
        text(row, "group", r.group);
    if (r.options.byDensity)
        text(row, "decade", !row.decadeRow ? "" : r.decade == kNoDecade ? "none" : std::to_string(r.decade));
    count(row, "pairs", r.pairs);
    count(row, "measured", r.measured);
    number(row, "abs_mean", r.absMean);
    number(row, "abs_sd", r.absSd);
    number(row, "abs_se", r.absSe);
    number(row, "abs_rms", r.absRms);
    number(row, "abs_max", r.absMax);
    point(row, "abs_max_point", r.absMaxIndex);
    count(row, "abs_underflows", r.absUnderflows);
    number(row, "abs_median", r.absQuantiles.median);
    number(row, "abs_p90", r.absQuantiles.p90);
    number(row, "abs_p99", r.absQuantiles.p99);
    number(row, "abs_p999", r.absQuantiles.p999);
    number(row, "bias", r.signedMean);
    number(row, "bias_se", r.signedSe);
    number(row, "floor", r.options.floor);
    count(row, "rel_pairs", r.relCount);
    number(row, "rel_mean", r.relMean);
    number(row, "rel_sd", r.relSd);
    number(row, "rel_se", r.relSe);
    number(row, "rel_max", r.relMax);
    point(row, "rel_max_point", r.relMaxIndex);
    number(row, "rel_median", r.relQuantiles.median);
    number(row, "rel_p90", r.relQuantiles.p90);
    number(row, "rel_p99", r.relQuantiles.p99);
    count(row, "rel_zero_over_zero", r.relZeroOverZero);
    count(row, "rel_infinite", r.relInfinite);
    number(row, "rel_bias", r.signedRelMean);
    number(row, "rel_bias_se", r.signedRelSe);
    number(row, "rtol", r.options.rtol);
    number(row, "atol", r.options.atol);
    count(row, "both_underflowed", r.bothUnderflowed);
    count(row, "below_min_truth", r.belowMinTruth);
    count(row, "within", r.within);
    count(row, "tolerance_pairs", r.toleranceCount);
    number(row, "within_share", r.withinShare);
    number(row, "rtol_for_all", r.rtolForAll);
    number(row, "rtol_for_999", r.rtolFor999);
    number(row, "rtol_for_99", r.rtolFor99);
    count(row, "ratio_pairs", r.ratioPairs);
    number(row, "log_ratio_mean", r.logRatioMean);
    number(row, "log_ratio_max", r.logRatioMax);
    number(row, "ratio_max", r.ratioMax);
    point(row, "ratio_max_point", r.ratioMaxIndex);
    count(row, "one_not_positive", r.oneNotPositive);
    number(row, "relative_l2", r.relativeL2);
    number(row, "max_over_max_allpts", r.maxOverMaxAllpts);
    classic(row, "classic_mean", r.classicMean);
    classic(row, "classic_rms", r.classicRms);
    classic(row, "classic_peak", r.classicPeak);
    runCount(row, "left_out", r.leftOut);
    fileFields(row, "allpts", r.allpts);
    fileFields(row, "sample", r.sample);
    text(row, "logs", r.options.logs ? "yes" : "no");
    runText(row, "problems", inputHadProblems(r) ? "yes" : "no");
    return row.fields;
}

namespace {

std::vector<Field> blankFields(const ReportOptions& options)
{
    Report blank{};
    blank.options = options;
    blank.allpts.path = "";
    blank.sample.path = "";
    return reportFields(blank);
}

}  // namespace

std::vector<std::string> fieldNames(const ReportOptions& options)
{
    std::vector<std::string> names;
    for (const Field& field : blankFields(options))
        names.push_back(field.name);
    return names;
}

std::vector<std::string> figureNames()
{
    std::vector<std::string> names;
    for (const Field& field : blankFields({}))
        if (field.numeric)
            names.push_back(field.name);
    return names;
}
