// The report as one header line and one data line of tab-separated fields,
// so that runs append into a table; numbers in their shortest form that
// reads back to the same double.  A figure without a value is an empty
// field, which awk and spreadsheets do not mistake for 0; an infinite one
// is inf.
#include "formats.h"

#include "quoting.h"

#include <charconv>
#include <cmath>
#include <string>

namespace {

struct Row {
    std::string header;
    std::string data;
};

void field(Row& row, const char* name, const std::string& value)
{
    if (!row.header.empty()) {
        row.header += '\t';
        row.data += '\t';
    }
    row.header += name;
    row.data += value;
}

std::string shortest(double value)
{
    if (std::isnan(value))
        return "";
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

std::string whole(std::int64_t value)
{
    return std::to_string(value);
}

// A point, or none (-1).
std::string point(std::int64_t index)
{
    return index >= 0 ? std::to_string(index) : "";
}

}  // namespace

void writeTsv(const Report& r, OutputBuffer& out)
{
    Row row;
    // Names in the shell's quoted form: one field whatever bytes they hold.
    field(row, "allpts", shellQuoted(r.allpts.path));
    field(row, "sample", shellQuoted(r.sample.path));
    field(row, "pairs", whole(r.pairs));
    field(row, "measured", whole(r.measured));
    field(row, "abs_mean", shortest(r.absMean));
    field(row, "abs_rms", shortest(r.absRms));
    field(row, "abs_max", shortest(r.absMax));
    field(row, "abs_max_point", point(r.absMaxIndex));
    field(row, "abs_underflows", whole(r.absUnderflows));
    field(row, "abs_median", shortest(r.absQuantiles.median));
    field(row, "abs_p90", shortest(r.absQuantiles.p90));
    field(row, "abs_p99", shortest(r.absQuantiles.p99));
    field(row, "abs_p999", shortest(r.absQuantiles.p999));
    field(row, "floor", shortest(r.options.floor));
    field(row, "rel_pairs", whole(r.relCount));
    field(row, "rel_mean", shortest(r.relMean));
    field(row, "rel_max", shortest(r.relMax));
    field(row, "rel_max_point", point(r.relMaxIndex));
    field(row, "rel_median", shortest(r.relQuantiles.median));
    field(row, "rel_p90", shortest(r.relQuantiles.p90));
    field(row, "rel_p99", shortest(r.relQuantiles.p99));
    field(row, "rel_zero_over_zero", whole(r.relZeroOverZero));
    field(row, "rel_infinite", whole(r.relInfinite));
    field(row, "rtol", shortest(r.options.rtol));
    field(row, "atol", shortest(r.options.atol));
    field(row, "both_underflowed", whole(r.bothUnderflowed));
    field(row, "within", whole(r.within));
    field(row, "tolerance_pairs", whole(r.toleranceCount));
    field(row, "within_share", shortest(r.withinShare));
    field(row, "ratio_pairs", whole(r.ratioPairs));
    field(row, "log_ratio_mean", shortest(r.logRatioMean));
    field(row, "log_ratio_max", shortest(r.logRatioMax));
    field(row, "ratio_max", shortest(r.ratioMax));
    field(row, "ratio_max_point", point(r.ratioMaxIndex));
    field(row, "one_not_positive", whole(r.oneNotPositive));
    field(row, "relative_l2", shortest(r.relativeL2));
    field(row, "max_over_max_allpts", shortest(r.maxOverMaxAllpts));
    field(row, "classic_mean", r.classicMean);
    field(row, "classic_rms", r.classicRms);
    field(row, "classic_peak", r.classicPeak);
    field(row, "left_out", whole(r.leftOut));
    for (const auto& [side, summary] : {std::pair{std::string("allpts"), &r.allpts}, {"sample", &r.sample}}) {
        const FileSummary& file = *summary;
        field(row, (side + "_kind").c_str(), file.kind);
        field(row, (side + "_values").c_str(), whole(file.values));
        field(row, (side + "_end").c_str(), fileEndName(file.end));
        const bool stopped = file.end == FileEnd::notANumber;
        field(row, (side + "_stop_line").c_str(), stopped ? whole(static_cast<std::int64_t>(file.stop.line)) : "");
        field(row, (side + "_stop_column").c_str(),
              stopped ? whole(static_cast<std::int64_t>(file.stop.column)) : "");
        field(row, (side + "_stop_offset").c_str(),
              stopped ? whole(static_cast<std::int64_t>(file.stop.offset)) : "");
        field(row, (side + "_skipped_reads").c_str(), whole(file.skippedReads));
        field(row, (side + "_short_lines").c_str(), whole(file.shortLines));
        field(row, (side + "_underflows").c_str(), whole(file.underflows));
        field(row, (side + "_overflows").c_str(), whole(file.overflows));
        field(row, (side + "_comment_lines").c_str(), whole(file.commentLines));
        field(row, (side + "_nans").c_str(), whole(file.nans));
        field(row, (side + "_infinities").c_str(), whole(file.infinities));
        field(row, (side + "_short_pairs").c_str(), whole(file.shortPairs));
    }
    field(row, "logs", r.options.logs ? "yes" : "no");
    field(row, "problems", inputHadProblems(r) ? "yes" : "no");
    put(out, row.header);
    put(out, "\n");
    put(out, row.data);
    put(out, "\n");
}
