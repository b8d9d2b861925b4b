// The summary over samples: each figure's mean, sd, se and extremes over the
// samples of a group, and over the same decade of a in each.
#include "evaluation/naturalOrder.h"
#include "evaluation/report.h"

#include "evaluation/figureTable.h"
#include "summaries/distributions.h"
#include "support/quoting.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace calcgap::report {

namespace {

// The place of each of a key's values in its order.
std::map<std::string, std::size_t> placesOf(std::vector<std::string> values)
{
    sortKeyValues(values);
    std::map<std::string, std::size_t> places;
    for (const std::string& value : values)
        places.emplace(value, places.size());
    return places;
}

SummaryRow summarize(const ReportOptions& options, const std::vector<std::string>& keys, int decade,
                     const std::vector<const Report*>& reports)
{
    SummaryRow row;
    row.keys = keys;
    row.decade = decade;
    row.samples = static_cast<std::int64_t>(reports.size());
    // Of the samples compared with a baseline; none for a baseline's row.
    for (const Report* report : reports)
        if (report->paired.won >= 0)
            row.won = std::max<std::int64_t>(row.won, 0) + report->paired.won;
    const double level = options.measures.ciLevel;
    std::map<std::int64_t, double> multipliers;
    std::vector<std::vector<Field>> rows;
    for (const Report* report : reports)
        rows.push_back(reportFields(*report, options));
    for (std::size_t k = 0; k < rows.front().size(); ++k) {
        if (!isNumeric(*rows.front()[k].figure))
            continue;
        SummaryFigure figure{std::string(rows.front()[k].name), 0, NAN, NAN, NAN, NAN, NAN, {}};
        double sum = 0.0;
        std::vector<double> values;
        for (const std::vector<Field>& fields : rows)
            if (!std::isnan(fields[k].number))
                values.push_back(fields[k].number);
        figure.count = static_cast<std::int64_t>(values.size());
        if (!values.empty()) {
            for (double value : values)
                sum += value;
            const auto n = static_cast<double>(values.size());
            figure.mean = sum / n;
            figure.min = *std::min_element(values.begin(), values.end());
            figure.max = *std::max_element(values.begin(), values.end());
            if (values.size() > 1) {
                // The deviations are scaled by a power of two to at most 1
                // before they are squared, so that the squares of figures
                // of 1e-170 or 1e200 neither underflow nor overflow.
                double largest = 0.0;
                for (double value : values)
                    largest = std::max(largest, std::fabs(value - figure.mean));
                int exponent = 0;
                if (std::isfinite(largest))
                    std::frexp(largest, &exponent);
                double squares = 0.0;
                for (double value : values) {
                    const double scaled = std::ldexp(value - figure.mean, -exponent);
                    squares += scaled * scaled;
                }
                figure.sd = std::ldexp(std::sqrt(squares / (n - 1)), exponent);
                figure.se = figure.sd / std::sqrt(n);
                if (level > 0.0) {
                    // One quantile for each count of samples with a value.
                    auto [at, fresh] = multipliers.try_emplace(figure.count, 0.0);
                    if (fresh)
                        at->second = studentQuantile((1.0 + level) / 2, n - 1);
                    figure.ci = {figure.mean - at->second * figure.se, figure.mean + at->second * figure.se};
                }
            }
        }
        row.figures.push_back(figure);
    }
    return row;
}

}  // namespace

std::vector<SummaryRow> summarizeSamples(const Evaluation& evaluation)
{
    const std::size_t keyCount = evaluation.options.output.keys.size();
    std::map<std::vector<std::string>, std::vector<const Report*>> combinations;
    for (const Report& report : evaluation.samples)
        combinations[keyCount > 0 ? report.keys : std::vector<std::string>{"all"}].push_back(&report);
    // Each key ordered on its own; the rows by the first key, then the
    // second, and so on.
    std::vector<std::map<std::string, std::size_t>> places;
    for (std::size_t k = 0; k < keyCount; ++k) {
        std::vector<std::string> values;
        for (const auto& [keys, reports] : combinations)
            values.push_back(keys[k]);
        places.push_back(placesOf(std::move(values)));
    }
    struct Combination {
        std::vector<std::size_t> ranks;
        const std::vector<std::string>* keys;
        const std::vector<const Report*>* reports;
    };
    std::vector<Combination> ordered;
    for (const auto& [keys, reports] : combinations) {
        Combination combination{{}, &keys, &reports};
        for (std::size_t k = 0; k < keyCount; ++k)
            combination.ranks.push_back(places[k].at(keys[k]));
        ordered.push_back(std::move(combination));
    }
    std::sort(ordered.begin(), ordered.end(),
              [](const Combination& x, const Combination& y) { return x.ranks < y.ranks; });

    std::vector<SummaryRow> summary;
    for (const Combination& combination : ordered) {
        const std::vector<std::string>& keys = *combination.keys;
        const std::vector<const Report*>& reports = *combination.reports;
        summary.push_back(summarize(evaluation.options, keys, kNoDecade + 1, reports));
        if (!evaluation.options.measures.byDensity)
            continue;
        // A row for each decade of a that any sample of the combination has.
        std::map<int, std::vector<const Report*>> decades;
        for (const Report* report : reports)
            for (const Report& decade : report->byDensity)
                decades[decade.decade].push_back(&decade);
        for (const auto& [decade, decadeReports] : decades)
            summary.push_back(summarize(evaluation.options, keys, decade, decadeReports));
    }
    return summary;
}

std::vector<std::string> summaryKeyNames(const OutputOptions& options)
{
    std::vector<std::string> names;
    for (const SampleKey& key : options.keys)
        names.push_back(key.name);
    if (names.empty())
        names.emplace_back("group");
    return names;
}

std::string summaryRowName(const OutputOptions& options, const SummaryRow& row)
{
    const std::vector<std::string> names = summaryKeyNames(options);
    if (names.size() == 1 && names.front() == "group")
        return "group " + wordOrQuoted(row.keys.front());
    std::string name;
    for (std::size_t k = 0; k < names.size(); ++k)
        name += (k == 0 ? "" : " ") + names[k] + "=" + wordOrQuoted(row.keys[k]);
    return name;
}

std::vector<const SummaryRow*> wholeRows(const Evaluation& evaluation)
{
    std::vector<const SummaryRow*> rows;
    for (const SummaryRow& row : evaluation.summary)
        if (row.decade > kNoDecade)
            rows.push_back(&row);
    return rows;
}

}  // namespace calcgap::report
