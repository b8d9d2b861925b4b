// The problems of a run's input, listed once: the text report shows the
// list, and TSV, JSON and --strict ask whether it is empty.
#pragma once

#include "evaluation/report.h"

#include <cstdint>
#include <string>
#include <vector>

namespace calcgap::report {

struct InputProblem {
    std::string label;
    std::string text;
};

// One sample's input: its two files, and the pairs they formed.
std::vector<InputProblem> inputProblems(const Report& report);

// The test points, where there are any.
std::vector<InputProblem> pointsProblems(const Evaluation& evaluation);

// Where the file was likely meant to be read otherwise, the option that
// would read it: a text file that stops at a delimiter after its first
// value, or fields whose first line is not a number; empty otherwise.
std::string readingHint(const FileSummary& file);

// "line 3, column 7 (byte 20)".
std::string placeOf(const TextPosition& position);

}  // namespace calcgap::report
