// The report as one JSON object with the content of the text, at full
// precision: one sample's report, or for several an object holding each
// sample's report and the summary over them.  It is written as it goes, member by member, laid out as a
// two-space indented dump would lay it out, so that a report listing
// millions of worst points costs no memory beyond them; the JSON library
// escapes the strings.  A figure without a value is null; an infinite one
// is the string "inf" (or "-inf"), which a reader tells apart from both.
#include "formats.h"

#include "quoting.h"
#include "reportRow.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

namespace {

struct JsonWriter {
    OutputBuffer* out;
    int depth = 0;
    // Whether the object or array open at each depth has a member yet.
    bool hasMembers[12] = {};
};

void indent(JsonWriter& w, int depth)
{
    for (int i = 0; i < depth; ++i)
        put(*w.out, "  ");
}

// Starts a member of the open object (key given) or array (key null).
void startMember(JsonWriter& w, const char* key)
{
    put(*w.out, w.hasMembers[w.depth] ? ",\n" : "\n");
    w.hasMembers[w.depth] = true;
    indent(w, w.depth);
    if (key != nullptr) {
        put(*w.out, "\"");
        put(*w.out, key);
        put(*w.out, "\": ");
    }
}

void open(JsonWriter& w, const char* key, const char* bracket)
{
    if (w.depth > 0 || w.hasMembers[0])
        startMember(w, key);
    put(*w.out, bracket);
    w.hasMembers[++w.depth] = false;
}

void close(JsonWriter& w, const char* bracket)
{
    if (w.hasMembers[w.depth--]) {
        put(*w.out, "\n");
        indent(w, w.depth);
    }
    put(*w.out, bracket);
}

void openObject(JsonWriter& w, const char* key = nullptr)
{
    open(w, key, "{");
}

void closeObject(JsonWriter& w)
{
    close(w, "}");
}

void openArray(JsonWriter& w, const char* key)
{
    open(w, key, "[");
}

void closeArray(JsonWriter& w)
{
    close(w, "]");
}

void member(JsonWriter& w, const char* key, std::string_view json)
{
    startMember(w, key);
    put(*w.out, json);
}

std::string string(std::string_view text)
{
    // Every byte beyond ASCII escaped, so that no control or bidirectional
    // character reaches a terminal raw; bytes that are not UTF-8 become
    // U+FFFD rather than an exception.
    return nlohmann::json(std::string(text)).dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
}

// The shortest form that reads back to the same double, with a point or an
// exponent so that it reads as a floating-point number.
std::string number(double value)
{
    char text[32];
    std::string out(text, std::to_chars(text, text + sizeof text, value).ptr);
    if (out.find_first_of(".e") == std::string::npos)
        out += ".0";
    return out;
}

std::string figure(double value)
{
    if (std::isnan(value))
        return "null";
    if (std::isinf(value))
        return value > 0 ? "\"inf\"" : "\"-inf\"";
    return number(value);
}

std::string whole(std::int64_t value)
{
    return std::to_string(value);
}

std::string point(std::int64_t index)
{
    return index >= 0 ? std::to_string(index) : "null";
}

const char* truth(bool value)
{
    return value ? "true" : "false";
}

void position(JsonWriter& w, const char* key, const TextPosition& place, const std::string* text)
{
    openObject(w, key);
    member(w, "line", whole(static_cast<std::int64_t>(place.line)));
    member(w, "column", whole(static_cast<std::int64_t>(place.column)));
    member(w, "offset", whole(static_cast<std::int64_t>(place.offset)));
    // As the shell quotes it: no byte of it can be lost or change meaning.
    if (text != nullptr)
        member(w, "text", string(shellQuoted(*text)));
    closeObject(w);
}

void fileObject(JsonWriter& w, const char* key, const FileSummary& file)
{
    openObject(w, key);
    member(w, "path", string(file.path));
    member(w, "kind", string(file.kind));
    member(w, "values", whole(file.values));
    member(w, "skipped_reads", whole(file.skippedReads));
    member(w, "short_lines", whole(file.shortLines));
    member(w, "underflows", whole(file.underflows));
    member(w, "overflows", whole(file.overflows));
    member(w, "comment_lines", whole(file.commentLines));
    member(w, "nans", whole(file.nans));
    member(w, "infinities", whole(file.infinities));
    member(w, "short_pairs", whole(file.shortPairs));
    member(w, "end", string(fileEndName(file.end)));
    if (file.end == FileEnd::notANumber)
        position(w, "stop", file.stop, &file.stopText);
    if (file.skippedReads > 0)
        position(w, "first_skip", file.firstSkip, nullptr);
    if (file.shortLines > 0)
        member(w, "first_short_line", whole(static_cast<std::int64_t>(file.firstShortLine)));
    closeObject(w);
}

void quantiles(JsonWriter& w, const Quantiles& q, bool withP999)
{
    openObject(w, "quantiles");
    member(w, "median", figure(q.median));
    member(w, "p90", figure(q.p90));
    member(w, "p99", figure(q.p99));
    if (withP999)
        member(w, "p999", figure(q.p999));
    closeObject(w);
}

void worstList(JsonWriter& w, const char* key, const WorstPoints& worst)
{
    openArray(w, key);
    for (std::size_t i = 0; i < worst.points.size(); ++i) {
        const WorstPoint& p = worst.points[i];
        openObject(w);
        member(w, "rank", whole(static_cast<std::int64_t>(i + 1)));
        member(w, "point", whole(p.index));
        member(w, "a", figure(p.a));
        member(w, "b", figure(p.b));
        member(w, "abs_error", figure(p.absError));
        member(w, "rel_error", figure(p.relError));
        if (p.coordinates >= 0) {
            std::string coordinates = "[";
            for (std::int32_t d = 0; d < worst.dim; ++d)
                coordinates += (d > 0 ? ", " : "") +
                               figure(worst.coordinates[static_cast<std::size_t>(p.coordinates) +
                                                        static_cast<std::size_t>(d)]);
            member(w, "coordinates", coordinates + "]");
        }
        closeObject(w);
    }
    closeArray(w);
}

// The figures of a row as the tab-separated format names them.
void fieldMembers(JsonWriter& w, const std::vector<Field>& fields)
{
    for (const Field& field : fields) {
        // A number's text is its shortest form, which JSON reads as it is.
        // A row's decade of a is a number, as in the table by decade, or
        // null for the pairs whose a is not positive.
        if (field.name == "decade")
            member(w, "decade", field.text == "none" ? std::string("null") : field.text);
        else if (!field.numeric)
            member(w, field.name.c_str(), string(field.text));
        else if (std::isnan(field.number) || std::isinf(field.number))
            member(w, field.name.c_str(), figure(field.number));
        else
            member(w, field.name.c_str(), field.text);
    }
}

void densityTable(JsonWriter& w, const Report& r)
{
    openArray(w, "density");
    for (const DensityRow& row : r.densityTable) {
        openObject(w);
        member(w, "decade", row.decade == kNoDecade ? std::string("null") : whole(row.decade));
        member(w, "pairs", whole(row.pairs));
        member(w, "rel_pairs", whole(row.relCount));
        member(w, "rel_mean", figure(row.relMean));
        member(w, "rel_p99", figure(row.relP99));
        member(w, "rel_max", figure(row.relMax));
        member(w, "abs_mean", figure(row.absMean));
        member(w, "within_share", figure(row.withinShare));
        closeObject(w);
    }
    closeArray(w);
}

void failures(JsonWriter& w, const Evaluation& evaluation, bool summary, std::size_t index)
{
    openArray(w, "failed_requirements");
    for (const FailedRequirement* failure : failuresOf(evaluation, summary, index)) {
        openObject(w);
        member(w, "requirement", string(failure->requirement));
        member(w, "value", figure(failure->value));
        closeObject(w);
    }
    closeArray(w);
}

void reportMembers(JsonWriter& w, const Evaluation& evaluation, std::size_t index)
{
    const Report& r = evaluation.samples[index];
    fileObject(w, "allpts", r.allpts);
    fileObject(w, "sample", r.sample);
    if (evaluation.options.groupPattern != nullptr)
        member(w, "group", string(r.group));
    member(w, "pairs", whole(r.pairs));
    member(w, "count_given", truth(r.options.countGiven));
    member(w, "left_out", whole(r.leftOut));
    member(w, "measured", whole(r.measured));
    member(w, "both_underflowed", whole(r.bothUnderflowed));
    member(w, "min_truth", !r.options.minTruthGiven          ? std::string("null")
                           : r.options.minTruthBeyondDoubles ? decimalOfLog(r.options.logMinTruth)
                                                             : number(r.options.minTruth));
    member(w, "below_min_truth", whole(r.belowMinTruth));
    member(w, "logs", truth(r.options.logs));
    member(w, "problems", truth(inputHadProblems(r)));

    openObject(w, "absolute");
    member(w, "mean", figure(r.absMean));
    member(w, "sd", figure(r.absSd));
    member(w, "se", figure(r.absSe));
    member(w, "rms", figure(r.absRms));
    member(w, "max", figure(r.absMax));
    member(w, "max_point", point(r.absMaxIndex));
    member(w, "underflows", whole(r.absUnderflows));
    quantiles(w, r.absQuantiles, true);
    closeObject(w);

    openObject(w, "signed");
    member(w, "bias", figure(r.signedMean));
    member(w, "bias_se", figure(r.signedSe));
    member(w, "rel_bias", figure(r.signedRelMean));
    member(w, "rel_bias_se", figure(r.signedRelSe));
    closeObject(w);

    openObject(w, "relative");
    member(w, "floor", number(r.options.floor));
    member(w, "pairs", whole(r.relCount));
    member(w, "mean", figure(r.relMean));
    member(w, "sd", figure(r.relSd));
    member(w, "se", figure(r.relSe));
    member(w, "max", figure(r.relMax));
    member(w, "max_point", point(r.relMaxIndex));
    quantiles(w, r.relQuantiles, false);
    member(w, "zero_over_zero", whole(r.relZeroOverZero));
    member(w, "infinite", whole(r.relInfinite));
    openArray(w, "decades");
    for (int bin = 0; bin < kDecadeBins; ++bin) {
        openObject(w);
        member(w, "range", string(kDecadeLabels[bin]));
        member(w, "count", whole(r.decades[static_cast<std::size_t>(bin)]));
        closeObject(w);
    }
    closeArray(w);
    closeObject(w);

    openObject(w, "tolerance");
    member(w, "rtol", number(r.options.rtol));
    member(w, "atol", number(r.options.atol));
    member(w, "within", whole(r.within));
    member(w, "pairs", whole(r.toleranceCount));
    member(w, "share", figure(r.withinShare));
    member(w, "rtol_for_all", figure(r.rtolForAll));
    member(w, "rtol_for_999", figure(r.rtolFor999));
    member(w, "rtol_for_99", figure(r.rtolFor99));
    closeObject(w);

    openObject(w, "ratio");
    member(w, "pairs", whole(r.ratioPairs));
    member(w, "mean_abs_log", figure(r.logRatioMean));
    member(w, "max_abs_log", figure(r.logRatioMax));
    member(w, "max", figure(r.ratioMax));
    member(w, "max_point", point(r.ratioMaxIndex));
    member(w, "one_not_positive", whole(r.oneNotPositive));
    closeObject(w);

    openObject(w, "norms");
    member(w, "relative_l2", figure(r.relativeL2));
    member(w, "max_over_max_allpts", figure(r.maxOverMaxAllpts));
    closeObject(w);

    // None with --log, where the classic tools read densities, nor where
    // they would read the files otherwise.
    openObject(w, "classic");
    const auto classic = [&](const std::string& line) { return line.empty() ? std::string("null") : string(line); };
    member(w, "calcGap_mean", classic(r.classicMean));
    member(w, "calcGap_rms", classic(r.classicRms));
    member(w, "calcGap_peak", classic(r.classicPeak));
    closeObject(w);

    openObject(w, "worst");
    worstList(w, "absolute", r.worstAbs);
    worstList(w, "relative", r.worstRel);
    closeObject(w);

    densityTable(w, r);
    if (evaluation.options.byDensity) {
        openArray(w, "by_density");
        for (const Report& decade : r.byDensity) {
            openObject(w);
            fieldMembers(w, reportFields(decade));
            closeObject(w);
        }
        closeArray(w);
    }
    if (!evaluation.options.requirements.empty())
        failures(w, evaluation, false, index);

    member(w, "quantile_bound", number(kQuantileBound));
    member(w, "sum_bound", number(1e-12));
}

void summaryArray(JsonWriter& w, const Evaluation& evaluation)
{
    openArray(w, "summary");
    for (std::size_t r = 0; r < evaluation.summary.size(); ++r) {
        const SummaryRow& row = evaluation.summary[r];
        openObject(w);
        member(w, "group", string(row.group));
        if (evaluation.options.byDensity)
            member(w, "decade", row.decade > kNoDecade    ? std::string("\"all\"")
                                : row.decade == kNoDecade ? std::string("null")
                                                          : whole(row.decade));
        member(w, "samples", whole(row.samples));
        openObject(w, "figures");
        for (const SummaryFigure& summarized : row.figures) {
            openObject(w, summarized.name.c_str());
            member(w, "count", whole(summarized.count));
            member(w, "mean", figure(summarized.mean));
            member(w, "sd", figure(summarized.sd));
            member(w, "se", figure(summarized.se));
            member(w, "min", figure(summarized.min));
            member(w, "max", figure(summarized.max));
            closeObject(w);
        }
        closeObject(w);
        if (!evaluation.options.requirements.empty() && evaluation.samples.size() > 1 && row.decade > kNoDecade)
            failures(w, evaluation, true, r);
        closeObject(w);
    }
    closeArray(w);
}

}  // namespace

void writeJson(const Evaluation& evaluation, OutputBuffer& out)
{
    JsonWriter w{&out};
    const bool several = evaluation.samples.size() > 1;
    openObject(w);
    if (!several) {
        // One sample: its report is the document, with the points and the
        // summary beside its figures where they were asked for.
        reportMembers(w, evaluation, 0);
        if (evaluation.hasPoints)
            fileObject(w, "points", evaluation.points);
        if (evaluation.options.summary)
            summaryArray(w, evaluation);
    } else {
        fileObject(w, "allpts", evaluation.allpts);
        if (evaluation.hasPoints)
            fileObject(w, "points", evaluation.points);
        openArray(w, "samples");
        for (std::size_t s = 0; s < evaluation.samples.size(); ++s) {
            openObject(w);
            reportMembers(w, evaluation, s);
            closeObject(w);
        }
        closeArray(w);
        summaryArray(w, evaluation);
        member(w, "failed_checks", whole(static_cast<std::int64_t>(evaluation.failures.size())));
        member(w, "problems", truth(inputHadProblems(evaluation)));
    }
    closeObject(w);
    put(out, "\n");
}
