// The report as a person reads it: aligned sections, six significant
// digits, a bar chart of the relative errors by decade.  A figure without a
// value shows as n/a, an infinite one as inf.
#include "formats.h"

#include "quoting.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>

namespace {

constexpr int kLabelWidth = 26;
constexpr int kBarWidth = 30;

// As "%.6g" prints it, without printf's multiple-precision arithmetic, which
// a list of millions of points would wait on.
std::string number(double value)
{
    if (std::isnan(value))
        return "n/a";
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6).ptr);
}

std::string printed(const char* format, ...)
{
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

// "1 pair", "2 pairs".
std::string counted(std::int64_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

void line(OutputBuffer& out, const std::string& label, const std::string& value)
{
    put(out, printed("  %-*s ", kLabelWidth - 2, label.c_str()));
    put(out, value);
    put(out, "\n");
}

std::string at(double value, std::int64_t index)
{
    return std::isnan(value) ? "n/a" : number(value) + printed(" at point %lld", static_cast<long long>(index));
}

std::string place(const TextPosition& position)
{
    return printed("line %llu, column %llu (byte %llu)", static_cast<unsigned long long>(position.line),
                   static_cast<unsigned long long>(position.column),
                   static_cast<unsigned long long>(position.offset));
}

std::string share(std::int64_t part, std::int64_t whole)
{
    return whole > 0 ? printed("%.1f%%", 100.0 * static_cast<double>(part) / static_cast<double>(whole))
                     : "n/a";
}

void inputSection(OutputBuffer& out, const Report& r)
{
    put(out, "Input\n");
    const char* const names[] = {"a", "b"};
    const FileSummary* const files[] = {&r.allpts, &r.sample};
    for (int f = 0; f < 2; ++f) {
        const FileSummary& file = *files[f];
        std::string what = counted(file.values, "value", "values") + (file.kind == "text" ? "" : " (" + file.kind + ")");
        switch (file.end) {
        case FileEnd::endOfFile:
            what += ", then the end of the file";
            break;
        case FileEnd::notANumber:
            what += ", then text that is not a number at " + place(file.stop) + ": " + shellQuoted(file.stopText);
            break;
        case FileEnd::notReached:
            what += ", the rest not read";
            break;
        case FileEnd::notCounted:
            what += ", then more, not counted: it is not a regular file";
            break;
        }
        line(out, names[f], what);
        if (file.commentLines > 0)
            line(out, std::string(names[f]) + ": comments",
                 counted(file.commentLines, "line", "lines") + " passed over");
    }
    if (r.options.logs)
        line(out, "values", "natural logarithms of the densities (--log)");
    line(out, "pairs compared",
         std::to_string(r.pairs) +
             (r.options.countGiven ? " (as --count asked)" : " (as many as the shorter file yields)"));
    bool any = false;
    const auto problem = [&](const std::string& label, const std::string& text) {
        line(out, label, text);
        any = true;
    };
    if (r.pairs == 0)
        problem("no pairs", "nothing was compared");
    for (int f = 0; f < 2; ++f) {
        const FileSummary& file = *files[f];
        const std::string name = names[f];
        if (file.skippedReads > 0)
            problem(name + ": failed reads",
                    std::to_string(file.skippedReads) +
                        " skipped (each pair repeats the value before), the first at " + place(file.firstSkip));
        if (file.shortLines > 0)
            problem(name + ": short lines", counted(file.shortLines, "line", "lines") +
                                                " without the field (each pair repeats the value before), the first "
                                                "line " + std::to_string(file.firstShortLine));
        if (file.underflows > 0)
            problem(name + ": underflow", counted(file.underflows, "value", "values") +
                                              " read as 0 or below the normal range, from values written nonzero");
        if (file.overflows > 0)
            problem(name + ": overflow",
                    counted(file.overflows, "value", "values") + " read as infinite, from finite values written");
        if (file.nans > 0 || file.infinities > 0)
            problem(name + ": NaN, infinite",
                    std::to_string(file.nans) + ", " + counted(file.infinities, "value", "values"));
        if (file.shortPairs > 0)
            problem(name + ": ran short",
                    counted(file.shortPairs, "pair repeats", "pairs repeat") + " its last value");
    }
    if (r.leftOut > 0)
        problem("pairs left out", std::to_string(r.leftOut) + " (a NaN or infinite value)");
    if (r.bothUnderflowed > 0)
        line(out, "both underflowed", counted(r.bothUnderflowed, "pair", "pairs") +
                                          " whose two values read as 0 from nonzero values, left out of the relative,"
                                          " ratio and tolerance figures");
    if (unequalLengths(r))
        problem("unequal lengths", "the files hold different numbers of values");
    if (!any)
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

void worstSection(OutputBuffer& out, const char* title, const std::vector<WorstPoint>& points, bool logs)
{
    put(out, "\nWorst " + counted(static_cast<std::int64_t>(points.size()), "point", "points") + " by " + title +
                 "\n");
    row(out, {"rank", "point", logs ? "ln a" : "a", logs ? "ln b" : "b", "|a - b|", "relative"});
    for (std::size_t i = 0; i < points.size(); ++i) {
        const WorstPoint& p = points[i];
        row(out, {std::to_string(i + 1), std::to_string(p.index), asRead(p.a), asRead(p.b), number(p.absError),
                  number(p.relError)});
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

}  // namespace

void writeText(const Report& r, OutputBuffer& out)
{
    put(out, "calcGap_report\n");
    line(out, "a (from all points)", shellQuoted(r.allpts.path));
    line(out, "b (from the sample)", shellQuoted(r.sample.path));
    put(out, "\n");
    inputSection(out, r);

    put(out, "\nAbsolute error |a - b|, over " + counted(r.measured, "pair", "pairs") +
                 (r.options.logs ? ", of the densities exp(a), exp(b)" : "") + "\n");
    if (r.absUnderflows > 0)
        line(out, "underflow", counted(r.absUnderflows, "pair", "pairs") +
                                   " whose densities fall below the normal doubles, with fewer digits");
    line(out, "mean", number(r.absMean));
    line(out, "rms", number(r.absRms));
    line(out, "max", at(r.absMax, r.absMaxIndex));
    quantileLines(out, r.absQuantiles, true);

    put(out, "\nRelative error |a - b| / max(|a|, " + number(r.options.floor) + "), over " +
                 counted(r.relCount, "pair", "pairs") + "\n");
    line(out, "mean", number(r.relMean));
    line(out, "max", at(r.relMax, r.relMaxIndex));
    quantileLines(out, r.relQuantiles, false);
    if (r.relZeroOverZero > 0 || r.relInfinite > 0)
        line(out, "zero denominator",
             std::to_string(r.relZeroOverZero) + " with b = 0 too (error 0), " + std::to_string(r.relInfinite) +
                 " infinite");

    put(out, "\nWithin tolerance |a - b| <= " + number(r.options.atol) + " + " + number(r.options.rtol) + " |a|\n");
    line(out, "pairs", std::to_string(r.within) + " of " + std::to_string(r.toleranceCount) + " (" +
                           share(r.within, r.toleranceCount) + ")");

    put(out, "\nRatio error, over " + counted(r.ratioPairs, "pair", "pairs") + " with a > 0 and b > 0\n");
    line(out, "mean |ln(b / a)|", number(r.logRatioMean));
    line(out, "largest |ln(b / a)|", at(r.logRatioMax, r.ratioMaxIndex));
    line(out, "largest max(a/b, b/a)", at(r.ratioMax, r.ratioMaxIndex));
    line(out, "exactly one value <= 0", counted(r.oneNotPositive, "pair", "pairs"));

    put(out, "\nScale-free norms\n");
    line(out, "relative L2", number(r.relativeL2) + "   sqrt(sum (a - b)^2 / sum a^2)");
    line(out, "max|a - b| / max|a|", number(r.maxOverMaxAllpts));

    put(out, "\nClassic lines, single precision summed in order, as the three tools print\n");
    if (r.options.logs) {
        line(out, "none", "the classic tools read densities, not their logarithms");
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
    put(out, "\nPoints count from 0.  Means and rms are accurate to 1e-12; quantiles are\n"
             "nearest-rank order statistics to within 0.1%.\n");
}
