// The table of figures, and a report's row read through it.
#include "evaluation/figureTable.h"

#include "support/quoting.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace calcgap::report {

namespace {

bool withKeys(const ReportOptions& options)
{
    return !options.output.keys.empty();
}

bool withIntervals(const ReportOptions& options)
{
    return options.measures.ciLevel > 0.0;
}

bool withBaseline(const ReportOptions& options)
{
    return options.output.baselineText != nullptr;
}

bool withBaselineIntervals(const ReportOptions& options)
{
    return withBaseline(options) && withIntervals(options);
}

bool withTolerances(const ReportOptions& options)
{
    return !options.output.withinNames.empty();
}

bool withDecades(const ReportOptions& options)
{
    return options.measures.byDensity;
}

// The figures of each file, the same for both: named "allpts_values" in a
// row, "values" in the file's own JSON object.
struct FileFigure {
    const char* name;
    FigureKind kind;
    Reading (*read)(const FileSummary&);
};

// Where a file stopped at text that is not a number; none otherwise.
std::int64_t stopPlace(const FileSummary& file, std::uint64_t place)
{
    return file.end == FileEnd::notANumber ? static_cast<std::int64_t>(place) : -1;
}

const FileFigure kFileFigures[] = {
    {"kind", FigureKind::text, [](const FileSummary& f) -> Reading { return f.kind; }},
    {"values", FigureKind::count, [](const FileSummary& f) -> Reading { return f.values; }},
    {"end", FigureKind::text, [](const FileSummary& f) -> Reading { return std::string(fileEndName(f.end)); }},
    {"stop_line", FigureKind::count, [](const FileSummary& f) -> Reading { return stopPlace(f, f.stop.line); }},
    {"stop_column", FigureKind::count, [](const FileSummary& f) -> Reading { return stopPlace(f, f.stop.column); }},
    {"stop_offset", FigureKind::count, [](const FileSummary& f) -> Reading { return stopPlace(f, f.stop.offset); }},
    {"skipped_reads", FigureKind::count, [](const FileSummary& f) -> Reading { return f.skippedReads; }},
    {"short_lines", FigureKind::count, [](const FileSummary& f) -> Reading { return f.shortLines; }},
    {"underflows", FigureKind::count, [](const FileSummary& f) -> Reading { return f.underflows; }},
    {"overflows", FigureKind::count, [](const FileSummary& f) -> Reading { return f.overflows; }},
    {"comment_lines", FigureKind::count, [](const FileSummary& f) -> Reading { return f.commentLines; }},
    {"nans", FigureKind::count, [](const FileSummary& f) -> Reading { return f.nans; }},
    {"infinities", FigureKind::count, [](const FileSummary& f) -> Reading { return f.infinities; }},
    {"short_pairs", FigureKind::count, [](const FileSummary& f) -> Reading { return f.shortPairs; }},
};

using Read = Reading (*)(const Report&);

// A figure of the report itself.
Figure entry(const char* name, FigureKind kind, Read read)
{
    Figure f;
    f.name = name;
    f.kind = kind;
    f.read = read;
    return f;
}

// A figure the text tables show.
Figure asHeadline(Figure f, unsigned tables, int rank, const char* title)
{
    f.headlines = tables;
    f.headlineRank = rank;
    f.title = title;
    return f;
}

Figure asQuantile(Figure f, ErrorSeries series, double fraction)
{
    f.onQuantile = true;
    f.quantile = {series, fraction};
    return f;
}

Figure asRowName(Figure f)
{
    f.namesRow = true;
    return f;
}

Figure ofWholeRun(Figure f)
{
    f.wholeRun = true;
    return f;
}

Figure shownOnlyWith(Figure f, bool (*shown)(const ReportOptions&))
{
    f.shown = shown;
    return f;
}

using ReadInterval = Interval (*)(const Report&);

// A figure, and after it the two ends of its interval with --ci (and
// whatever else the figure is shown with).
void pushWithInterval(std::vector<Figure>& t, Figure f, ReadInterval interval,
                      bool (*shown)(const ReportOptions&) = withIntervals)
{
    const std::string name = f.name;
    Figure lo;
    lo.wholeRun = f.wholeRun;
    t.push_back(std::move(f));
    lo.name = name + "_ci_lo";
    lo.read = [interval](const Report& r) -> Reading { return interval(r).lo; };
    lo.shown = shown;
    Figure hi = lo;
    hi.name = name + "_ci_hi";
    hi.read = [interval](const Report& r) -> Reading { return interval(r).hi; };
    t.push_back(std::move(lo));
    t.push_back(std::move(hi));
}

constexpr unsigned kEveryTable = kSampleTable | kSummaryTable | kDecadeSummaryTable;

std::vector<Figure> buildTable()
{
    using K = FigureKind;
    using S = ErrorSeries;
    std::vector<Figure> t;
    // Names in the shell's quoted form: one field whatever bytes they hold.
    t.push_back(
        asRowName(entry("allpts", K::path, [](const Report& r) -> Reading { return shellQuoted(r.allpts.path); })));
    t.push_back(
        asRowName(entry("sample", K::path, [](const Report& r) -> Reading { return shellQuoted(r.sample.path); })));
    // One column per key, each named by its key.
    t.push_back(shownOnlyWith(entry("keys", K::key, [](const Report&) -> Reading { return std::string(); }), withKeys));
    t.push_back(shownOnlyWith(
        entry("decade", K::decade, [](const Report& r) -> Reading { return std::int64_t{r.decade}; }), withDecades));
    t.push_back(entry("pairs", K::count, [](const Report& r) -> Reading { return r.pairs; }));
    t.push_back(entry("measured", K::count, [](const Report& r) -> Reading { return r.measured; }));
    pushWithInterval(t, asHeadline(entry("abs_mean", K::value, [](const Report& r) -> Reading { return r.absMean; }),
                         kEveryTable, 5, "abs mean"),
                     [](const Report& r) { return r.absMeanCi; });
    t.push_back(entry("abs_sd", K::value, [](const Report& r) -> Reading { return r.absSd; }));
    t.push_back(entry("abs_se", K::value, [](const Report& r) -> Reading { return r.absSe; }));
    t.push_back(entry("abs_rms", K::value, [](const Report& r) -> Reading { return r.absRms; }));
    t.push_back(asHeadline(entry("abs_max", K::value, [](const Report& r) -> Reading { return r.absMax; }),
                         kSampleTable, 6, "abs max"));
    t.push_back(entry("abs_max_point", K::point, [](const Report& r) -> Reading { return r.absMaxIndex; }));
    t.push_back(entry("abs_underflows", K::count, [](const Report& r) -> Reading { return r.absUnderflows; }));
    pushWithInterval(t, asQuantile(
        entry("abs_median", K::value, [](const Report& r) -> Reading { return r.absQuantiles.median; }),
        S::absolute, kMedian),
                     [](const Report& r) { return r.absQuantileCi.median; });
    pushWithInterval(t, asQuantile(entry("abs_p90", K::value, [](const Report& r) -> Reading { return r.absQuantiles.p90; }),
                         S::absolute, kP90),
                     [](const Report& r) { return r.absQuantileCi.p90; });
    pushWithInterval(t, asQuantile(entry("abs_p99", K::value, [](const Report& r) -> Reading { return r.absQuantiles.p99; }),
                         S::absolute, kP99),
                     [](const Report& r) { return r.absQuantileCi.p99; });
    pushWithInterval(t, asQuantile(
        entry("abs_p999", K::value, [](const Report& r) -> Reading { return r.absQuantiles.p999; }), S::absolute,
        kP999),
                     [](const Report& r) { return r.absQuantileCi.p999; });
    pushWithInterval(t, asHeadline(entry("bias", K::value, [](const Report& r) -> Reading { return r.signedMean; }),
                         kSampleTable | kSummaryTable, 8, "bias"),
                     [](const Report& r) { return r.signedMeanCi; });
    t.push_back(entry("bias_se", K::value, [](const Report& r) -> Reading { return r.signedSe; }));
    t.push_back(entry("floor", K::value, [](const Report& r) -> Reading { return r.options.floor; }));
    t.push_back(entry("rel_pairs", K::count, [](const Report& r) -> Reading { return r.relCount; }));
    pushWithInterval(t, asHeadline(entry("rel_mean", K::value, [](const Report& r) -> Reading { return r.relMean; }),
                         kEveryTable, 1, "rel mean"),
                     [](const Report& r) { return r.relMeanCi; });
    t.push_back(entry("rel_sd", K::value, [](const Report& r) -> Reading { return r.relSd; }));
    t.push_back(entry("rel_se", K::value, [](const Report& r) -> Reading { return r.relSe; }));
    t.push_back(asHeadline(entry("rel_max", K::value, [](const Report& r) -> Reading { return r.relMax; }),
                         kEveryTable, 4, "rel max"));
    t.push_back(entry("rel_max_point", K::point, [](const Report& r) -> Reading { return r.relMaxIndex; }));
    pushWithInterval(t, asHeadline(
        asQuantile(entry("rel_median", K::value, [](const Report& r) -> Reading { return r.relQuantiles.median; }),
                 S::relative, kMedian),
        kSampleTable, 2, "rel median"),
                     [](const Report& r) { return r.relQuantileCi.median; });
    pushWithInterval(t, asQuantile(entry("rel_p90", K::value, [](const Report& r) -> Reading { return r.relQuantiles.p90; }),
                         S::relative, kP90),
                     [](const Report& r) { return r.relQuantileCi.p90; });
    pushWithInterval(t, asHeadline(
        asQuantile(entry("rel_p99", K::value, [](const Report& r) -> Reading { return r.relQuantiles.p99; }),
                 S::relative, kP99),
        kEveryTable, 3, "rel p99"),
                     [](const Report& r) { return r.relQuantileCi.p99; });
    t.push_back(entry("rel_zero_over_zero", K::count, [](const Report& r) -> Reading { return r.relZeroOverZero; }));
    t.push_back(entry("rel_infinite", K::count, [](const Report& r) -> Reading { return r.relInfinite; }));
    pushWithInterval(t, entry("rel_bias", K::value, [](const Report& r) -> Reading { return r.signedRelMean; }),
                     [](const Report& r) { return r.signedRelMeanCi; });
    t.push_back(entry("rel_bias_se", K::value, [](const Report& r) -> Reading { return r.signedRelSe; }));
    t.push_back(entry("rtol", K::value, [](const Report& r) -> Reading { return r.options.rtol; }));
    t.push_back(entry("atol", K::value, [](const Report& r) -> Reading { return r.options.atol; }));
    t.push_back(entry("both_underflowed", K::count, [](const Report& r) -> Reading { return r.bothUnderflowed; }));
    t.push_back(entry("below_min_truth", K::count, [](const Report& r) -> Reading { return r.belowMinTruth; }));
    t.push_back(entry("within", K::count, [](const Report& r) -> Reading { return r.within; }));
    // With several --rtol, the pairs within each and their share.
    Figure withinEach = shownOnlyWith(entry("within_R", K::count, nullptr), withTolerances);
    withinEach.eachName = &OutputOptions::withinNames;
    withinEach.readEach = [](const Report& r, std::size_t k) -> Reading { return r.withinEach[k]; };
    t.push_back(withinEach);
    Figure shareEach = shownOnlyWith(entry("within_share_R", K::share, nullptr), withTolerances);
    shareEach.eachName = &OutputOptions::withinShareNames;
    shareEach.readEach = [](const Report& r, std::size_t k) -> Reading {
        return r.toleranceCount > 0 ? static_cast<double>(r.withinEach[k]) / static_cast<double>(r.toleranceCount)
                                    : NAN;
    };
    t.push_back(shareEach);
    t.push_back(entry("tolerance_pairs", K::count, [](const Report& r) -> Reading { return r.toleranceCount; }));
    t.push_back(asHeadline(entry("within_share", K::share, [](const Report& r) -> Reading { return r.withinShare; }),
                         kEveryTable, 7, "within"));
    t.push_back(asQuantile(
        entry("rtol_for_all", K::value, [](const Report& r) -> Reading { return r.rtolForAll; }), S::needed, kAll));
    t.push_back(asQuantile(
        entry("rtol_for_999", K::value, [](const Report& r) -> Reading { return r.rtolFor999; }), S::needed, kP999));
    t.push_back(asQuantile(
        entry("rtol_for_99", K::value, [](const Report& r) -> Reading { return r.rtolFor99; }), S::needed, kP99));
    t.push_back(entry("ratio_pairs", K::count, [](const Report& r) -> Reading { return r.ratioPairs; }));
    t.push_back(entry("log_ratio_mean", K::value, [](const Report& r) -> Reading { return r.logRatioMean; }));
    t.push_back(entry("log_ratio_max", K::value, [](const Report& r) -> Reading { return r.logRatioMax; }));
    t.push_back(entry("ratio_max", K::value, [](const Report& r) -> Reading { return r.ratioMax; }));
    t.push_back(entry("ratio_max_point", K::point, [](const Report& r) -> Reading { return r.ratioMaxIndex; }));
    t.push_back(entry("one_not_positive", K::count, [](const Report& r) -> Reading { return r.oneNotPositive; }));
    t.push_back(entry("relative_l2", K::value, [](const Report& r) -> Reading { return r.relativeL2; }));
    t.push_back(
        entry("max_over_max_allpts", K::value, [](const Report& r) -> Reading { return r.maxOverMaxAllpts; }));
    t.push_back(entry("classic_mean", K::classic, [](const Report& r) -> Reading { return r.classicMean; }));
    t.push_back(entry("classic_rms", K::classic, [](const Report& r) -> Reading { return r.classicRms; }));
    t.push_back(entry("classic_peak", K::classic, [](const Report& r) -> Reading { return r.classicPeak; }));
    // With --baseline, the comparison with the baseline: of the whole run,
    // as the two samples are compared over all their points.
    const auto paired = [](Figure f) { return ofWholeRun(shownOnlyWith(std::move(f), withBaseline)); };
    t.push_back(asRowName(paired(entry("vs", K::text, [](const Report& r) -> Reading { return r.vs; }))));
    t.push_back(paired(entry("paired_points", K::count, [](const Report& r) -> Reading { return r.paired.points; })));
    t.push_back(paired(entry("win_rate", K::share, [](const Report& r) -> Reading { return r.paired.winRate; })));
    t.push_back(paired(entry("won", K::count, [](const Report& r) -> Reading { return r.paired.won; })));
    t.push_back(paired(entry("ties", K::count, [](const Report& r) -> Reading { return r.paired.ties; })));
    t.push_back(paired(entry("sign_p", K::value, [](const Report& r) -> Reading { return r.paired.signP; })));
    t.push_back(paired(
        entry("rel_ratio_median", K::value, [](const Report& r) -> Reading { return r.paired.ratioMedian; })));
    t.push_back(paired(
        entry("rel_ratio_geomean", K::value, [](const Report& r) -> Reading { return r.paired.ratioGeomean; })));
    pushWithInterval(
        t, paired(entry("rel_diff_mean", K::value, [](const Report& r) -> Reading { return r.paired.differenceMean; })),
        [](const Report& r) { return r.paired.differenceCi; }, withBaselineIntervals);
    t.push_back(
        paired(entry("rel_diff_se", K::value, [](const Report& r) -> Reading { return r.paired.differenceSe; })));
    t.push_back(ofWholeRun(entry("left_out", K::count, [](const Report& r) -> Reading { return r.leftOut; })));
    for (const auto side : {&Report::allpts, &Report::sample}) {
        const char* const file = side == &Report::allpts ? "allpts" : "sample";
        for (const FileFigure& of : kFileFigures) {
            Figure f;
            f.name = std::string(file) + "_" + of.name;
            f.kind = of.kind;
            f.wholeRun = true;
            f.file = file;
            f.nameInFile = of.name;
            f.read = [side, read = of.read](const Report& r) { return read(r.*side); };
            t.push_back(std::move(f));
        }
    }
    t.push_back(entry("logs", K::flag, [](const Report& r) -> Reading { return std::int64_t{r.options.logs}; }));
    t.push_back(ofWholeRun(
        entry("problems", K::flag, [](const Report& r) -> Reading { return std::int64_t{inputHadProblems(r)}; })));
    return t;
}

// The field of a figure's reading; empty for a figure of the whole run in a
// row by decade.
Field fieldOf(const Figure& figure, Reading reading, bool decadeRow)
{
    if (figure.wholeRun && decadeRow)
        return {&figure, "", NAN, Reading(std::string())};
    const std::int64_t whole = reading.whole;
    switch (figure.kind) {
    case FigureKind::path:
    case FigureKind::text:
    case FigureKind::key:
        return {&figure, reading.text, NAN, std::move(reading)};
    case FigureKind::flag:
        return {&figure, whole > 0 ? "yes" : "no", NAN, std::move(reading)};
    case FigureKind::decade:
        return {&figure, !decadeRow ? "" : whole == kNoDecade ? "none" : std::to_string(whole), NAN,
                std::move(reading)};
    case FigureKind::count:
    case FigureKind::point:
        return {&figure, whole >= 0 ? std::to_string(whole) : "", whole >= 0 ? static_cast<double>(whole) : NAN,
                std::move(reading)};
    case FigureKind::share:
    case FigureKind::value:
        return {&figure, shortestNumber(reading.number), reading.number, std::move(reading)};
    case FigureKind::classic:
        break;
    }
    const double number = reading.text.empty() ? NAN : std::strtod(reading.text.c_str(), nullptr);
    return {&figure, reading.text, number, std::move(reading)};
}

}  // namespace

