// The frame the three classic tools share: the command line, the two value
// files, the pair pass over exactly n pairs, the classic sums and the
// result line.  Each tool names only its table and what it prints of the
// sums.
#pragma once

#include "classic/classicSums.h"
#include "support/commandLine.h"

#include <cstdint>

namespace calcgap {

// Opens the test point file with mode "rt", checks that it is a readable
// file and closes it again: it is named on every command line, but no
// printed result depends on its values.
void checkTestPointFile(const char* path);

// Runs the tool from start to end: prints its figure as "%f\n" and returns
// 0, or ends the process with status 1.
int runTool(const ToolTable& tool, int argc, char** argv, ClassicFigure figure);

}  // namespace calcgap
