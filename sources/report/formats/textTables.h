// The text report's tables over several samples.
#pragma once

#include "evaluation/report.h"
#include "support/output.h"

namespace calcgap::report {

// A row per sample: its headline figures, then its input problems.
void sampleTable(OutputBuffer& out, const Evaluation& evaluation);
// The summary rows, mean +- sd: over all pairs, or by decade of a.
void summaryTable(OutputBuffer& out, const Evaluation& evaluation, bool byDecade);
// Each sample against its baseline, and how many of each row's samples won.
void pairedSection(OutputBuffer& out, const Evaluation& evaluation);
// With a numeric key, the figure of --plot against it: a row of bars for
// each line of the size plot.
void plotSection(OutputBuffer& out, const Evaluation& evaluation);
// The pivot tables of --table, aligned, +- between a mean and its sd.
void pivotText(const Evaluation& evaluation, OutputBuffer& out);

}  // namespace calcgap::report
