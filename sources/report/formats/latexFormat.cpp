// The tables to paste as LaTeX: each a tabular with its caption as a
// comment above it, numbers in math mode with \pm and powers of ten, names
// escaped so that none changes what the document does.
#include "formats/formats.h"
#include "formats/pasteCells.h"

#include "support/quoting.h"

#include <string>

namespace calcgap::report {

namespace {

// A name as text that LaTeX prints as it stands: quoted where it holds what
// a terminal would not show as it is, then each special character in the
// form that prints it.
std::string escaped(const std::string& name)
{
    const std::string safe = isPrintable(name) ? name : shellQuoted(name);
    std::string text;
    for (const char c : safe) {
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

}  // namespace

void writeLatex(const Evaluation& evaluation, OutputBuffer& out)
{
    const int digits = evaluation.options.output.digits;
    bool first = true;
    for (const PasteTable& table : pasteTables(evaluation)) {
        // The caption is a comment: shellQuoted names hold no line end.
        put(out, (first ? "% " : "\n% ") + captionOf(table, evaluation.options.measures.ciLevel, kMarks) + "\n\\begin{tabular}{");
        first = false;
        for (std::size_t c = 0; c < table.head.size(); ++c)
            put(out, c < table.nameColumns ? "l" : "r");
        put(out, "}\n\\hline\n");
        for (std::size_t c = 0; c < table.head.size(); ++c)
            put(out, (c == 0 ? "" : " & ") + escaped(table.head[c]));
        put(out, " \\\\\n\\hline\n");
        for (const std::vector<TableCell>& row : table.rows) {
            for (std::size_t c = 0; c < row.size(); ++c)
                put(out, (c == 0 ? "" : " & ") +
                             (row[c].number ? cellText(row[c], digits, kMarks) : escaped(row[c].name)));
            put(out, " \\\\\n");
        }
        put(out, "\\hline\n\\end{tabular}\n");
    }
}

}  // namespace calcgap::report
