// The report's reading of text: each token to double as strtod (fscanf
// "%lf") reads it and to float as "%f" reads it, over the exact "%f"
// reader's buffer, scanner and failures, so that the report and the
// classic tools consume the same input and fail the same reads.
#pragma once

#include "reading/textReader.h"
#include "reading/textSource.h"
#include "reading/valueSource.h"

#include <cstdint>

namespace calcgap::report {

// Makes count reads into floats and doubles as readTextValues makes them
// into floats, noting in events the values whose range lost what was
// written: zero or subnormal from digits that are not all zeros, infinite
// from finite text.
std::int32_t readTextDoubles(ValueReader& reader, ReadEvents& events, float* floats, double* doubles,
                             std::int32_t count, float& lastFloat, double& lastDouble, bool stopWhenSpent);

// Turns a text source, as attachTextSource opens it, into one that reads
// doubles too.
void readTextAsDoubles(ValueSource& source);

}  // namespace calcgap::report
