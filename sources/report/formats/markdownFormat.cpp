// The tables to paste as GitHub-flavoured markdown: a caption, then a pipe
// table, names left-aligned and numbers right-aligned, ± between a mean and
// its sd.
#include "formats/formats.h"
#include "formats/pasteCells.h"

#include <string>

namespace calcgap::report {

namespace {

// A name that no markdown reads as markup or as a cell's end: each
// character markdown gives a meaning escaped with a backslash.
std::string escaped(const std::string& name)
{
    std::string text;
    for (const char c : name) {
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
    bool first = true;
    for (const PastedTable& table : pastedTables(evaluation, kMarks, escaped)) {
        put(out, (first ? "" : "\n") + escaped(table.caption) + "\n\n|");
        first = false;
        for (const std::string& head : table.head)
            put(out, " " + head + " |");
        put(out, "\n|");
        for (std::size_t c = 0; c < table.head.size(); ++c)
            put(out, c < table.nameColumns ? " :--- |" : " ---: |");
        put(out, "\n");
        for (const std::vector<std::string>& row : table.rows) {
            put(out, "|");
            for (const std::string& cell : row)
                put(out, " " + cell + " |");
            put(out, "\n");
        }
    }
}

}  // namespace calcgap::report
