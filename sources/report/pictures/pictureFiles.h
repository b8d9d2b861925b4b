// The files of --svg and --html.
#pragma once

#include "evaluation/report.h"

namespace calcgap::report {

// Writes the figures into --svg's folder (made if it is missing) and the
// page to --html's file.  Called before the report is printed, so that a
// failure here leaves standard output empty, as every failure does.
void writePictures(const Evaluation& evaluation);

}  // namespace calcgap::report