std::vector<std::string_view> columnNames(const Figure& figure, const OutputOptions& options)
{
    std::vector<std::string_view> names;
    if (figure.kind == FigureKind::key)
        for (const SampleKey& key : options.keys)
            names.emplace_back(key.name);
    else if (figure.eachName != nullptr)
        for (const std::string& name : options.*figure.eachName)
            names.emplace_back(name);
    else
        names.emplace_back(figure.name);
    return names;
}

const std::vector<Figure>& figureTable()
{
    static const std::vector<Figure> table = buildTable();
    return table;
}

const Figure* figureNamed(std::string_view name)
{
    for (const Figure& figure : figureTable())
        if (figure.name == name)
            return &figure;
    return nullptr;
}

const Figure* figureOfColumn(std::string_view name, const OutputOptions& options)
{
    for (const Figure& figure : figureTable()) {
        const std::vector<std::string_view> names = columnNames(figure, options);
        if (std::find(names.begin(), names.end(), name) != names.end())
            return &figure;
    }
    return nullptr;
}

bool isNumeric(const Figure& figure)
{
    switch (figure.kind) {
    case FigureKind::path:
    case FigureKind::text:
    case FigureKind::key:
    case FigureKind::decade:
    case FigureKind::flag:
        return false;
    case FigureKind::count:
    case FigureKind::share:
    case FigureKind::value:
    case FigureKind::point:
    case FigureKind::classic:
        break;
    }
    return true;
}

