// The run as one self-contained HTML page.
#pragma once

#include "evaluation/report.h"
#include "plots/plotData.h"

#include <string>
#include <vector>

namespace calcgap::report {

// The command line, the input, the summary, the paired comparison where
// given, the figures, and the table by decade of a with --by-density.
std::string htmlPage(const Evaluation& evaluation, const std::vector<Plot>& plots);

}  // namespace calcgap::report
