// The times of --times: a line for each sample or key value, its name and
// the seconds it took, separated by a tab.
#pragma once

#include <string>
#include <vector>

namespace calcgap::report {

struct TimedName {
    std::string name;
    double seconds;
};

// The file's lines, in order; a first line whose seconds are not a number
// is a header and left out.  A file that cannot be read, a line without a
// tab, or seconds that are not a finite number of 0 or more end the process
// with a message that names the file and the line.
std::vector<TimedName> readTimes(const char* path);

}  // namespace calcgap::report
