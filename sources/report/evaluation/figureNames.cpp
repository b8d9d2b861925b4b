// The figures that options name: --columns, --table, --key and --require
// checked against the table of figures once every option is read, with the
// close names an unknown one is told.
#include "evaluation/figureTable.h"

#include "support/quoting.h"

#include <algorithm>
#include <fnmatch.h>

namespace calcgap::report {

namespace {

bool matchesColumn(const std::string& pattern, std::string_view name)
{
    return ::fnmatch(pattern.c_str(), std::string(name).c_str(), 0) == 0;
}

// Whether the pattern matches any of the figure's column names.
bool matchesFigure(const std::string& pattern, const Figure& figure, const OutputOptions& options)
{
    const std::vector<std::string_view> names = columnNames(figure, options);
    return std::any_of(names.begin(), names.end(), [&](std::string_view name) { return matchesColumn(pattern, name); });
}

// A figure that names the row rather than measuring it.
bool namesRow(const Figure& figure)
{
    return figure.namesRow || figure.kind == FigureKind::decade || figure.kind == FigureKind::key;
}

// Edits (insertions, deletions, substitutions) between two names.
std::size_t editDistance(std::string_view x, std::string_view y)
{
    std::vector<std::size_t> row(y.size() + 1);
    for (std::size_t j = 0; j <= y.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= x.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= y.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[y.size()];
}

// "; close names: a, b", the figures within a third of the name's length
// in edits, or that begin with it, closest first (numeric ones only where
// asked); or where there are none, where the names are listed.
std::string closeNames(const std::string& name, bool numericOnly)
{
    std::vector<std::pair<std::size_t, std::string>> close;
    for (const Figure& figure : figureTable()) {
        if (figure.kind == FigureKind::key || (numericOnly && !isNumeric(figure)))
            continue;
        const std::size_t distance = editDistance(name, figure.name);
        if (distance <= std::max<std::size_t>(1, name.size() / 3) || figure.name.rfind(name, 0) == 0)
            close.emplace_back(distance, figure.name);
    }
    std::sort(close.begin(), close.end());
    std::string text;
    for (std::size_t k = 0; k < close.size() && k < 5; ++k)
        text += (k == 0 ? "; close names: " : ", ") + close[k].second;
    return close.empty() ? "; the TSV header names them" : text;
}

// A figure a table or a picture shows: a numeric one the run has.
void resolveShownFigure(const ReportOptions& options, const std::string& name, const char* what, const char* text)
{
    const Figure* const figure = figureOfColumn(name, options.output);
    if (figure == nullptr || !isNumeric(*figure) || (figure->shown != nullptr && !figure->shown(options)))
        failInvalid(what, text,
                    ("no numeric figure is named " + shellQuoted(name) +
                     (figure != nullptr && isNumeric(*figure) ? " without the option that adds it" : "") +
                     closeNames(name, true))
                        .c_str());
}

}  // namespace

std::vector<bool> chosenColumns(const OutputOptions& options)
{
    std::vector<bool> chosen;
    for (const Figure& figure : figureTable())
        chosen.push_back(options.columns.empty() || namesRow(figure) ||
                         std::any_of(options.columns.begin(), options.columns.end(),
                                     [&](const std::string& pattern) { return matchesFigure(pattern, figure, options); }));
    return chosen;
}

bool isChosen(const std::vector<bool>& chosen, const OutputOptions& options, const Figure& figure,
              std::string_view name)
{
    if (!chosen[placeOf(figure)])
        return false;
    return figure.eachName == nullptr || options.columns.empty() ||
           std::any_of(options.columns.begin(), options.columns.end(),
                       [&](const std::string& pattern) { return matchesColumn(pattern, name); });
}

std::size_t placeOf(const Figure& figure)
{
    return static_cast<std::size_t>(&figure - figureTable().data());
}

void resolveColumns(const ReportOptions& options)
{
    for (const std::string& pattern : options.output.columns) {
        const auto matches = [&](const Figure& figure) {
            return figure.kind != FigureKind::key && matchesFigure(pattern, figure, options.output);
        };
        if (std::any_of(figureTable().begin(), figureTable().end(), matches))
            continue;
        failInvalid("column list", options.output.columnsText,
                    ("no figure is named " + shellQuoted(pattern) + closeNames(pattern, false)).c_str());
    }
}

void resolveTableFigures(const ReportOptions& options)
{
    for (const std::string& name : options.output.tableFigures)
        resolveShownFigure(options, name, "table's figure list", options.output.tableText);
    if (options.output.plotText != nullptr)
        resolveShownFigure(options, options.output.plotFigure, "figure to plot", options.output.plotText);
}

void resolveKeys(const ReportOptions& options)
{
    for (const SampleKey& key : options.output.keys) {
        const bool figure = figureNamed(key.name) != nullptr && figureNamed(key.name)->kind != FigureKind::key;
        if (figure || key.name == "samples" || key.name == "failed")
            failInvalid("key", (key.name + "=" + key.pattern).c_str(),
                        (shellQuoted(key.name) + " names a column of the report already: name the key otherwise")
                            .c_str());
    }
}

void resolveRequirements(ReportOptions& options)
{
    for (Requirement& requirement : options.output.requirements) {
        const Figure* const figure = figureOfColumn(requirement.name, options.output);
        if (figure == nullptr || !isNumeric(*figure))
            failInvalid("requirement", requirement.text.c_str(),
                        ("no numeric column is named " + shellQuoted(requirement.name) + "; the TSV header names them")
                            .c_str());
        requirement.onQuantile = figure->onQuantile;
        requirement.quantile = figure->quantile;
    }
}

}  // namespace calcgap::report
