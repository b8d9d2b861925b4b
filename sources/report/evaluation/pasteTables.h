// The tables to paste into a paper: with --table, a pivot of the summary by
// its keys, a row for each value of the first keys and a column for each
// of the last; without it, the table of the samples or, with --summary, of
// the summary.  Built once here; the text, markdown and LaTeX formats only
// lay them out.
#pragma once

#include "evaluation/report.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace calcgap::report {

struct TableCell {
    // A name (a key's value, a sample's file) where it holds no number.
    std::string name;
    bool number = false;
    // A count, shown whole.
    bool whole = false;
    // A sample's figure, or the mean over the samples of a summary row;
    // NaN without a value.
    double value = NAN;
    // Over samples: the sd, and with --ci the interval, shown instead.
    bool overSamples = false;
    double sd = NAN;
    bool interval = false;
    Interval ci;
};

struct PasteTable {
    // What it shows ("rel_mean by method and n"), and for tables over
    // samples how many ("3 samples", "2 to 3 samples"): the caption's parts.
    std::string title;
    std::string samples;
    std::vector<std::string> head;
    // The first columns name the row; the rest hold numbers.
    std::size_t nameColumns = 0;
    std::vector<std::vector<TableCell>> rows;
};

std::vector<PasteTable> pasteTables(const Evaluation& evaluation);

// The summary rows, the rows by decade of a, and the samples, with the
// figures named.
PasteTable summaryTableOf(const Evaluation& evaluation, const std::vector<std::string>& figures);
PasteTable densityTableOf(const Evaluation& evaluation, const std::vector<std::string>& figures);
PasteTable sampleTableOf(const Evaluation& evaluation, const std::vector<std::string>& figures);

}  // namespace calcgap::report
