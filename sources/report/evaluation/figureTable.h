// Every figure of a report, named once: the tab-separated columns, the JSON
// keys, the names --require takes and the summary over samples summarizes,
// the text tables' titles, and how each is read from a report.  Every
// format reads this table, so a figure added here reaches them all.
#pragma once

#include "evaluation/report.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace calcgap::report {

enum class FigureKind : unsigned char {
    // A file's name, quoted as the shell quotes it.
    path,
    // A word that says something of the input (a file's kind, how it
    // ended).
    text,
    // The values of the sample's keys, a column each, named by its key.
    key,
    // The decade of a a row by decade is of.
    decade,
    // Yes (1) or no (0).
    flag,
    // A number of pairs, values or lines; below 0, none.
    count,
    // A fraction of pairs, shown in percent in the text.
    share,
    value,
    // The index of a point; below 0, none.
    point,
    // A line as a classic tool prints it; empty, none.
    classic,
};

// A figure's raw value as a report holds it: the number of a share or a
// value, the whole number of a count, a point or a decade, or the text.
struct Reading {
    double number = NAN;
    std::int64_t whole = -1;
    std::string text;

    Reading(double value) : number(value) {}
    Reading(std::int64_t value) : whole(value) {}
    Reading(std::string value) : text(std::move(value)) {}
};

// The text report's tables of samples and of the summary over them.
enum HeadlineTable : unsigned char {
    kSampleTable = 1,
    kSummaryTable = 2,
    kDecadeSummaryTable = 4,
};

struct Figure {
    std::string name;
    FigureKind kind = FigureKind::value;
    // A figure of the whole run, which means nothing by decade of a: empty
    // in a row by decade.
    bool wholeRun = false;
    // Where the figure is of one of the files, the file's JSON object and the
    // figure's name within it: "allpts" and "values" for allpts_values.
    const char* file = nullptr;
    const char* nameInFile = nullptr;
    // The text tables that show it (HeadlineTable bits), in the order of
    // headlineRank, under its title.
    unsigned headlines = 0;
    int headlineRank = 0;
    const char* title = nullptr;
    // It names the row (a file), and stays in rows whatever --columns
    // chooses.
    bool namesRow = false;
    // A column for each --rtol of several, named by these names of the
    // options, each read by readEach.
    const std::vector<std::string> OutputOptions::*eachName = nullptr;
    Reading (*readEach)(const Report&, std::size_t) = nullptr;
    // A quantile, which --require decides exactly from the errors it is of.
    bool onQuantile = false;
    QuantileOf quantile{};
    // Whether the row has the column with these options; always where null.
    bool (*shown)(const ReportOptions&) = nullptr;
    std::function<Reading(const Report&)> read;
};

// The figures in the order of the tab-separated row.
const std::vector<Figure>& figureTable();

// The figure of that name, or null.
const Figure* figureNamed(std::string_view name);

// The names of the figure's columns with these options: its own, or one for
// each key or each tolerance.
std::vector<std::string_view> columnNames(const Figure& figure, const OutputOptions& options);

// The figure of the column of that name with these options, or null.
const Figure* figureOfColumn(std::string_view name, const OutputOptions& options);

// Whether the summary over samples takes the figure's mean, and a
// requirement may name it.
bool isNumeric(const Figure& figure);

// The figures of the text tables that show them, in their order.
std::vector<const Figure*> headlineFigures(HeadlineTable table);

// One figure of one report's row.
struct Field {
    const Figure* figure;
    // As the tab-separated format prints it: empty without a value.
    std::string text;
    // NaN without a value, or where the figure is not numeric.
    double number;
    Reading reading;
    // The column's name: the figure's, or a key's.
    std::string_view name = {};
};

// A file's own figures, named as in its JSON object ("values"), in the
// order of the row.
struct FileField {
    const char* name;
    FigureKind kind;
    Reading reading;
};
std::vector<FileField> fileFields(const FileSummary& file);

// The row of a sample, or of a decade of its a (where the figures of the
// whole run are empty), with the columns the run's options show.
std::vector<Field> reportFields(const Report& report, const ReportOptions& options);

// The names of a row's fields with these options, of the figures chosen
// (as chosenColumns says).
std::vector<std::string> fieldNames(const ReportOptions& options, const std::vector<bool>& chosen);

// The numeric figures' names that a row has with these options, in its
// order: the figures of a summary row.
std::vector<std::string> figureNames(const ReportOptions& options);

// A number in the shortest form that reads back to the same double; empty
// for NaN, inf for infinities.
std::string shortestNumber(double value);

// For each figure of the table, in its order, whether --columns keeps it in
// the TSV rows: the files, keys and decade always, and the figures the
// list names or matches; every figure without the option.  Worked out once
// for the rows, which then look a figure up by its place.
std::vector<bool> chosenColumns(const OutputOptions& options);

// Whether the column of that name of the figure is chosen: the figure is,
// and of a figure with a column for each tolerance, the column itself.
bool isChosen(const std::vector<bool>& chosen, const OutputOptions& options, const Figure& figure,
              std::string_view name);

// A figure's place in the table.
std::size_t placeOf(const Figure& figure);

// Every name or pattern of --columns names a figure; one that names none
// ends the process as a bad option does, naming the figures closest to it.
void resolveColumns(const ReportOptions& options);

// Every figure of --table, and that of --plot, is a numeric figure the
// run's rows have; one that is not ends the process as a bad option does,
// naming close ones.
void resolveTableFigures(const ReportOptions& options);

// No key is named as a figure, or as a column of the summary, is named:
// such a key ends the process as a bad option does.
void resolveKeys(const ReportOptions& options);

// Each requirement's figure: a name that is no numeric figure's ends the
// process as a bad option does; a quantile's requirement learns which
// errors and fraction it is decided on.
void resolveRequirements(ReportOptions& options);

}  // namespace calcgap::report
