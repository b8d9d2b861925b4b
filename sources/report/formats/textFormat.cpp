// The report as a person reads it: aligned sections, six significant
// digits, a bar chart of the relative errors by decade.  A figure without a
// value shows as n/a, an infinite one as inf.
#include "formats/formats.h"

#include "formats/textCells.h"
#include "formats/textLines.h"
#include "formats/textTables.h"

#include "evaluation/inputProblems.h"
#include "support/quoting.h"
#include "evaluation/figureTable.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace calcgap::report {

namespace {

constexpr int kBarWidth = 30;

std::string at(double value, std::int64_t index)
{
    return std::isnan(value) ? "n/a" : number(value) + printed(" at point %lld", static_cast<long long>(index));
}

std::string fileLine(const FileSummary& file)
{
    std::string what = counted(file.values, "value", "values") + (file.kind == "text" ? "" : " (" + file.kind + ")");
    switch (file.end) {
    case FileEnd::endOfFile:
        what += ", then the end of the file";
        break;
    case FileEnd::notANumber:
        what += ", then text that is not a number at " + placeOf(file.stop) + ": " + shellQuoted(file.stopText);
        break;
    case FileEnd::notReached:
        what += ", the rest not read";
        break;
    case FileEnd::notCounted:
        what += ", then more, not counted: it is not a regular file";
        break;
    }
    return what;
}

void pointsLines(OutputBuffer& out, const Evaluation& evaluation, std::vector<InputProblem>& problems)
{
    if (!evaluation.hasPoints)
        return;
    line(out, "test points", shellQuoted(evaluation.points.path) + ", " +
                                 std::to_string(evaluation.options.dim) + " coordinates a point");
    line(out, "points", fileLine(evaluation.points));
    const std::vector<InputProblem> points = pointsProblems(evaluation);
    problems.insert(problems.end(), points.begin(), points.end());
}

void inputSection(OutputBuffer& out, const Evaluation& evaluation, const Report& r)
{
    put(out, "Input\n");
    const char* const names[] = {"a", "b"};
    const FileSummary* const files[] = {&r.allpts, &r.sample};
    for (int f = 0; f < 2; ++f) {
        line(out, names[f], fileLine(*files[f]));
        if (files[f]->commentLines > 0)
            line(out, std::string(names[f]) + ": comments",
                 counted(files[f]->commentLines, "line", "lines") + " passed over");
    }
    std::vector<InputProblem> problems = inputProblems(r);
    pointsLines(out, evaluation, problems);
    if (r.options.logs)
        line(out, "values", "natural logarithms of the densities (--log)");
    line(out, "pairs compared",
         std::to_string(r.pairs) +
             (r.countGiven ? " (as --count asked)" : " (as many as the shorter file yields)"));
    for (const InputProblem& problem : problems)
        line(out, problem.label, problem.text);
    if (r.bothUnderflowed > 0)
        line(out, "both underflowed", counted(r.bothUnderflowed, "pair", "pairs") +
                                          " whose two values read as 0 from nonzero values, left out of the relative,"
                                          " ratio and tolerance figures");
    if (r.options.minTruthGiven)
        line(out, "below --min-truth", counted(r.belowMinTruth, "pair", "pairs") + " with a < " +
                                           (r.options.minTruthBeyondDoubles ? decimalOfLog(r.options.logMinTruth)
                                                                            : number(r.options.minTruth)) +
                                           ", left out of the relative, ratio and tolerance figures");
    if (problems.empty())
        line(out, "problems", "none");
}

void quantileLines(OutputBuffer& out, const Quantiles& q, bool withP999)
{
    line(out, "median", number(q.median));
    line(out, "p90", number(q.p90));
    line(out, "p99", number(q.p99));
    if (withP999)
        line(out, "p99.9", number(q.p999));
}

// The columns of a table of points, each right-aligned in its width.
void row(OutputBuffer& out, std::initializer_list<std::string_view> cells)
{
    static const std::size_t widths[] = {4, 11, 22, 22, 13, 13};
    static const std::string_view spaces = "                       ";
    put(out, " ");
    std::size_t column = 0;
    for (std::string_view cell : cells) {
        const std::size_t width = widths[column++];
        put(out, spaces.substr(0, 1 + (cell.size() < width ? width - cell.size() : 0)));
        put(out, cell);
    }
    put(out, "\n");
}

// A value as read, in the shortest form that reads back to the same double.
std::string asRead(double value)
{
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// The first few coordinates of a point, as read.
constexpr std::int32_t kCoordinatesShown = 3;

std::string coordinatesOf(const WorstPoints& worst, const WorstPoint& p)
{
    std::string text = "(";
    const std::int32_t shown = std::min(worst.dim, kCoordinatesShown);
    for (std::int32_t d = 0; d < shown; ++d)
        text += (d > 0 ? ", " : "") +
                asRead(worst.coordinates[static_cast<std::size_t>(p.coordinates) + static_cast<std::size_t>(d)]);
    return text + (worst.dim > shown ? ", ...)" : ")");
}

void worstSection(OutputBuffer& out, const char* title, const WorstPoints& worst, bool logs)
{
    const std::vector<WorstPoint>& points = worst.points;
    put(out, "\nWorst " + counted(static_cast<std::int64_t>(points.size()), "point", "points") + " by " + title +
                 "\n");
    row(out, {"rank", "point", logs ? "ln a" : "a", logs ? "ln b" : "b", "|a - b|", "relative"});
    for (std::size_t i = 0; i < points.size(); ++i) {
        const WorstPoint& p = points[i];
        row(out, {std::to_string(i + 1), std::to_string(p.index), asRead(p.a), asRead(p.b), number(p.absError),
                  number(p.relError)});
        if (p.coordinates >= 0)
            put(out, "        at " + coordinatesOf(worst, p) + "\n");
    }
}

void decadeChart(OutputBuffer& out, const Report& r)
{
    put(out, "\nRelative errors by decade\n");
    // The decades from the first that holds an error to the last.
    int firstBin = kDecadeBins;
    int lastBin = -1;
    std::int64_t largest = 0;
    for (int bin = 0; bin < kDecadeBins; ++bin) {
        const std::int64_t count = r.decades[static_cast<std::size_t>(bin)];
        if (count > 0) {
            firstBin = std::min(firstBin, bin);
            lastBin = bin;
        }
        largest = std::max(largest, count);
    }
    if (lastBin < 0)
        put(out, "  no relative errors\n");
    for (int bin = firstBin; bin <= lastBin; ++bin) {
        const std::int64_t count = r.decades[static_cast<std::size_t>(bin)];
        const int length = largest > 0 ? static_cast<int>(std::lround(static_cast<double>(count) * kBarWidth /
                                                                      static_cast<double>(largest)))
                                       : 0;
        const std::string bar = std::string(static_cast<std::size_t>(length), '#') +
                                std::string(static_cast<std::size_t>(kBarWidth - length), ' ');
        put(out, printed("  %-14s |%s| %6s %11lld\n", kDecadeLabels[bin], bar.c_str(),
                         share(count, r.relCount).c_str(), static_cast<long long>(count)));
    }
}

void densitySection(OutputBuffer& out, const Report& r)
{
    put(out, "\nErrors by decade of a (the value from all points)\n");
    if (r.densityTable.empty()) {
        put(out, "  no pairs\n");
        return;
    }
    put(out, "  " + left("decade of a", 18) + cell("pairs", kCell) + cell("rel mean", kCell) +
                 cell("rel p99", kCell) + cell("rel max", kCell) + cell("abs mean", kCell) + cell("within", 8) +
                 "\n");
    for (const DensityRow& row : r.densityTable)
        put(out, "  " + left(decadeName(row.decade, 1), 18) + cell(std::to_string(row.pairs), kCell) +
                     cell(number(row.relMean), kCell) + cell(number(row.relP99), kCell) +
                     cell(number(row.relMax), kCell) + cell(number(row.absMean), kCell) +
                     cell(percent(row.withinShare), 8) +
                     "\n");
}

std::string requirementResult(const FailedRequirement& failure)
{
    return failure.requirement + " failed: " +
           (std::isnan(failure.value) ? std::string("the figure has no value") : "it is " + number(failure.value));
}

void requirementSection(OutputBuffer& out, const Evaluation& evaluation)
{
    if (evaluation.options.output.requirements.empty())
        return;
    put(out, "\nRequirements\n");
    if (evaluation.failures.empty()) {
        line(out, "all met", std::to_string(evaluation.options.output.requirements.size()) + " checked for " +
                                 counted(static_cast<std::int64_t>(evaluation.samples.size()), "sample", "samples"));
        return;
    }
    for (const FailedRequirement& failure : evaluation.failures) {
        const std::string where = failure.summary
                                      ? summaryRowName(evaluation.options.output, evaluation.summary[failure.index])
                                      : shellQuoted(evaluation.samples[failure.index].sample.path);
        line(out, where, requirementResult(failure));
    }
}

void oneSample(const Evaluation& evaluation, OutputBuffer& out)
{
    const Report& r = evaluation.samples.front();
    put(out, "calcGap_report\n");
    line(out, "a (from all points)", shellQuoted(r.allpts.path));
    line(out, "b (from the sample)", shellQuoted(r.sample.path));
    put(out, "\n");
    inputSection(out, evaluation, r);

    put(out, "\nAbsolute error |a - b|, over " + counted(r.measured, "pair", "pairs") +
                 (r.options.logs ? ", of the densities exp(a), exp(b)" : "") + "\n");
    if (r.absUnderflows > 0)
        line(out, "underflow", counted(r.absUnderflows, "pair", "pairs") +
                                   " whose absolute errors fall below the normal doubles, with fewer digits");
    line(out, "mean", number(r.absMean));
    line(out, "sd, se of the mean", number(r.absSd) + ", " + number(r.absSe));
    line(out, "rms", number(r.absRms));
    line(out, "max", at(r.absMax, r.absMaxIndex));
    quantileLines(out, r.absQuantiles, true);

    put(out, "\nRelative error |a - b| / max(|a|, " + number(r.options.floor) + "), over " +
                 counted(r.relCount, "pair", "pairs") + "\n");
    line(out, "mean", number(r.relMean));
    line(out, "sd, se of the mean", number(r.relSd) + ", " + number(r.relSe));
    line(out, "max", at(r.relMax, r.relMaxIndex));
    quantileLines(out, r.relQuantiles, false);
    if (r.relZeroOverZero > 0 || r.relInfinite > 0)
        line(out, "zero denominator",
             std::to_string(r.relZeroOverZero) + " with b = 0 too (error 0), " + std::to_string(r.relInfinite) +
                 " infinite");

    put(out, "\nSigned error (bias), mean +- its standard error\n");
    line(out, "b - a", number(r.signedMean) + " +- " + number(r.signedSe));
    line(out, "(b - a) / max(|a|, " + number(r.options.floor) + ")",
         number(r.signedRelMean) + " +- " + number(r.signedRelSe));

    put(out, "\nWithin tolerance |a - b| <= " + number(r.options.atol) + " + " + number(r.options.rtol) + " |a|\n");
    line(out, "pairs", std::to_string(r.within) + " of " + std::to_string(r.toleranceCount) + " (" +
                           share(r.within, r.toleranceCount) + ")");
    line(out, "least rtol for 100%", number(r.rtolForAll));
    line(out, "least rtol for 99.9%", number(r.rtolFor999));
    line(out, "least rtol for 99%", number(r.rtolFor99));

    put(out, "\nRatio error, over " + counted(r.ratioPairs, "pair", "pairs") + " with a > 0 and b > 0\n");
    line(out, "mean |ln(b / a)|", number(r.logRatioMean));
    line(out, "largest |ln(b / a)|", at(r.logRatioMax, r.ratioMaxIndex));
    line(out, "largest max(a/b, b/a)", at(r.ratioMax, r.ratioMaxIndex));
    line(out, "exactly one value <= 0", counted(r.oneNotPositive, "pair", "pairs"));

    put(out, "\nScale-free norms\n");
    line(out, "relative L2", number(r.relativeL2) + "   sqrt(sum (a - b)^2 / sum a^2)");
    line(out, "max|a - b| / max|a|", number(r.maxOverMaxAllpts));

    put(out, "\nClassic lines, single precision summed in order, as the three tools print\n");
    if (!r.classicNote.empty()) {
        line(out, "none", r.classicNote);
    } else {
        line(out, "calcGap_mean", r.classicMean);
        line(out, "calcGap_rms", r.classicRms);
        line(out, "calcGap_peak", r.classicPeak);
    }

    if (r.options.worst > 0) {
        worstSection(out, "absolute error", r.worstAbs, r.options.logs);
        worstSection(out, "relative error", r.worstRel, r.options.logs);
    }
    decadeChart(out, r);
    densitySection(out, r);
    if (evaluation.options.output.summary)
        summaryTable(out, evaluation, false);
    requirementSection(out, evaluation);
    put(out, "\nPoints count from 0.  Means and rms are accurate to " + number(kSumBound) + "; quantiles are\n"
             "nearest-rank order statistics, exact up to 32,768 errors and within 0.1%\n"
             "past them (1% by decade of a).\n");
}

void severalSamples(const Evaluation& evaluation, OutputBuffer& out)
{
    put(out, "calcGap_report\n");
    line(out, "a (from all points)", shellQuoted(evaluation.allpts.path));
    line(out, "a", fileLine(evaluation.allpts));
    std::vector<InputProblem> problems;
    pointsLines(out, evaluation, problems);
    for (const InputProblem& problem : problems)
        line(out, problem.label, problem.text);
    line(out, "samples", std::to_string(evaluation.samples.size()) + ", each compared with a");
    sampleTable(out, evaluation);
    summaryTable(out, evaluation, false);
    if (evaluation.options.measures.byDensity)
        summaryTable(out, evaluation, true);
    plotSection(out, evaluation);
    pairedSection(out, evaluation);
    requirementSection(out, evaluation);
    put(out, "\nRelative errors are |a - b| / max(|a|, " + number(evaluation.options.measures.floor) +
                 "); within is the share of pairs with\n|a - b| <= " + number(evaluation.options.measures.atol) + " + " +
                 number(evaluation.options.measures.rtol) + " |a|; bias is the mean of b - a.\n");
}

}  // namespace

void writeText(const Evaluation& evaluation, OutputBuffer& out)
{
    if (!evaluation.options.output.tableFigures.empty())
        pivotText(evaluation, out);
    else if (evaluation.samples.size() == 1)
        oneSample(evaluation, out);
    else
        severalSamples(evaluation, out);
}

}  // namespace calcgap::report
