// The tables to paste, from the summary rows and the samples' fields.
#include "evaluation/pasteTables.h"

#include "evaluation/figureTable.h"
#include "evaluation/naturalOrder.h"
#include "support/quoting.h"

#include <algorithm>
#include <map>

namespace calcgap::report {

namespace {

TableCell nameCell(std::string name)
{
    TableCell cell;
    cell.name = std::move(name);
    return cell;
}

TableCell wholeCell(std::int64_t count)
{
    TableCell cell;
    cell.number = true;
    cell.whole = true;
    cell.value = static_cast<double>(count);
    return cell;
}

// A figure over the samples of a summary row.
TableCell summaryCell(const SummaryFigure& figure, bool intervals)
{
    TableCell cell;
    cell.number = true;
    cell.value = figure.mean;
    cell.overSamples = true;
    cell.sd = figure.sd;
    cell.interval = intervals;
    cell.ci = figure.ci;
    return cell;
}

// The place of each figure in a summary row.
std::map<std::string, std::size_t> summaryPlaces(const ReportOptions& options)
{
    std::map<std::string, std::size_t> places;
    for (const std::string& name : figureNames(options))
        places.emplace(name, places.size());
    return places;
}

// How many samples the rows are over: "3 samples", or "2 to 3 samples".
std::string samplesOf(const std::vector<const SummaryRow*>& rows)
{
    std::int64_t fewest = INT64_MAX;
    std::int64_t most = 0;
    for (const SummaryRow* row : rows) {
        fewest = std::min(fewest, row->samples);
        most = std::max(most, row->samples);
    }
    return rows.empty()       ? "no samples"
           : fewest == most ? counted(most, "sample", "samples")
                            : std::to_string(fewest) + " to " + std::to_string(most) + " samples";
}

// The figures a table without --table shows: those --columns chooses, or
// the text table's headline figures.
std::vector<std::string> shownFigures(const ReportOptions& options, HeadlineTable table)
{
    std::vector<std::string> names;
    if (options.output.columns.empty()) {
        for (const Figure* figure : headlineFigures(table))
            names.push_back(figure->name);
        return names;
    }
    const std::vector<bool> chosen = chosenColumns(options.output);
    for (const std::string& name : figureNames(options))
        if (isChosen(chosen, options.output, *figureOfColumn(name, options.output), name))
            names.push_back(name);
    return names;
}

// With one key, a row for each of its values and a column for each figure;
// with more, a table for each figure, a row for each combination of all
// keys but the last, and a column for each value of the last.
std::vector<PasteTable> pivotTables(const Evaluation& evaluation)
{
    const ReportOptions& options = evaluation.options;
    const bool intervals = options.measures.ciLevel > 0.0;
    const std::vector<std::string> keys = summaryKeyNames(options.output);
    const std::map<std::string, std::size_t> places = summaryPlaces(options);
    const std::vector<const SummaryRow*> rows = wholeRows(evaluation);
    const std::vector<std::string>& figures = options.output.tableFigures;
    if (keys.size() == 1) {
        PasteTable table;
        table.title = "By " + keys.front();
        table.samples = samplesOf(rows);
        table.head = {keys.front()};
        table.head.insert(table.head.end(), figures.begin(), figures.end());
        table.nameColumns = 1;
        for (const SummaryRow* row : rows) {
            std::vector<TableCell> cells{nameCell(row->keys.front())};
            for (const std::string& figure : figures)
                cells.push_back(summaryCell(row->figures[places.at(figure)], intervals));
            table.rows.push_back(std::move(cells));
        }
        return {table};
    }
    // The other keys' combinations in the summary's order, and the last
    // key's values in its own.
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> heads;
    std::map<std::pair<std::vector<std::string>, std::string>, const SummaryRow*> at;
    for (const SummaryRow* row : rows) {
        const std::vector<std::string> head(row->keys.begin(), row->keys.end() - 1);
        if (std::find(heads.begin(), heads.end(), head) == heads.end())
            heads.push_back(head);
        at[{head, row->keys.back()}] = row;
    }
    for (const SummaryRow* row : rows)
        if (std::find(columns.begin(), columns.end(), row->keys.back()) == columns.end())
            columns.push_back(row->keys.back());
    sortKeyValues(columns);
    std::vector<PasteTable> tables;
    for (const std::string& figure : figures) {
        PasteTable table;
        std::string by;
        for (std::size_t k = 0; k + 1 < keys.size(); ++k)
            by += (k == 0 ? "" : ", ") + keys[k];
        table.title = figure + " by " + by + " and " + keys.back();
        table.samples = samplesOf(rows);
        table.head.assign(keys.begin(), keys.end() - 1);
        for (const std::string& column : columns)
            table.head.push_back(keys.back() + "=" + column);
        table.nameColumns = keys.size() - 1;
        for (const std::vector<std::string>& head : heads) {
            std::vector<TableCell> cells;
            for (const std::string& name : head)
                cells.push_back(nameCell(name));
            bool any = false;
            for (const std::string& column : columns) {
                const auto found = at.find({head, column});
                cells.push_back(found == at.end() ? TableCell{}
                                                  : summaryCell(found->second->figures[places.at(figure)], intervals));
                any = any || !std::isnan(cells.back().value);
            }
            // A row without a value (the baseline's own, in a comparison)
            // says nothing.
            if (any)
                table.rows.push_back(std::move(cells));
        }
        tables.push_back(std::move(table));
    }
    return tables;
}

}  // namespace

PasteTable summaryTableOf(const Evaluation& evaluation, const std::vector<std::string>& figures)
{
    const ReportOptions& options = evaluation.options;
    const std::map<std::string, std::size_t> places = summaryPlaces(options);
    const std::vector<const SummaryRow*> rows = wholeRows(evaluation);
    PasteTable table;
    table.title = "Summary over the samples";
    table.samples = samplesOf(rows);
    table.head = summaryKeyNames(options.output);
    table.nameColumns = table.head.size();
    table.head.emplace_back("samples");
    table.head.insert(table.head.end(), figures.begin(), figures.end());
    for (const SummaryRow* row : rows) {
        std::vector<TableCell> cells;
        for (const std::string& key : row->keys)
            cells.push_back(nameCell(key));
        cells.push_back(wholeCell(row->samples));
        for (const std::string& figure : figures)
            cells.push_back(summaryCell(row->figures[places.at(figure)], options.measures.ciLevel > 0.0));
        table.rows.push_back(std::move(cells));
    }
    return table;
}

PasteTable densityTableOf(const Evaluation& evaluation, const std::vector<std::string>& figures)
{
    const ReportOptions& options = evaluation.options;
    const std::map<std::string, std::size_t> places = summaryPlaces(options);
    PasteTable table;
    table.title = "By decade of a";
    table.head = summaryKeyNames(options.output);
    table.head.emplace_back("decade of a");
    table.nameColumns = table.head.size();
    table.head.emplace_back("samples");
    table.head.insert(table.head.end(), figures.begin(), figures.end());
    std::vector<const SummaryRow*> rows;
    for (const SummaryRow& row : evaluation.summary) {
        if (row.decade > kNoDecade)
            continue;
        rows.push_back(&row);
        std::vector<TableCell> cells;
        for (const std::string& key : row.keys)
            cells.push_back(nameCell(key));
        cells.push_back(nameCell(decadeName(row.decade, options.measures.decadesPerRow)));
        cells.push_back(wholeCell(row.samples));
        for (const std::string& figure : figures)
            cells.push_back(summaryCell(row.figures[places.at(figure)], options.measures.ciLevel > 0.0));
        table.rows.push_back(std::move(cells));
    }
    table.samples = samplesOf(rows);
    return table;
}

PasteTable sampleTableOf(const Evaluation& evaluation, const std::vector<std::string>& figures)
{
    const ReportOptions& options = evaluation.options;
    PasteTable table;
    table.title = "Samples against " + shellQuoted(evaluation.allpts.path);
    table.head = {"sample"};
    for (const SampleKey& key : options.output.keys)
        table.head.push_back(key.name);
    table.nameColumns = table.head.size();
    table.head.insert(table.head.end(), figures.begin(), figures.end());
    for (const Report& sample : evaluation.samples) {
        const std::vector<Field> fields = reportFields(sample, options);
        std::vector<TableCell> cells{nameCell(shellQuoted(sample.sample.path))};
        for (const std::string& key : sample.keys)
            cells.push_back(nameCell(key));
        for (const std::string& figure : figures) {
            const auto field =
                std::find_if(fields.begin(), fields.end(), [&](const Field& f) { return f.name == figure; });
            // A figure this run's rows do not have is an empty cell.
            TableCell cell;
            cell.number = true;
            if (field != fields.end()) {
                cell.whole = field->figure->kind == FigureKind::count || field->figure->kind == FigureKind::point;
                cell.value = field->number;
            }
            cells.push_back(cell);
        }
        table.rows.push_back(std::move(cells));
    }
    return table;
}

std::vector<PasteTable> pasteTables(const Evaluation& evaluation)
{
    if (!evaluation.options.output.tableFigures.empty())
        return pivotTables(evaluation);
    if (evaluation.options.output.summary)
        return {summaryTableOf(evaluation, shownFigures(evaluation.options, kSummaryTable))};
    return {sampleTableOf(evaluation, shownFigures(evaluation.options, kSampleTable))};
}

}  // namespace calcgap::report
