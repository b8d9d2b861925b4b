// The report as a person reads it: aligned sections, six significant
// digits, a bar chart of the relative errors by decade.
#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace {

constexpr int kLabelWidth = 26;
constexpr int kBarWidth = 30;

std::string number(double value)
{
    if (std::isnan(value))
        return "n/a";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string printed(const char* format, ...)
{
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

void line(std::string& out, const std::string& label, const std::string& value)
{
    out += printed("  %-*s %s\n", kLabelWidth - 2, label.c_str(), value.c_str());
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

void inputSection(std::string& out, const Report& r)
{
    out += "Input\n";
    const char* const names[] = {"a", "b"};
    for (int f = 0; f < 2; ++f) {
        const FileSummary& file = r.files[f];
        std::string what = printed("%lld values", static_cast<long long>(file.values));
        if (file.end == FileEnd::endOfFile)
            what += ", then the end of the file";
        else if (file.end == FileEnd::notANumber)
            what += ", then text that is not a number at " + place(file.stop) + ": " + shellQuoted(file.stopText);
        else
            what += ", the rest not read";
        line(out, names[f], what);
    }
    line(out, "pairs compared",
         printed("%lld", static_cast<long long>(r.pairs)) +
             (r.options.countGiven ? " (as --count asked)" : " (as many as the shorter file yields)"));
    bool any = false;
    const auto problem = [&](const std::string& label, const std::string& text) {
        line(out, label, text);
        any = true;
    };
    for (int f = 0; f < 2; ++f) {
        const FileSummary& file = r.files[f];
        const std::string name = names[f];
        if (file.skippedReads > 0)
            problem(name + ": failed reads",
                    printed("%lld skipped (each pair repeats the value before), the first at ",
                            static_cast<long long>(file.skippedReads)) + place(file.firstSkip));
        if (file.nans > 0 || file.infinities > 0)
            problem(name + ": NaN, infinite", printed("%lld, %lld values", static_cast<long long>(file.nans),
                                                      static_cast<long long>(file.infinities)));
        if (file.shortPairs > 0)
            problem(name + ": ran short",
                    printed("%lld pairs repeat its last value", static_cast<long long>(file.shortPairs)));
    }
    if (r.leftOut > 0)
        problem("pairs left out", printed("%lld (a NaN or infinite value)", static_cast<long long>(r.leftOut)));
    if (r.files[0].values != r.files[1].values)
        problem("unequal lengths", "the files hold different numbers of values");
    if (!any)
        line(out, "problems", "none");
}

void quantileLines(std::string& out, const Quantiles& q, bool withP999)
{
    line(out, "median", number(q.median));
    line(out, "p90", number(q.p90));
    line(out, "p99", number(q.p99));
    if (withP999)
        line(out, "p99.9", number(q.p999));
}

void worstSection(std::string& out, const char* title, const std::vector<WorstPoint>& points)
{
    out += printed("\nWorst %zu points by %s\n", points.size(), title);
    out += printed("  %4s %11s %13s %13s %13s %13s\n", "rank", "point", "a", "b", "|a - b|", "relative");
    for (std::size_t i = 0; i < points.size(); ++i) {
        const WorstPoint& p = points[i];
        out += printed("  %4zu %11lld %13s %13s %13s %13s\n", i + 1, static_cast<long long>(p.index),
                       number(p.a).c_str(), number(p.b).c_str(), number(p.absError).c_str(),
                       number(p.relError).c_str());
    }
}

void decadeChart(std::string& out, const Report& r)
{
    out += "\nRelative errors by decade\n";
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
        out += "  no relative errors\n";
    for (int bin = firstBin; bin <= lastBin; ++bin) {
        const std::int64_t count = r.decades[static_cast<std::size_t>(bin)];
        const int length = largest > 0 ? static_cast<int>(std::lround(static_cast<double>(count) * kBarWidth /
                                                                      static_cast<double>(largest)))
                                       : 0;
        const std::string bar = std::string(static_cast<std::size_t>(length), '#') +
                                std::string(static_cast<std::size_t>(kBarWidth - length), ' ');
        out += printed("  %-14s |%s| %6s %11lld\n", kDecadeLabels[bin], bar.c_str(), share(count, r.relCount).c_str(),
                       static_cast<long long>(count));
    }
}

}  // namespace

std::string formatText(const Report& r)
{
    std::string out = "calcGap_report\n";
    line(out, "a (from all points)", shellQuoted(r.files[0].path));
    line(out, "b (from the sample)", shellQuoted(r.files[1].path));
    out += "\n";
    inputSection(out, r);

    out += printed("\nAbsolute error |a - b|, over %lld pairs\n", static_cast<long long>(r.measured));
    line(out, "mean", number(r.absMean));
    line(out, "rms", number(r.absRms));
    line(out, "max", at(r.absMax, r.absMaxIndex));
    quantileLines(out, r.absQuantiles, true);

    out += "\nRelative error |a - b| / max(|a|, " + number(r.options.floor) + "), over " +
           printed("%lld pairs\n", static_cast<long long>(r.relCount));
    line(out, "mean", number(r.relMean));
    line(out, "max", at(r.relMax, r.relMaxIndex));
    quantileLines(out, r.relQuantiles, false);
    if (r.relZeroOverZero > 0 || r.relInfinite > 0)
        line(out, "zero denominator", printed("%lld with b = 0 too (error 0), %lld infinite",
                                              static_cast<long long>(r.relZeroOverZero),
                                              static_cast<long long>(r.relInfinite)));

    out += "\nWithin tolerance |a - b| <= " + number(r.options.atol) + " + " + number(r.options.rtol) + " |a|\n";
    line(out, "pairs", printed("%lld of %lld (", static_cast<long long>(r.within), static_cast<long long>(r.measured)) +
                           share(r.within, r.measured) + ")");

    out += printed("\nRatio error, over %lld pairs with a > 0 and b > 0\n", static_cast<long long>(r.ratioPairs));
    line(out, "mean |ln(b / a)|", number(r.logRatioMean));
    line(out, "largest max(a/b, b/a)", at(r.ratioMax, r.ratioMaxIndex));
    line(out, "exactly one value <= 0", printed("%lld pairs", static_cast<long long>(r.oneNotPositive)));

    out += "\nScale-free norms\n";
    line(out, "relative L2", number(r.relativeL2) + "   sqrt(sum (a - b)^2 / sum a^2)");
    line(out, "max|a - b| / max|a|", number(r.maxOverMaxAllpts));

    out += "\nClassic lines, single precision summed in order, as the three tools print\n";
    line(out, "calcGap_mean", r.classicMean);
    line(out, "calcGap_rms", r.classicRms);
    line(out, "calcGap_peak", r.classicPeak);

    if (r.options.worst > 0) {
        worstSection(out, "absolute error", r.worstAbs);
        worstSection(out, "relative error", r.worstRel);
    }
    decadeChart(out, r);
    out += "\nPoints count from 0.  Means and rms are accurate to 1e-12; quantiles are\n"
           "nearest-rank order statistics to within 0.1%.\n";
    return out;
}
