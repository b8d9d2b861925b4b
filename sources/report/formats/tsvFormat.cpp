// The report as tab-separated lines, one header and then a line per sample
// (per decade of its a with --by-density, per summary row with --summary),
// so that runs append into a table; numbers in their shortest form that
// reads back to the same double.  A figure without a value is an empty
// field, which awk and spreadsheets do not mistake for 0; an infinite one
// is inf.  With --require, a last column lists the requirements the row
// failed.
#include "formats/formats.h"

#include "evaluation/figureTable.h"

#include <string>
#include <vector>

namespace calcgap::report {

namespace {

void putLine(OutputBuffer& out, const std::vector<std::string>& cells)
{
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0)
            put(out, "\t");
        put(out, cells[i]);
    }
    put(out, "\n");
}

std::string failedColumn(const Evaluation& evaluation, bool summary, std::size_t index)
{
    std::string failed;
    for (const FailedRequirement* failure : failuresOf(evaluation, summary, index))
        failed += (failed.empty() ? "" : " ") + failure->requirement;
    return failed;
}

void sampleRows(const Evaluation& evaluation, OutputBuffer& out)
{
    const bool gated = !evaluation.options.output.requirements.empty();
    const std::vector<bool> chosen = chosenColumns(evaluation.options.output);
    bool headed = false;
    for (std::size_t s = 0; s < evaluation.samples.size(); ++s) {
        const Report& sample = evaluation.samples[s];
        const std::string failed = gated ? failedColumn(evaluation, false, s) : "";
        std::vector<const Report*> rows{&sample};
        if (evaluation.options.measures.byDensity) {
            rows.clear();
            for (const Report& decade : sample.byDensity)
                rows.push_back(&decade);
        }
        for (const Report* row : rows) {
            std::vector<Field> fields = reportFields(*row, evaluation.options);
            std::erase_if(fields, [&](const Field& field) {
                return !isChosen(chosen, evaluation.options.output, *field.figure, field.name);
            });
            std::vector<std::string> cells;
            if (!headed) {
                for (const Field& field : fields)
                    cells.emplace_back(field.name);
                if (gated)
                    cells.emplace_back("failed");
                putLine(out, cells);
                cells.clear();
                headed = true;
            }
            for (const Field& field : fields)
                cells.push_back(field.text);
            // A sample's requirements are judged over all its pairs, so a
            // row of one decade lists none.
            if (gated)
                cells.push_back(row == &sample ? failed : "");
            putLine(out, cells);
        }
    }
    // Without a row (no sample has a decade of a) the header still says
    // what the columns would be.
    if (!headed) {
        std::vector<std::string> cells = fieldNames(evaluation.options, chosen);
        if (gated)
            cells.emplace_back("failed");
        putLine(out, cells);
    }
}

void summaryRows(const Evaluation& evaluation, OutputBuffer& out)
{
    const bool byDensity = evaluation.options.measures.byDensity;
    const bool gated = !evaluation.options.output.requirements.empty() && evaluation.samples.size() > 1;
    std::vector<std::string> header = summaryKeyNames(evaluation.options.output);
    if (byDensity)
        header.emplace_back("decade");
    header.emplace_back("samples");
    const bool paired = evaluation.options.output.baselineText != nullptr;
    if (paired)
        header.emplace_back("won");
    // The summary's figures are the numeric ones, in the table's order.
    const std::vector<bool> chosen = chosenColumns(evaluation.options.output);
    const std::vector<std::string> names = figureNames(evaluation.options);
    std::vector<bool> kept;
    for (const std::string& name : names)
        kept.push_back(isChosen(chosen, evaluation.options.output, *figureOfColumn(name, evaluation.options.output), name));
    const bool intervals = evaluation.options.measures.ciLevel > 0.0;
    for (std::size_t k = 0; k < names.size(); ++k) {
        if (!kept[k])
            continue;
        for (const char* statistic : {"_mean", "_sd", "_se", "_min", "_max"})
            header.push_back(names[k] + statistic);
        if (intervals)
            for (const char* statistic : {"_ci_lo", "_ci_hi"})
                header.push_back(names[k] + statistic);
    }
    if (gated)
        header.emplace_back("failed");
    putLine(out, header);
    for (std::size_t r = 0; r < evaluation.summary.size(); ++r) {
        const SummaryRow& row = evaluation.summary[r];
        // With --by-density the rows are those by decade only.
        const bool decadeRow = row.decade <= kNoDecade;
        if (decadeRow != byDensity)
            continue;
        std::vector<std::string> cells = row.keys;
        if (byDensity)
            cells.push_back(row.decade == kNoDecade ? "none" : std::to_string(row.decade));
        cells.push_back(std::to_string(row.samples));
        if (paired)
            cells.push_back(row.won >= 0 ? std::to_string(row.won) : "");
        for (std::size_t k = 0; k < row.figures.size(); ++k) {
            if (!kept[k])
                continue;
            const SummaryFigure& figure = row.figures[k];
            for (double value : {figure.mean, figure.sd, figure.se, figure.min, figure.max})
                cells.push_back(shortestNumber(value));
            if (intervals)
                for (double value : {figure.ci.lo, figure.ci.hi})
                    cells.push_back(shortestNumber(value));
        }
        if (gated)
            cells.push_back(decadeRow ? "" : failedColumn(evaluation, true, r));
        putLine(out, cells);
    }
}

}  // namespace

void writeTsv(const Evaluation& evaluation, OutputBuffer& out)
{
    if (evaluation.options.output.summary)
        summaryRows(evaluation, out);
    else
        sampleRows(evaluation, out);
}

}  // namespace calcgap::report
