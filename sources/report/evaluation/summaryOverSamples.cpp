// The summary over samples: each figure's mean, sd, se and extremes over the
// samples of a group, and over the same decade of a in each.
#include "evaluation/naturalOrder.h"
#include "evaluation/report.h"

#include "evaluation/figureTable.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace calcgap::report {

namespace {

// Groups in numeric order where every name is a number, otherwise in the
// order of their names.
bool numericNames(const std::vector<std::string>& names)
{
    for (const std::string& name : names) {
        char* end = nullptr;
        std::strtod(name.c_str(), &end);
        if (name.empty() || *end != '\0')
            return false;
    }
    return true;
}

SummaryRow summarize(const ReportOptions& options, const std::string& group, int decade,
                     const std::vector<const Report*>& reports)
{
    SummaryRow row;
    row.group = group;
    row.decade = decade;
    row.samples = static_cast<std::int64_t>(reports.size());
    std::vector<std::vector<Field>> rows;
    for (const Report* report : reports)
        rows.push_back(reportFields(*report, options));
    for (std::size_t k = 0; k < rows.front().size(); ++k) {
        if (!isNumeric(*rows.front()[k].figure))
            continue;
        SummaryFigure figure{rows.front()[k].figure->name, 0, NAN, NAN, NAN, NAN, NAN};
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
            }
        }
        row.figures.push_back(figure);
    }
    return row;
}

}  // namespace

std::vector<SummaryRow> summarizeSamples(const Evaluation& evaluation)
{
    std::map<std::string, std::vector<const Report*>> groups;
    for (const Report& report : evaluation.samples)
        groups[evaluation.options.output.groupPattern != nullptr ? report.group : "all"].push_back(&report);
    std::vector<std::string> names;
    for (const auto& [name, reports] : groups)
        names.push_back(name);
    // Groups that are numbers ("0.25", "1e3") in the order of their values,
    // others in natural order ("n400" before "n1600").
    if (numericNames(names))
        std::sort(names.begin(), names.end(), [](const std::string& x, const std::string& y) {
            return std::strtod(x.c_str(), nullptr) < std::strtod(y.c_str(), nullptr);
        });
    else
        std::sort(names.begin(), names.end(), naturalLess);
    std::vector<SummaryRow> summary;
    for (const std::string& name : names) {
        const std::vector<const Report*>& reports = groups[name];
        summary.push_back(summarize(evaluation.options, name, kNoDecade + 1, reports));
        if (!evaluation.options.measures.byDensity)
            continue;
        // A row for each decade of a that any sample of the group has.
        std::map<int, std::vector<const Report*>> decades;
        for (const Report* report : reports)
            for (const Report& decade : report->byDensity)
                decades[decade.decade].push_back(&decade);
        for (const auto& [decade, decadeReports] : decades)
            summary.push_back(summarize(evaluation.options, name, decade, decadeReports));
    }
    return summary;
}

}  // namespace calcgap::report
