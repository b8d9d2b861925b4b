// The plots' points, from the summary rows (means over samples, with their
// intervals or spread) and, against time, from the samples themselves.
#include "plots/plotData.h"

#include "evaluation/figureTable.h"
#include "support/quoting.h"

#include <algorithm>
#include <cstdlib>
#include <map>

namespace calcgap::report {

namespace {

// More lines than this by density are one line per combination of the keys
// but the numeric one, at its largest value.
constexpr std::size_t kMostDensityLines = 8;

// The value a key's text names, where the whole text is a positive finite
// number; NaN otherwise.
double positiveNumber(const std::string& text)
{
    if (text.empty())
        return NAN;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return *end == '\0' && std::isfinite(value) && value > 0.0 ? value : NAN;
}

// The place of the chosen figure in a summary row.
std::size_t figurePlace(const Evaluation& evaluation)
{
    const std::vector<std::string> names = figureNames(evaluation.options);
    return static_cast<std::size_t>(std::find(names.begin(), names.end(), evaluation.options.output.plotFigure) -
                                    names.begin());
}

// The name of a line: its keys but the one left out, as "method=binned";
// "all" where no other key is.
std::string lineName(const std::vector<std::string>& names, const std::vector<std::string>& values, std::size_t apart)
{
    std::string name;
    for (std::size_t k = 0; k < names.size(); ++k)
        if (k != apart)
            name += (name.empty() ? "" : " ") + names[k] + "=" + values[k];
    return name.empty() ? "all" : name;
}

// The line a name belongs to, added in the order names first come.
PlotSeries& seriesNamed(Plot& plot, const std::string& name)
{
    for (PlotSeries& series : plot.series)
        if (series.name == name)
            return series;
    plot.series.push_back({name, {}});
    return plot.series.back();
}

// A summary figure as a point at x: its mean, and its interval with --ci
// or its mean -+ sd.
PlotPoint summaryPoint(double x, const SummaryFigure& figure, bool intervals)
{
    PlotPoint p;
    p.x = x;
    p.y = figure.mean;
    p.lo = intervals ? figure.ci.lo : figure.mean - figure.sd;
    p.hi = intervals ? figure.ci.hi : figure.mean + figure.sd;
    return p;
}

// Whether a point can be drawn on the plot's axes; one that cannot is
// counted as left out.
bool drawable(const Plot& plot, const PlotPoint& p)
{
    return std::isfinite(p.x) && std::isfinite(p.y) && (!plot.xLog || p.x > 0.0) && (!plot.yLog || p.y > 0.0);
}

void addPoint(Plot& plot, const std::string& line, const PlotPoint& p)
{
    if (drawable(plot, p))
        seriesNamed(plot, line).points.push_back(p);
    else
        ++plot.leftOut;
}

Plot plotOf(PlotKind kind, const char* file, std::string title, std::string xLabel, std::string yLabel)
{
    Plot plot;
    plot.kind = kind;
    plot.file = file;
    plot.title = std::move(title);
    plot.xLabel = std::move(xLabel);
    plot.yLabel = std::move(yLabel);
    return plot;
}

std::string bandNoteOf(const Evaluation& evaluation)
{
    const double level = evaluation.options.measures.ciLevel;
    if (level > 0.0) {
        char text[64];
        std::snprintf(text, sizeof text, "band: %g%% interval", 100.0 * level);
        return text;
    }
    return "band: mean \u2213 sd";
}

Plot densityPlot(const Evaluation& evaluation, const std::string& key)
{
    const std::vector<std::string> names = summaryKeyNames(evaluation.options.output);
    const std::size_t place = figurePlace(evaluation);
    const std::string& figure = evaluation.options.output.plotFigure;
    Plot plot = plotOf(PlotKind::density, "density.svg", figure + " by decade of the true density a",
                       "decade of a (the value from all points)", figure + ", mean over the samples");
    plot.xLog = false;
    plot.bandNote = bandNoteOf(evaluation);
    std::vector<const SummaryRow*> rows;
    for (const SummaryRow& row : evaluation.summary)
        if (row.decade <= kNoDecade)
            rows.push_back(&row);
    // A line for each combination of the keys where they are few; where
    // they are many, the numeric key at its largest value only.
    std::size_t lines = 0;
    for (const SummaryRow* row : wholeRows(evaluation))
        lines += row->samples > 0 ? 1 : 0;
    std::size_t apart = names.size();
    std::map<std::string, double> largest;
    if (lines > kMostDensityLines && !key.empty()) {
        apart = static_cast<std::size_t>(std::find(names.begin(), names.end(), key) - names.begin());
        for (const SummaryRow* row : rows) {
            double& most = largest[lineName(names, row->keys, apart)];
            most = std::max(most, positiveNumber(row->keys[apart]));
        }
        plot.title += " at the largest " + key;
    }
    for (const SummaryRow* row : rows) {
        const std::string line = lineName(names, row->keys, apart);
        if (apart < names.size() && positiveNumber(row->keys[apart]) != largest[line])
            continue;
        // The pairs whose a <= 0 have no decade to stand at.
        PlotPoint p = summaryPoint(row->decade == kNoDecade ? NAN : row->decade, row->figures[place],
                                   evaluation.options.measures.ciLevel > 0.0);
        addPoint(plot, line, p);
    }
    return plot;
}

// The frontier of the fastest at each accuracy: the points, by time, that
// are more accurate than every faster one.
std::vector<PlotPoint> frontierOf(const Plot& plot)
{
    std::vector<PlotPoint> points;
    for (const PlotSeries& series : plot.series)
        points.insert(points.end(), series.points.begin(), series.points.end());
    std::sort(points.begin(), points.end(),
              [](const PlotPoint& p, const PlotPoint& q) { return p.x < q.x || (p.x == q.x && p.y < q.y); });
    std::vector<PlotPoint> frontier;
    for (const PlotPoint& p : points)
        if (frontier.empty() || p.y < frontier.back().y)
            frontier.push_back(p);
    return frontier;
}

Plot timePlot(const Evaluation& evaluation, const std::string& key)
{
    const std::vector<std::string> names = summaryKeyNames(evaluation.options.output);
    const std::size_t apart = key.empty() ? names.size()
                                          : static_cast<std::size_t>(std::find(names.begin(), names.end(), key) -
                                                                     names.begin());
    const std::string& figure = evaluation.options.output.plotFigure;
    Plot plot = plotOf(PlotKind::time, "time.svg", figure + " against time", "seconds", figure);
    plot.joined = false;
    const std::vector<TimedName>& times = evaluation.times;
    // A name as written, or quoted as the TSV rows quote it.
    const auto timeOf = [&](const std::string& name) -> double {
        for (const TimedName& t : times)
            if (t.name == name || t.name == shellQuoted(name))
                return t.seconds;
        return NAN;
    };
    bool bySample = false;
    for (const Report& sample : evaluation.samples)
        bySample = bySample || !std::isnan(timeOf(sample.sample.path));
    if (bySample) {
        for (const Report& sample : evaluation.samples) {
            const double seconds = timeOf(sample.sample.path);
            if (std::isnan(seconds)) {
                ++plot.untimed;
                continue;
            }
            double value = NAN;
            for (const Field& field : reportFields(sample, evaluation.options))
                if (field.name == figure)
                    value = field.number;
            PlotPoint p;
            p.x = seconds;
            p.y = value;
            addPoint(plot, sample.keys.empty() ? std::string("samples") : lineName(names, sample.keys, apart), p);
        }
    } else {
        // By a key's value: each summary row at the time of the first of
        // its keys' values that has one.
        const std::size_t place = figurePlace(evaluation);
        for (const SummaryRow* row : wholeRows(evaluation)) {
            double seconds = NAN;
            for (const std::string& value : row->keys)
                if (std::isnan(seconds))
                    seconds = timeOf(value);
            if (std::isnan(seconds)) {
                ++plot.untimed;
                continue;
            }
            PlotPoint p = summaryPoint(seconds, row->figures[place], evaluation.options.measures.ciLevel > 0.0);
            p.lo = NAN;
            p.hi = NAN;
            addPoint(plot, lineName(names, row->keys, apart), p);
        }
    }
    plot.frontier = frontierOf(plot);
    return plot;
}

}  // namespace

Plot sizePlot(const Evaluation& evaluation, const std::string& key)
{
    const std::vector<std::string> names = summaryKeyNames(evaluation.options.output);
    const std::size_t apart = static_cast<std::size_t>(std::find(names.begin(), names.end(), key) - names.begin());
    const std::size_t place = figurePlace(evaluation);
    const std::string& figure = evaluation.options.output.plotFigure;
    Plot plot = plotOf(PlotKind::size, "size.svg", figure + " against " + key, key, figure + ", mean over the samples");
    plot.bandNote = bandNoteOf(evaluation);
    for (const SummaryRow* row : wholeRows(evaluation))
        addPoint(plot, lineName(names, row->keys, apart),
                 summaryPoint(positiveNumber(row->keys[apart]), row->figures[place],
                              evaluation.options.measures.ciLevel > 0.0));
    return plot;
}

std::string numericKey(const Evaluation& evaluation)
{
    const std::vector<SampleKey>& keys = evaluation.options.output.keys;
    const std::vector<const SummaryRow*> rows = wholeRows(evaluation);
    for (std::size_t k = keys.size(); k-- > 0;) {
        const bool numeric = !rows.empty() && std::all_of(rows.begin(), rows.end(), [&](const SummaryRow* row) {
            return !std::isnan(positiveNumber(row->keys[k]));
        });
        if (numeric)
            return keys[k].name;
    }
    return "";
}

std::vector<Plot> runPlots(const Evaluation& evaluation)
{
    std::vector<Plot> plots;
    const std::string key = numericKey(evaluation);
    if (!key.empty())
        plots.push_back(sizePlot(evaluation, key));
    if (evaluation.options.measures.byDensity)
        plots.push_back(densityPlot(evaluation, key));
    if (evaluation.options.output.timesPath != nullptr)
        plots.push_back(timePlot(evaluation, key));
    return plots;
}

}  // namespace calcgap::report
