// The report as one JSON object with the content of the text, at full
// precision.  It is written as it goes, member by member, laid out as a
// two-space indented dump would lay it out, so that a report listing
// millions of worst points costs no memory beyond them; the JSON library
// escapes the strings.  A figure without a value is null; an infinite one
// is the string "inf" (or "-inf"), which a reader tells apart from both.
#include "formats.h"

#include "quoting.h"

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
    bool hasMembers[8] = {};
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

void worstList(JsonWriter& w, const char* key, const std::vector<WorstPoint>& points)
{
    openArray(w, key);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const WorstPoint& p = points[i];
        openObject(w);
        member(w, "rank", whole(static_cast<std::int64_t>(i + 1)));
        member(w, "point", whole(p.index));
        member(w, "a", figure(p.a));
        member(w, "b", figure(p.b));
        member(w, "abs_error", figure(p.absError));
        member(w, "rel_error", figure(p.relError));
        closeObject(w);
    }
    closeArray(w);
}

}  // namespace

void writeJson(const Report& r, OutputBuffer& out)
{
    JsonWriter w{&out};
    openObject(w);
    fileObject(w, "allpts", r.allpts);
    fileObject(w, "sample", r.sample);
    member(w, "pairs", whole(r.pairs));
    member(w, "count_given", truth(r.options.countGiven));
    member(w, "left_out", whole(r.leftOut));
    member(w, "measured", whole(r.measured));
    member(w, "both_underflowed", whole(r.bothUnderflowed));
    member(w, "logs", truth(r.options.logs));
    member(w, "problems", truth(inputHadProblems(r)));

    openObject(w, "absolute");
    member(w, "mean", figure(r.absMean));
    member(w, "rms", figure(r.absRms));
    member(w, "max", figure(r.absMax));
    member(w, "max_point", point(r.absMaxIndex));
    member(w, "underflows", whole(r.absUnderflows));
    quantiles(w, r.absQuantiles, true);
    closeObject(w);

    openObject(w, "relative");
    member(w, "floor", number(r.options.floor));
    member(w, "pairs", whole(r.relCount));
    member(w, "mean", figure(r.relMean));
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

    // None with --log: the classic tools read densities.
    openObject(w, "classic");
    const auto classic = [&](const std::string& line) { return r.options.logs ? std::string("null") : string(line); };
    member(w, "calcGap_mean", classic(r.classicMean));
    member(w, "calcGap_rms", classic(r.classicRms));
    member(w, "calcGap_peak", classic(r.classicPeak));
    closeObject(w);

    openObject(w, "worst");
    worstList(w, "absolute", r.worstAbs);
    worstList(w, "relative", r.worstRel);
    closeObject(w);

    member(w, "quantile_bound", number(kQuantileBound));
    member(w, "sum_bound", number(1e-12));
    closeObject(w);
    put(out, "\n");
}
