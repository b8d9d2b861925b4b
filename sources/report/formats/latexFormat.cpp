// The tables to paste as LaTeX: each a tabular with its caption as a
// comment above it, numbers in math mode with \pm and powers of ten, names
// escaped so that none changes what the document does.
#include "formats/formats.h"
#include "formats/pasteCells.h"

#include <string>

namespace calcgap::report {

namespace {

// A name as text that LaTeX prints as it stands: each special character in
// the form that prints it.
std::string escaped(const std::string& name)
{
    std::string text;
    for (const char c : name) {
        switch (c) {
        case '\\':
            text += "\\textbackslash{}";
            break;
        case '~':
            text += "\\textasciitilde{}";
            break;
        case '^':
            text += "\\textasciicircum{}";
            break;
        case '<':
            text += "\\textless{}";
            break;
        case '>':
            text += "\\textgreater{}";
            break;
        case '&':
        case '%':
        case '$':
        case '#':
        case '_':
        case '{':
        case '}':
            text += '\\';
            text += c;
            break;
        default:
            text += c;
        }
    }
    return text;
}

constexpr CellMarks kMarks{"\\pm", "$", "$", true};

// Cells joined by " & ", the row ended by "\\".
std::string latexRow(const std::vector<std::string>& cells)
{
    std::string text;
    for (std::size_t c = 0; c < cells.size(); ++c)
        text += (c == 0 ? "" : " & ") + cells[c];
    return text + " \\\\\n";
}

}  // namespace

void writeLatex(const Evaluation& evaluation, OutputBuffer& out)
{
    bool first = true;
    for (const PastedTable& table : pastedTables(evaluation, kMarks, escaped)) {
        // The caption is a comment, of words that hold no line end.
        put(out, (first ? "% " : "\n% ") + table.caption + "\n\\begin{tabular}{");
        first = false;
        for (std::size_t c = 0; c < table.head.size(); ++c)
            put(out, c < table.nameColumns ? "l" : "r");
        put(out, "}\n\\hline\n" + latexRow(table.head) + "\\hline\n");
        for (const std::vector<std::string>& row : table.rows)
            put(out, latexRow(row));
        put(out, "\\hline\n\\end{tabular}\n");
    }
}

}  // namespace calcgap::report
