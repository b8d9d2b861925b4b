// The report as one JSON object with the content of the text, at full
// precision: one sample's report, or for several an object holding each
// sample's report and the summary over them.  It is written as it goes, member by member, laid out as a
// two-space indented dump would lay it out, so that a report listing
// millions of worst points costs no memory beyond them; the JSON library
// escapes the strings.  A figure without a value is null; an infinite one
// is the string "inf" (or "-inf"), which a reader tells apart from both.
#include "formats/formats.h"

#include "support/quoting.h"
#include "evaluation/figureTable.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <string>
#include <string_view>

namespace calcgap::report {

namespace {

struct JsonWriter {
    OutputBuffer* out;
    int depth = 0;
    // Whether the object or array open at each depth has a member yet.
    bool hasMembers[12] = {};
};

void indentTo(JsonWriter& w, int depth)
{
    for (int i = 0; i < depth; ++i)
        put(*w.out, "  ");
}

// Starts a member of the open object (key given) or array (key null).
void startMember(JsonWriter& w, const char* key)
{
    put(*w.out, w.hasMembers[w.depth] ? ",\n" : "\n");
    w.hasMembers[w.depth] = true;
    indentTo(w, w.depth);
    if (key != nullptr) {
        put(*w.out, "\"");
        put(*w.out, key);
        put(*w.out, "\": ");
    }
}

void openBracket(JsonWriter& w, const char* key, const char* bracket)
{
    if (w.depth > 0 || w.hasMembers[0])
        startMember(w, key);
    put(*w.out, bracket);
    w.hasMembers[++w.depth] = false;
}

void closeBracket(JsonWriter& w, const char* bracket)
{
    if (w.hasMembers[w.depth--]) {
        put(*w.out, "\n");
        indentTo(w, w.depth);
    }
    put(*w.out, bracket);
}

void openObject(JsonWriter& w, const char* key = nullptr)
{
    openBracket(w, key, "{");
}

void closeObject(JsonWriter& w)
{
    closeBracket(w, "}");
}

void openArray(JsonWriter& w, const char* key)
{
    openBracket(w, key, "[");
}

void closeArray(JsonWriter& w)
{
    closeBracket(w, "]");
}

void putMember(JsonWriter& w, const char* key, std::string_view json)
{
    startMember(w, key);
    put(*w.out, json);
}

std::string jsonString(std::string_view text)
{
    // Every byte beyond ASCII escaped, so that no control or bidirectional
    // character reaches a terminal raw; bytes that are not UTF-8 become
    // U+FFFD rather than an exception.
    return nlohmann::json(std::string(text)).dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
}

// The shortest form that reads back to the same double, with a point or an
// exponent so that it reads as a floating-point number.
std::string jsonNumber(double value)
{
    char text[32];
    std::string out(text, std::to_chars(text, text + sizeof text, value).ptr);
    if (out.find_first_of(".e") == std::string::npos)
        out += ".0";
    return out;
}

std::string valueText(double value)
{
    if (std::isnan(value))
        return "null";
    if (std::isinf(value))
        return value > 0 ? "\"inf\"" : "\"-inf\"";
    return jsonNumber(value);
}

std::string jsonWhole(std::int64_t value)
{
    return std::to_string(value);
}

const char* jsonBool(bool value)
{
    return value ? "true" : "false";
}

void positionObject(JsonWriter& w, const char* key, const TextPosition& place)
{
    openObject(w, key);
    putMember(w, "line", jsonWhole(static_cast<std::int64_t>(place.line)));
    putMember(w, "column", jsonWhole(static_cast<std::int64_t>(place.column)));
    putMember(w, "offset", jsonWhole(static_cast<std::int64_t>(place.offset)));
    closeObject(w);
}

// A figure's value: null where it has none.
std::string valueOf(FigureKind kind, const Reading& reading)
{
    switch (kind) {
    case FigureKind::path:
    case FigureKind::text:
    case FigureKind::key:
        return jsonString(reading.text);
    case FigureKind::decade:
        return reading.whole == kNoDecade ? "null" : jsonWhole(reading.whole);
    case FigureKind::flag:
        // Empty by decade where it is a figure of the whole run.
        return reading.whole < 0 ? "null" : jsonBool(reading.whole > 0);
    case FigureKind::count:
    case FigureKind::point:
        return reading.whole >= 0 ? jsonWhole(reading.whole) : "null";
    case FigureKind::share:
    case FigureKind::value:
        return valueText(reading.number);
    case FigureKind::classic:
        break;
    }
    return reading.text.empty() ? "null" : jsonString(reading.text);
}

void fileObject(JsonWriter& w, const char* key, const FileSummary& file)
{
    openObject(w, key);
    putMember(w, "path", jsonString(file.path));
    for (const FileField& field : fileFields(file))
        putMember(w, field.name, valueOf(field.kind, field.reading));
    // As the shell quotes it: no byte of it can be lost or change meaning.
    if (file.end == FileEnd::notANumber)
        putMember(w, "stop_text", jsonString(shellQuoted(file.stopText)));
    if (file.skippedReads > 0)
        positionObject(w, "first_skip", file.firstSkip);
    if (file.shortLines > 0)
        putMember(w, "first_short_line", jsonWhole(static_cast<std::int64_t>(file.firstShortLine)));
    closeObject(w);
}

void worstList(JsonWriter& w, const char* key, const WorstPoints& worst)
{
    openArray(w, key);
    for (std::size_t i = 0; i < worst.points.size(); ++i) {
        const WorstPoint& p = worst.points[i];
        openObject(w);
        putMember(w, "rank", jsonWhole(static_cast<std::int64_t>(i + 1)));
        putMember(w, "point", jsonWhole(p.index));
        putMember(w, "a", valueText(p.a));
        putMember(w, "b", valueText(p.b));
        putMember(w, "abs_error", valueText(p.absError));
        putMember(w, "rel_error", valueText(p.relError));
        if (p.coordinates >= 0) {
            std::string coordinates = "[";
            for (std::int32_t d = 0; d < worst.dim; ++d)
                coordinates += (d > 0 ? ", " : "") +
                               valueText(worst.coordinates[static_cast<std::size_t>(p.coordinates) +
                                                        static_cast<std::size_t>(d)]);
            putMember(w, "coordinates", coordinates + "]");
        }
        closeObject(w);
    }
    closeArray(w);
}

// The figures of a row, named as the tab-separated header names them; but
// for a sample's own report, which gives its files as objects of their own.
void fieldMembers(JsonWriter& w, const std::vector<Field>& fields, bool ownReport)
{
    for (const Field& field : fields) {
        const Figure& f = *field.figure;
        if (ownReport && (f.kind == FigureKind::path || f.kind == FigureKind::decade || f.file != nullptr))
            continue;
        putMember(w, std::string(field.name).c_str(), valueOf(f.kind, field.reading));
    }
}

void densityTable(JsonWriter& w, const Report& r)
{
    openArray(w, "density");
    for (const DensityRow& row : r.densityTable) {
        openObject(w);
        putMember(w, "decade", row.decade == kNoDecade ? std::string("null") : jsonWhole(row.decade));
        putMember(w, "pairs", jsonWhole(row.pairs));
        putMember(w, "rel_pairs", jsonWhole(row.relCount));
        putMember(w, "rel_mean", valueText(row.relMean));
        putMember(w, "rel_p99", valueText(row.relP99));
        putMember(w, "rel_max", valueText(row.relMax));
        putMember(w, "abs_mean", valueText(row.absMean));
        putMember(w, "within_share", valueText(row.withinShare));
        closeObject(w);
    }
    closeArray(w);
}

void failures(JsonWriter& w, const Evaluation& evaluation, bool summary, std::size_t index)
{
    openArray(w, "failed_requirements");
    for (const FailedRequirement* failure : failuresOf(evaluation, summary, index)) {
        openObject(w);
        putMember(w, "requirement", jsonString(failure->requirement));
        putMember(w, "value", valueText(failure->value));
        closeObject(w);
    }
    closeArray(w);
}

void reportMembers(JsonWriter& w, const Evaluation& evaluation, std::size_t index)
{
    const Report& r = evaluation.samples[index];
    fileObject(w, "allpts", r.allpts);
    fileObject(w, "sample", r.sample);
    fieldMembers(w, reportFields(r, evaluation.options), true);
    putMember(w, "count_given", jsonBool(r.countGiven));
    putMember(w, "min_truth", !r.options.minTruthGiven          ? std::string("null")
                           : r.options.minTruthBeyondDoubles ? decimalOfLog(r.options.logMinTruth)
                                                             : jsonNumber(r.options.minTruth));
    openArray(w, "decades");
    for (int bin = 0; bin < kDecadeBins; ++bin) {
        openObject(w);
        putMember(w, "range", jsonString(kDecadeLabels[bin]));
        putMember(w, "count", jsonWhole(r.decades[static_cast<std::size_t>(bin)]));
        closeObject(w);
    }
    closeArray(w);

    openObject(w, "worst");
    worstList(w, "absolute", r.worstAbs);
    worstList(w, "relative", r.worstRel);
    closeObject(w);

    densityTable(w, r);
    if (evaluation.options.measures.byDensity) {
        openArray(w, "by_density");
        for (const Report& decade : r.byDensity) {
            openObject(w);
            fieldMembers(w, reportFields(decade, evaluation.options), false);
            closeObject(w);
        }
        closeArray(w);
    }
    if (!evaluation.options.output.requirements.empty())
        failures(w, evaluation, false, index);

    putMember(w, "quantile_bound", jsonNumber(kQuantileBound));
    putMember(w, "sum_bound", jsonNumber(kSumBound));
}

void summaryArray(JsonWriter& w, const Evaluation& evaluation)
{
    openArray(w, "summary");
    for (std::size_t r = 0; r < evaluation.summary.size(); ++r) {
        const SummaryRow& row = evaluation.summary[r];
        openObject(w);
        const std::vector<std::string> keyNames = summaryKeyNames(evaluation.options.output);
        for (std::size_t k = 0; k < keyNames.size(); ++k)
            putMember(w, keyNames[k].c_str(), jsonString(row.keys[k]));
        if (evaluation.options.measures.byDensity)
            putMember(w, "decade", row.decade > kNoDecade    ? std::string("\"all\"")
                                : row.decade == kNoDecade ? std::string("null")
                                                          : jsonWhole(row.decade));
        putMember(w, "samples", jsonWhole(row.samples));
        if (evaluation.options.output.baselineText != nullptr)
            putMember(w, "won", row.won >= 0 ? jsonWhole(row.won) : std::string("null"));
        openObject(w, "figures");
        for (const SummaryFigure& summarized : row.figures) {
            openObject(w, summarized.name.c_str());
            putMember(w, "count", jsonWhole(summarized.count));
            putMember(w, "mean", valueText(summarized.mean));
            putMember(w, "sd", valueText(summarized.sd));
            putMember(w, "se", valueText(summarized.se));
            putMember(w, "min", valueText(summarized.min));
            putMember(w, "max", valueText(summarized.max));
            if (evaluation.options.measures.ciLevel > 0.0) {
                putMember(w, "ci_lo", valueText(summarized.ci.lo));
                putMember(w, "ci_hi", valueText(summarized.ci.hi));
            }
            closeObject(w);
        }
        closeObject(w);
        if (!evaluation.options.output.requirements.empty() && evaluation.samples.size() > 1 && row.decade > kNoDecade)
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
        if (evaluation.options.output.summary)
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
        putMember(w, "failed_checks", jsonWhole(static_cast<std::int64_t>(evaluation.failures.size())));
        putMember(w, "problems", jsonBool(inputHadProblems(evaluation)));
    }
    closeObject(w);
    put(out, "\n");
}

}  // namespace calcgap::report
