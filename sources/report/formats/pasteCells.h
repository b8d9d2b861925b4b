// The cells of the tables to paste, at a fixed number of significant
// digits, with each format's marks for +- and for exponents.
#pragma once

#include "evaluation/pasteTables.h"

#include <cstddef>
#include <string>
#include <vector>

namespace calcgap::report {

struct CellMarks {
    // Between a mean and its sd: "+-", "±", "\pm".
    const char* plusMinus;
    // Around a cell's number, as LaTeX's math mode.
    const char* open;
    const char* close;
    // An exponent as 1.2e-05 (false) or as 1.2\times10^{-5}.
    bool texExponent;
};

// The value at digits significant digits, trailing zeros kept (0.0700):
// empty for NaN, inf for infinities.
std::string significant(double value, int digits, const CellMarks& marks);

// A cell's text: its name (for the format to escape), its number (a count
// whole), the mean +- sd, or the mean [lo, hi] with the interval.
std::string cellText(const TableCell& cell, int digits, const CellMarks& marks);

// The table's caption, with what its cells over samples hold: "rel_mean by
// method and n: mean ± sd over 3 samples", or the interval's level.
std::string captionOf(const PasteTable& table, double ciLevel, const CellMarks& marks);

// A table as a format writes it: every name in the head and the rows
// quoted where it is not printable, then escaped as the format escapes it
// (without an escape, quoted as the text's tables quote names), every number at digits significant
// digits with the format's marks.  The caption names only figures and keys,
// words that break no line, and is for the format to escape.
struct PastedTable {
    std::string caption;
    std::vector<std::string> head;
    std::size_t nameColumns = 1;
    std::vector<std::vector<std::string>> rows;
};

using Escape = std::string (*)(const std::string&);

// One table, and the tables of the run's options (--table, --summary).
PastedTable pastedTable(const PasteTable& table, int digits, double ciLevel, const CellMarks& marks, Escape escape);
std::vector<PastedTable> pastedTables(const Evaluation& evaluation, const CellMarks& marks, Escape escape);

}  // namespace calcgap::report
