// The text report's tables over several samples: a row per sample, the
// summary over them, the paired comparison, and the pivot tables of
// --table.
#include "formats/textTables.h"

#include "formats/textCells.h"
#include "formats/textLines.h"

#include "evaluation/figureTable.h"
#include "evaluation/inputProblems.h"
#include "evaluation/pasteTables.h"
#include "formats/pasteCells.h"
#include "plots/plotData.h"
#include "support/quoting.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

namespace calcgap::report {

namespace {

// A figure in a table's cell: a share in percent, the rest to six digits.
std::string headlineCell(const Figure& figure, double value)
{
    return figure.kind == FigureKind::share ? percent(value) : number(value);
}

// To digits significant digits, as a table over samples shows a value.
std::string digitsOf(double value, int digits)
{
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value, std::chars_format::general, digits).ptr);
}

std::string short3(double value)
{
    return digitsOf(value, 3);
}

// A figure over the samples as mean +- sd, to three digits, so that a row
// of them fits a terminal; every digit is in the other formats.
// A share shows in percent, as in the table of samples.
std::string meanAndSd(const Figure& shown, const SummaryFigure& figure)
{
    if (std::isnan(figure.mean))
        return "n/a";
    const auto shownValue = [&](double value) { return shown.kind == FigureKind::share ? percent(value) : short3(value); };
    return shownValue(figure.mean) + " +- " + (std::isnan(figure.sd) ? std::string("n/a") : shownValue(figure.sd));
}

constexpr std::size_t kSummaryCell = 19;

// A bar of eight heights for each value of the numeric key.
constexpr const char* kBars[] = {"\u2581", "\u2582", "\u2583", "\u2584", "\u2585", "\u2586", "\u2587", "\u2588"};
constexpr int kLevels = static_cast<int>(std::size(kBars));

}  // namespace

void summaryTable(OutputBuffer& out, const Evaluation& evaluation, bool byDecade)
{
    put(out, byDecade ? "\nBy decade of a, over the samples of each group: mean +- sd\n"
                      : "\nSummary over the samples of each group: mean +- sd\n");
    const std::vector<std::string> keyNames = summaryKeyNames(evaluation.options.output);
    std::vector<std::size_t> widths;
    for (std::size_t k = 0; k < keyNames.size(); ++k) {
        widths.push_back(displayWidth(keyNames[k]));
        for (const SummaryRow& row : evaluation.summary)
            widths[k] = std::max(widths[k], displayWidth(wordOrQuoted(row.keys[k])));
    }
    const auto keyCells = [&](const std::vector<std::string>& values, bool quote) {
        std::string text;
        for (std::size_t k = 0; k < values.size(); ++k)
            text += "  " + left(quote ? wordOrQuoted(values[k]) : values[k], widths[k]);
        return text;
    };
    std::string header = keyCells(keyNames, false) + (byDecade ? "  " + left("decade of a", 18) : "") +
                         cell("samples", 8) + (byDecade ? cell("pairs", kCell) : "");
    const std::vector<std::string> names = figureNames(evaluation.options);
    const auto indexOf = [&](const std::string& name) {
        return static_cast<std::size_t>(std::find(names.begin(), names.end(), name) - names.begin());
    };
    const std::vector<const Figure*> shown = headlineFigures(byDecade ? kDecadeSummaryTable : kSummaryTable);
    for (const Figure* figure : shown)
        header += cell(figure->title, kSummaryCell);
    put(out, header + "\n");
    for (const SummaryRow& row : evaluation.summary) {
        if ((row.decade <= kNoDecade) != byDecade)
            continue;
        std::string text = keyCells(row.keys, true) +
                           (byDecade ? "  " + left(decadeName(row.decade, evaluation.options.measures.decadesPerRow), 18) : "") +
                           cell(std::to_string(row.samples), 8);
        // A decade's pairs differ from sample to sample: their mean.
        if (byDecade)
            text += cell(number(row.figures[indexOf("pairs")].mean), kCell);
        for (const Figure* figure : shown)
            text += cell(meanAndSd(*figure, row.figures[indexOf(figure->name)]), kSummaryCell);
        put(out, text + "\n");
    }
}

void sampleTable(OutputBuffer& out, const Evaluation& evaluation)
{
    std::size_t width = 6;
    for (const Report& r : evaluation.samples)
        width = std::max(width, displayWidth(shellQuoted(r.sample.path)));
    std::string header = "  " + left("sample", width) + cell("pairs", kCell);
    const std::vector<const Figure*> shown = headlineFigures(kSampleTable);
    for (const Figure* figure : shown)
        header += cell(figure->title, kCell);
    put(out, "\nSamples against a\n" + header + "\n");
    for (const Report& r : evaluation.samples) {
        std::string text = "  " + left(shellQuoted(r.sample.path), width) + cell(std::to_string(r.pairs), kCell);
        const std::vector<Field> fields = reportFields(r, evaluation.options);
        for (const Figure* figure : shown) {
            const auto field = std::find_if(fields.begin(), fields.end(), [&](const Field& f) { return f.figure == figure; });
            text += cell(headlineCell(*figure, field->number), kCell);
        }
        put(out, text + "\n");
    }
    bool any = false;
    for (const Report& r : evaluation.samples) {
        for (const InputProblem& problem : inputProblems(r)) {
            if (!any)
                put(out, "\nInput problems\n");
            any = true;
            line(out, shellQuoted(r.sample.path), problem.label + ": " + problem.text);
        }
    }
}

