// The report's formats, each written straight to standard output
// through a fixed buffer, so that a report of any length costs no memory
// beyond the figures and the worst points.
#pragma once

#include "support/output.h"
#include "evaluation/report.h"

namespace calcgap::report {

// Aligned sections for a person, six significant digits: one sample's
// whole report, or, for several, a table of them and their summary; with
// --table, only the pivot tables of the summary.
void writeText(const Evaluation& evaluation, OutputBuffer& out);

// One header line, then a line of tab-separated fields per sample, per
// decade of a sample's a, or per summary row.
void writeTsv(const Evaluation& evaluation, OutputBuffer& out);

// One JSON document with the content of the text, at full precision: one
// sample's report, or the reports of several and their summary.
void writeJson(const Evaluation& evaluation, OutputBuffer& out);

// The tables to paste (a pivot of the summary with --table, otherwise the
// samples' or the summary's table) as markdown pipe tables, or as LaTeX
// tabulars.
void writeMarkdown(const Evaluation& evaluation, OutputBuffer& out);
void writeLatex(const Evaluation& evaluation, OutputBuffer& out);

}  // namespace calcgap::report
