// The report as one JSON object with the same content as the text, full
// precision, every name and piece of input text escaped by the library.
#include "report.h"

#include <nlohmann/json.hpp>

#include <cmath>

namespace {

// Keys in the order the text shows them.
using json = nlohmann::ordered_json;

// NaN stands for "no such figure" (no pairs to take it over): null.
json figure(double value)
{
    return std::isnan(value) ? json(nullptr) : json(value);
}

json point(std::int64_t index)
{
    return index >= 0 ? json(index) : json(nullptr);
}

json position(const TextPosition& place)
{
    return {{"line", place.line}, {"column", place.column}, {"offset", place.offset}};
}

json fileObject(const FileSummary& file)
{
    json object = {{"path", file.path},
                   {"values", file.values},
                   {"skipped_reads", file.skippedReads},
                   {"nans", file.nans},
                   {"infinities", file.infinities},
                   {"short_pairs", file.shortPairs}};
    object["end"] = file.end == FileEnd::endOfFile     ? "end of file"
                    : file.end == FileEnd::notANumber ? "not a number"
                                                      : "not reached";
    if (file.end == FileEnd::notANumber) {
        object["stop"] = position(file.stop);
        // As the shell quotes it: no byte of it can be lost or change meaning.
        object["stop"]["text"] = shellQuoted(file.stopText);
    }
    if (file.skippedReads > 0)
        object["first_skip"] = position(file.firstSkip);
    return object;
}

json quantiles(const Quantiles& q, bool withP999)
{
    json object = {{"median", figure(q.median)}, {"p90", figure(q.p90)}, {"p99", figure(q.p99)}};
    if (withP999)
        object["p999"] = figure(q.p999);
    return object;
}

json worstList(const std::vector<WorstPoint>& points)
{
    json list = json::array();
    for (std::size_t i = 0; i < points.size(); ++i) {
        const WorstPoint& p = points[i];
        list.push_back({{"rank", i + 1},
                        {"point", p.index},
                        {"a", p.a},
                        {"b", p.b},
                        {"abs_error", p.absError},
                        {"rel_error", figure(p.relError)}});
    }
    return list;
}

}  // namespace

std::string formatJson(const Report& r)
{
    json decades = json::array();
    for (int bin = 0; bin < kDecadeBins; ++bin)
        decades.push_back({{"range", kDecadeLabels[bin]}, {"count", r.decades[static_cast<std::size_t>(bin)]}});
    const json report = {
        {"allpts", fileObject(r.files[0])},
        {"sample", fileObject(r.files[1])},
        {"pairs", r.pairs},
        {"count_given", r.options.countGiven},
        {"left_out", r.leftOut},
        {"measured", r.measured},
        {"problems", inputHadProblems(r)},
        {"absolute",
         {{"mean", figure(r.absMean)},
          {"rms", figure(r.absRms)},
          {"max", figure(r.absMax)},
          {"max_point", point(r.absMaxIndex)},
          {"quantiles", quantiles(r.absQuantiles, true)}}},
        {"relative",
         {{"floor", r.options.floor},
          {"pairs", r.relCount},
          {"mean", figure(r.relMean)},
          {"max", figure(r.relMax)},
          {"max_point", point(r.relMaxIndex)},
          {"quantiles", quantiles(r.relQuantiles, false)},
          {"zero_over_zero", r.relZeroOverZero},
          {"infinite", r.relInfinite},
          {"decades", decades}}},
        {"tolerance",
         {{"rtol", r.options.rtol}, {"atol", r.options.atol}, {"within", r.within}, {"share", figure(r.withinShare)}}},
        {"ratio",
         {{"pairs", r.ratioPairs},
          {"mean_abs_log", figure(r.logRatioMean)},
          {"max", figure(r.ratioMax)},
          {"max_point", point(r.ratioMaxIndex)},
          {"one_not_positive", r.oneNotPositive}}},
        {"norms", {{"relative_l2", figure(r.relativeL2)}, {"max_over_max_allpts", figure(r.maxOverMaxAllpts)}}},
        {"classic", {{"calcGap_mean", r.classicMean}, {"calcGap_rms", r.classicRms}, {"calcGap_peak", r.classicPeak}}},
        {"worst", {{"absolute", worstList(r.worstAbs)}, {"relative", worstList(r.worstRel)}}},
        {"quantile_bound", kQuantileBound},
        {"sum_bound", 1e-12},
    };
    // Bytes of a name that are not UTF-8 become U+FFFD rather than an
    // exception; the text format shows them in full.
    return report.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}