std::vector<const Figure*> headlineFigures(HeadlineTable table)
{
    std::vector<const Figure*> shown;
    for (const Figure& figure : figureTable())
        if ((figure.headlines & table) != 0)
            shown.push_back(&figure);
    std::sort(shown.begin(), shown.end(),
              [](const Figure* x, const Figure* y) { return x->headlineRank < y->headlineRank; });
    return shown;
}

std::string shortestNumber(double value)
{
    if (std::isnan(value))
        return "";
    char digits[32];
    return std::string(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

std::vector<FileField> fileFields(const FileSummary& file)
{
    std::vector<FileField> fields;
    for (const FileFigure& figure : kFileFigures)
        fields.push_back({figure.name, figure.kind, figure.read(file)});
    return fields;
}

std::vector<Field> reportFields(const Report& report, const ReportOptions& options)
{
    const bool decadeRow = report.decade <= kNoDecade;
    std::vector<Field> fields;
    for (const Figure& figure : figureTable()) {
        if (figure.shown != nullptr && !figure.shown(options))
            continue;
        const std::vector<std::string_view> names = columnNames(figure, options.output);
        for (std::size_t k = 0; k < names.size(); ++k) {
            fields.push_back(figure.kind == FigureKind::key ? Field{&figure, report.keys[k], NAN, Reading(report.keys[k])}
                             : figure.readEach != nullptr   ? fieldOf(figure, figure.readEach(report, k), decadeRow)
                                                            : fieldOf(figure, figure.read(report), decadeRow));
            fields.back().name = names[k];
        }
    }
    return fields;
}

std::vector<std::string> fieldNames(const ReportOptions& options, const std::vector<bool>& chosen)
{
    std::vector<std::string> names;
    for (const Figure& figure : figureTable()) {
        if (figure.shown != nullptr && !figure.shown(options))
            continue;
        for (const std::string_view name : columnNames(figure, options.output))
            if (isChosen(chosen, options.output, figure, name))
                names.emplace_back(name);
    }
    return names;
}

std::vector<std::string> figureNames(const ReportOptions& options)
{
    std::vector<std::string> names;
    for (const Figure& figure : figureTable())
        if (isNumeric(figure) && (figure.shown == nullptr || figure.shown(options)))
            for (const std::string_view name : columnNames(figure, options.output))
                names.emplace_back(name);
    return names;
}

}  // namespace calcgap::report
