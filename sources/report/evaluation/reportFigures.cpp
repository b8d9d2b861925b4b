// The figures of a report, from the measures at the end of the pass.
#include "evaluation/report.h"

#include "summaries/distributions.h"
#include "support/quoting.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

namespace calcgap::report {

namespace {

std::string classicLine(float result)
{
    char line[64];
    std::snprintf(line, sizeof line, "%f", static_cast<double>(result));
    return line;
}

// Where the classic tools would read a file otherwise than the report did,
// their lines are not the report's to claim: what they would do, or empty.
std::string classicDifference(const FileSummary& file, const char* name)
{
    const std::string quoted = shellQuoted(file.path);
    if (file.kind != "text")
        return std::string("the classic tools read ") + name + " (" + quoted + ") as text of numbers, not as " +
               file.kind;
    if (file.commentLines > 0)
        return std::string("the classic tools stop at the first comment line of ") + name + " (" + quoted + ")";
    if (file.byteOrderMark)
        return std::string("the classic tools stop at the byte-order mark that starts ") + name + " (" + quoted + ")";
    return "";
}

// mean -+ z se; none without a standard error.
Interval normalInterval(double mean, double se, double z)
{
    return std::isnan(se) ? Interval{} : Interval{mean - z * se, mean + z * se};
}

// Of each quantile of the summary's values, the order statistics whose
// ranks bound it at the level whatever the errors' distribution; within
// the summary's resolution, as the quantile itself is.
QuantileIntervals quantileIntervals(const QuantileSummary& summary, double level)
{
    const auto n = static_cast<std::int64_t>(summary.total);
    if (n == 0)
        return {};
    std::vector<std::uint64_t> ranks;
    for (const double q : {kMedian, kP90, kP99, kP999}) {
        const RankInterval bounds = quantileRanks(level, n, q);
        ranks.push_back(static_cast<std::uint64_t>(bounds.low));
        ranks.push_back(static_cast<std::uint64_t>(bounds.high));
    }
    const std::vector<double> at = orderStatistics(summary, ranks);
    return {{at[0], at[1]}, {at[2], at[3]}, {at[4], at[5]}, {at[6], at[7]}};
}

}  // namespace

PairedFigures pairedFigures(const PairedComparison& c, double ciLevel)
{
    PairedFigures f;
    f.points = c.points;
    f.ties = c.ties;
    if (c.points == 0)
        return f;
    const auto points = static_cast<double>(c.points);
    // Ties count half to each side.
    f.winRate = (static_cast<double>(c.wins) + 0.5 * static_cast<double>(c.ties)) / points;
    f.won = f.winRate > 0.5 ? 1 : 0;
    f.signP = signTestP(c.wins, c.points - c.ties);
    if (c.ratios > 0) {
        f.ratioMedian = summaryQuantiles(c.ratioSummary, {kMedian})[0];
        f.ratioGeomean = std::exp(sumValue(c.logRatioSum) / static_cast<double>(c.ratios));
    }
    const SpreadFigures difference = spreadOf(c.differenceSpread, c.differenceSum, c.points);
    f.differenceMean = difference.mean;
    f.differenceSe = difference.se;
    if (ciLevel > 0.0)
        f.differenceCi = normalInterval(f.differenceMean, f.differenceSe, normalQuantile((1.0 + ciLevel) / 2));
    return f;
}

void dropClassicLines(Report& report)
{
    report.classicMean.clear();
    report.classicRms.clear();
    report.classicPeak.clear();
}

void settleClassicLines(Report& r)
{
    r.classicNote = r.options.logs ? "the classic tools read densities, not their logarithms"
                                   : classicDifference(r.allpts, "a");
    if (r.classicNote.empty())
        r.classicNote = classicDifference(r.sample, "b");
    if (!r.classicNote.empty())
        dropClassicLines(r);
}

void summarizeReport(const ReportOptions& options, ErrorMeasures& m, std::int64_t pairs, Report& r)
{
    r.options = options.measures;
    r.countGiven = options.countGiven;
    r.pairs = pairs;
    r.leftOut = m.sums.leftOut;
    r.measured = m.sums.measured;
    const auto measured = static_cast<double>(m.sums.measured);
    const bool any = m.sums.measured > 0;

    const SpreadFigures absSpread = spreadOf(m.sums.absSpread, m.sums.absSum, m.sums.measured);
    r.absMean = absSpread.mean;
    r.absSd = absSpread.sd;
    r.absSe = absSpread.se;
    const SpreadFigures signedSpread = spreadOf(m.sums.signedSpread, m.sums.signedSum, m.sums.measured);
    r.signedMean = signedSpread.mean;
    r.signedSe = signedSpread.se;
    const SpreadFigures signedRelSpread = spreadOf(m.sums.signedRelSpread, m.sums.signedRelSum, m.sums.relCount);
    r.signedRelMean = signedRelSpread.mean;
    r.signedRelSe = signedRelSpread.se;
    const SpreadFigures relSpread = spreadOf(m.sums.relSpread, m.sums.relSum, m.sums.relCount);
    r.relMean = relSpread.mean;
    r.relSd = relSpread.sd;
    r.relSe = relSpread.se;
    const ScaledValue squares = squareSumValue(m.sums.squareSum);
    r.absRms = any ? sqrtOfQuotient(squares, {measured, 0}) : NAN;
    r.absMax = any ? m.extremes.absMax : NAN;
    r.absMaxIndex = m.extremes.absMaxIndex;
    const std::vector<double> absQ = summaryQuantiles(m.absSummary, {kMedian, kP90, kP99, kP999});
    r.absQuantiles = {absQ[0], absQ[1], absQ[2], absQ[3]};

    r.relCount = m.sums.relCount;
    const bool anyRel = m.sums.relCount > 0;
    r.relMax = anyRel ? m.extremes.relMax : NAN;
    r.relMaxIndex = m.extremes.relMaxIndex;
    const std::vector<double> relQ = summaryQuantiles(m.relSummary, {kMedian, kP90, kP99, kP999});
    r.relQuantiles = {relQ[0], relQ[1], relQ[2], relQ[3]};
    if (options.measures.ciLevel > 0.0) {
        const double z = normalQuantile((1.0 + options.measures.ciLevel) / 2);
        r.absMeanCi = normalInterval(r.absMean, r.absSe, z);
        r.relMeanCi = normalInterval(r.relMean, r.relSe, z);
        r.signedMeanCi = normalInterval(r.signedMean, r.signedSe, z);
        r.signedRelMeanCi = normalInterval(r.signedRelMean, r.signedRelSe, z);
        if (m.bootstrap != nullptr) {
            const BootstrapIntervals b = bootstrapIntervals(*m.bootstrap, options.measures.ciLevel);
            r.absMeanCi = {b.absLo, b.absHi};
            r.relMeanCi = {b.relLo, b.relHi};
            r.signedMeanCi = {b.biasLo, b.biasHi};
            r.signedRelMeanCi = {b.relBiasLo, b.relBiasHi};
        }
        r.absQuantileCi = quantileIntervals(m.absSummary, options.measures.ciLevel);
        r.relQuantileCi = quantileIntervals(m.relSummary, options.measures.ciLevel);
    }
    r.relZeroOverZero = m.sums.relZeroOverZero;
    r.relInfinite = m.sums.relInfinite;
    r.decades = decadeCounts(m);

    r.bothUnderflowed = m.sums.bothUnderflowed;
    r.belowMinTruth = m.sums.belowMinTruth;
    r.absUnderflows = m.sums.absUnderflows;
    r.within = m.sums.within;
    r.withinEach = m.withinEach;
    r.toleranceCount = m.sums.measured - m.sums.bothUnderflowed - m.sums.belowMinTruth;
    // Quantiles of the tolerance each pair needs, at the high end of their
    // buckets, so that each is a tolerance the pairs do meet.
    const std::vector<double> needed =
        neededFromRelative(m) ? summaryQuantiles(m.relSummary, {kAll, kP999, kP99}, true,
                                                 static_cast<std::uint64_t>(m.sums.relZeroOverZero),
                                                 static_cast<std::uint64_t>(m.sums.relInfinite))
                              : summaryQuantiles(m.neededSummary, {kAll, kP999, kP99}, true);
    r.rtolForAll = needed[0];
    r.rtolFor999 = needed[1];
    r.rtolFor99 = needed[2];
    r.withinShare = r.toleranceCount > 0 ? static_cast<double>(m.sums.within) / static_cast<double>(r.toleranceCount) : NAN;

    r.ratioPairs = m.sums.ratioPairs;
    const bool anyRatio = m.sums.ratioPairs > 0;
    r.logRatioMean = anyRatio ? sumValue(m.sums.logRatioSum) / static_cast<double>(m.sums.ratioPairs) : NAN;
    r.logRatioMax = anyRatio ? m.extremes.logRatioMax : NAN;
    // From the logarithms, the ratio itself may be too large for a double.
    const double x = m.extremes.ratioMaxPair[0];
    const double y = m.extremes.ratioMaxPair[1];
    r.ratioMax = !anyRatio ? NAN : m.logs ? std::exp(m.extremes.logRatioMax) : x > y ? x / y : y / x;
    r.ratioMaxIndex = m.extremes.ratioMaxIndex;
    r.oneNotPositive = m.sums.oneNotPositive;

    const ScaledValue allptsSquares = squareSumValue(m.sums.allptsSquareSum);
    r.relativeL2 = any ? sqrtOfQuotient(squares, allptsSquares) : NAN;
    r.maxOverMaxAllpts = any ? m.extremes.absMax / m.extremes.allptsMax : NAN;

    // The classic tools divide by the count as given, or by the pairs read.
    const auto n = static_cast<std::int32_t>(options.countGiven ? options.count : pairs);
    r.classicMean = classicLine(classicResult(m.classic, ClassicFigure::mean, n));
    r.classicRms = classicLine(classicResult(m.classic, ClassicFigure::rms, n));
    r.classicPeak = classicLine(classicResult(m.classic, ClassicFigure::peak, n));

    r.quantileGates = decideQuantileGates(m, options.output.requirements);
    r.worstAbs = takeWorstPoints(m.worstAbs);
    r.worstRel = takeWorstPoints(m.worstRel);

    for (std::size_t slot = 0; slot < m.density.rows.size(); ++slot) {
        DensityDecade* const d = m.density.rows[slot].get();
        if (d == nullptr)
            continue;
        const auto row = static_cast<std::int32_t>(slot) + m.density.first;
        const std::int64_t tolerancePairs = d->pairs - d->leftOut;
        const std::int64_t relCount = tolerancePairs - d->withoutRelative;
        DensityRow line{static_cast<int>(row) + kLowestDecade, d->pairs, relCount, NAN, NAN, NAN, NAN, NAN};
        if (d->pairs > 0)
            line.absMean = sumValue(d->absSum) / static_cast<double>(d->pairs);
        if (relCount > 0) {
            line.relMean = sumValue(d->relSum) / static_cast<double>(relCount);
            noteSummarized(d->relSummary, static_cast<std::uint64_t>(relCount), d->relMin, d->relMax);
            line.relP99 = summaryQuantiles(d->relSummary, {kP99})[0];
            line.relMax = d->relMax;
        }
        if (tolerancePairs > 0)
            line.withinShare = static_cast<double>(d->within) / static_cast<double>(tolerancePairs);
        r.densityTable.push_back(line);
    }
    for (std::size_t slot = 0; slot < m.densityMeasures.rows.size(); ++slot) {
        ErrorMeasures* const decade = m.densityMeasures.rows[slot].get();
        if (decade == nullptr)
            continue;
        const auto row = static_cast<std::int32_t>(slot) + m.densityMeasures.first;
        // The measures of a decade have no decades of their own.
        Report& decadeReport = r.byDensity.emplace_back();
        summarizeReport(options, *decade, decade->sums.measured + decade->sums.leftOut, decadeReport);
        decadeReport.decade = static_cast<int>(row) + kLowestDecade;
        dropClassicLines(decadeReport);
    }
}

}  // namespace calcgap::report
