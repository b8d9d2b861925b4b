// Numbers for tables a reader compares by eye: every cell to the same
// significant digits, so that 0.0700 and 0.0712 align in precision.
#include "formats/pasteCells.h"

#include "support/quoting.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace calcgap::report {

std::string significant(double value, int digits, const CellMarks& marks)
{
    if (std::isnan(value))
        return "";
    if (std::isinf(value))
        return std::string(marks.open) + (value < 0 ? "-" : "") + (marks.texExponent ? "\\infty" : "inf") + marks.close;
    char text[64];
    std::snprintf(text, sizeof text, "%#.*g", digits, value);
    std::string number = text;
    const std::size_t e = number.find('e');
    std::string mantissa = number.substr(0, e);
    if (!mantissa.empty() && mantissa.back() == '.')
        mantissa.pop_back();
    if (e == std::string::npos)
        return marks.open + mantissa + marks.close;
    const int exponent = std::atoi(number.c_str() + e + 1);
    if (marks.texExponent)
        return std::string(marks.open) + mantissa + "\\times10^{" + std::to_string(exponent) + "}" + marks.close;
    char power[16];
    std::snprintf(power, sizeof power, "e%+03d", exponent);
    return marks.open + mantissa + power + marks.close;
}

std::string cellText(const TableCell& cell, int digits, const CellMarks& marks)
{
    if (!cell.number)
        return cell.name;
    if (std::isnan(cell.value))
        return "";
    if (cell.whole)
        return marks.open + std::to_string(static_cast<std::int64_t>(cell.value)) + marks.close;
    const CellMarks bare{marks.plusMinus, "", "", marks.texExponent};
    const auto number = [&](double value) { return significant(value, digits, bare); };
    std::string text = number(cell.value);
    if (cell.overSamples && cell.interval && !std::isnan(cell.ci.lo))
        text += " [" + number(cell.ci.lo) + ", " + number(cell.ci.hi) + "]";
    else if (cell.overSamples && !cell.interval && !std::isnan(cell.sd))
        text += std::string(" ") + marks.plusMinus + " " + number(cell.sd);
    return marks.open + text + marks.close;
}

std::string captionOf(const PasteTable& table, double ciLevel, const CellMarks& marks)
{
    if (table.samples.empty())
        return table.title;
    if (ciLevel > 0.0) {
        char level[32];
        std::snprintf(level, sizeof level, "%.10g%%", 100 * ciLevel);
        return table.title + ": the mean's " + level + " interval (Student's t) over " + table.samples;
    }
    return table.title + ": mean " + marks.plusMinus + " sd over " + table.samples;
}

PastedTable pastedTable(const PasteTable& table, int digits, double ciLevel, const CellMarks& marks, Escape escape)
{
    // Quoted first where a name holds what a terminal or a document would
    // not show as it is (control bytes, bytes that are not UTF-8), then
    // escaped; the text's tables quote names with spaces too.
    const auto name = [&](const std::string& text) {
        if (escape == nullptr)
            return wordOrQuoted(text);
        return escape(isPrintable(text) ? text : shellQuoted(text));
    };
    PastedTable p;
    p.caption = captionOf(table, ciLevel, marks);
    for (const std::string& head : table.head)
        p.head.push_back(name(head));
    p.nameColumns = table.nameColumns;
    for (const std::vector<TableCell>& row : table.rows) {
        std::vector<std::string>& cells = p.rows.emplace_back();
        for (const TableCell& c : row)
            cells.push_back(c.number ? cellText(c, digits, marks) : name(c.name));
    }
    return p;
}

std::vector<PastedTable> pastedTables(const Evaluation& evaluation, const CellMarks& marks, Escape escape)
{
    std::vector<PastedTable> pasted;
    for (const PasteTable& table : pasteTables(evaluation))
        pasted.push_back(pastedTable(table, evaluation.options.output.digits, evaluation.options.measures.ciLevel,
                                     marks, escape));
    return pasted;
}

}  // namespace calcgap::report
