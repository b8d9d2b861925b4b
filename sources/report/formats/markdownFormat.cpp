// The tables to paste as GitHub-flavoured markdown: a caption, then a pipe
// table, names left-aligned and numbers right-aligned, ± between a mean and
// its sd.
#include "formats/formats.h"
#include "formats/pasteCells.h"

#include "support/quoting.h"

#include <string>

namespace calcgap::report {

namespace {

// A name that no markdown reads as markup or as a cell's end: quoted where
// it holds what a terminal would not show as it is, then each character
// markdown gives a meaning escaped with a backslash.
std::string escaped(const std::string& name)
{
    const std::string safe = isPrintable(name) ? name : shellQuoted(name);
    std::string text;
    for (const char c : safe) {
        if (std::string_view("\\`*_{}[]<>|#~!$&").find(c) != std::string_view::npos)
            text += '\\';
        text += c;
    }
    return text;
}

constexpr CellMarks kMarks{"±", "", "", false};

}  // namespace

void writeMarkdown(const Evaluation& evaluation, OutputBuffer& out)
{
    const int digits = evaluation.options.output.digits;
    bool first = true;
    for (const PasteTable& table : pasteTables(evaluation)) {
        put(out, (first ? "" : "\n") + escaped(captionOf(table, evaluation.options.measures.ciLevel, kMarks)) + "\n\n|");
        first = false;
        for (const std::string& head : table.head)
            put(out, " " + escaped(head) + " |");
        put(out, "\n|");
        for (std::size_t c = 0; c < table.head.size(); ++c)
            put(out, c < table.nameColumns ? " :--- |" : " ---: |");
        put(out, "\n");
        for (const std::vector<TableCell>& row : table.rows) {
            put(out, "|");
            for (const TableCell& cell : row)
                put(out, " " + (cell.number ? cellText(cell, digits, kMarks) : escaped(cell.name)) + " |");
            put(out, "\n");
        }
    }
}

}  // namespace calcgap::report