// Each sample against its baseline, and how many of each row's samples
// won.
void pairedSection(OutputBuffer& out, const Evaluation& evaluation)
{
    if (evaluation.options.output.baselineText == nullptr)
        return;
    put(out, "\nPaired with the baseline " + shellQuoted(evaluation.options.output.baselineText) +
                 ", point by point over the relative errors\n");
    std::size_t width = 6;
    for (const Report& r : evaluation.samples)
        width = std::max(width, displayWidth(shellQuoted(r.sample.path)));
    put(out, "  " + left("sample", width) + cell("points", kCell) + cell("win rate", kCell) + cell("sign p", kCell) +
                 cell("ratio med", kCell) + cell("ratio gmean", kCell) + "  rel diff mean +- se, against\n");
    for (const Report& r : evaluation.samples) {
        if (r.vs.empty())
            continue;
        const PairedFigures& p = r.paired;
        put(out, "  " + left(shellQuoted(r.sample.path), width) + cell(std::to_string(p.points), kCell) +
                     cell(percent(p.winRate), kCell) + cell(number(p.signP), kCell) + cell(number(p.ratioMedian), kCell) +
                     cell(number(p.ratioGeomean), kCell) + "  " + number(p.differenceMean) + " +- " +
                     number(p.differenceSe) + ", " + r.vs + "\n");
    }
    for (const SummaryRow& row : evaluation.summary)
        if (row.decade > kNoDecade && row.won >= 0)
            line(out, summaryRowName(evaluation.options.output, row),
                 "won " + std::to_string(row.won) + " of " + std::to_string(row.samples));
}

void plotSection(OutputBuffer& out, const Evaluation& evaluation)
{
    const std::string key = numericKey(evaluation);
    if (key.empty())
        return;
    const Plot plot = sizePlot(evaluation, key);
    std::vector<double> xs;
    double least = INFINITY;
    double most = -INFINITY;
    std::size_t width = 0;
    for (const PlotSeries& series : plot.series) {
        width = std::max(width, displayWidth(wordOrQuoted(series.name)));
        for (const PlotPoint& p : series.points) {
            xs.push_back(p.x);
            least = std::min(least, std::log10(p.y));
            most = std::max(most, std::log10(p.y));
        }
    }
    if (xs.empty())
        return;
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    put(out, "\n" + plot.title + ": the mean over the samples, each bar on one log scale from " +
                 short3(std::pow(10.0, least)) + " to " + short3(std::pow(10.0, most)) + "\n");
    for (const PlotSeries& series : plot.series) {
        std::string bars;
        std::string values;
        for (const double x : xs) {
            const auto at = std::find_if(series.points.begin(), series.points.end(),
                                         [&](const PlotPoint& p) { return p.x == x; });
            if (at == series.points.end()) {
                bars += " ";
                continue;
            }
            const double place = most > least ? (std::log10(at->y) - least) / (most - least) : 1.0;
            bars += kBars[std::clamp(static_cast<int>(std::lround(place * (kLevels - 1))), 0, kLevels - 1)];
            values += (values.empty() ? "" : " ") + short3(at->y);
        }
        put(out, "  " + left(wordOrQuoted(series.name), width) + "  " + bars + "  " + values + "\n");
    }
    std::string axis;
    for (const double x : xs)
        axis += (axis.empty() ? "" : " ") + digitsOf(x, 6);
    put(out, "  " + std::string(width, ' ') + "  " + plot.xLabel + ": " + axis + "\n");
}

// The pivot tables of --table, aligned, +- between a mean and its sd.
void pivotText(const Evaluation& evaluation, OutputBuffer& out)
{
    constexpr CellMarks kMarks{"+-", "", "", false};
    bool first = true;
    for (const PastedTable& table : pastedTables(evaluation, kMarks, nullptr)) {
        std::vector<std::vector<std::string>> lines{table.head};
        lines.insert(lines.end(), table.rows.begin(), table.rows.end());
        std::vector<std::size_t> widths(table.head.size(), 0);
        for (const std::vector<std::string>& cells : lines)
            for (std::size_t c = 0; c < cells.size(); ++c)
                widths[c] = std::max(widths[c], displayWidth(cells[c]));
        put(out, (first ? "" : "\n") + table.caption + "\n");
        first = false;
        for (const std::vector<std::string>& cells : lines) {
            std::string text = " ";
            for (std::size_t c = 0; c < cells.size(); ++c)
                text += c < table.nameColumns ? " " + left(cells[c], widths[c]) : cell(cells[c], widths[c] + 1);
            put(out, text + "\n");
        }
    }
}

}  // namespace calcgap::report
