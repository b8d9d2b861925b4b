// A sample's figures as one row of named fields: the tab-separated format
// prints them, the summary over samples takes their numbers, and the
// requirements name them.
#pragma once

#include "report.h"

#include <string>
#include <vector>

struct Field {
    std::string name;
    std::string text;
    // The field's number, NaN where it has none; only numeric fields are
    // summarized and may be required.
    double number;
    bool numeric;
};

// The row of a sample, or of a decade of its a (where the fields that mean
// nothing by decade are empty).  A group column follows the names with
// --group, a decade column with --by-density.
std::vector<Field> reportFields(const Report& report);

// The names of a row's fields with these options.
std::vector<std::string> fieldNames(const ReportOptions& options);

// The numeric fields' names, in the order of the row; the same whatever
// the options.
std::vector<std::string> figureNames();

// A number in the shortest form that reads back to the same double; empty
// for NaN, inf for infinities.
std::string shortestNumber(double value);
