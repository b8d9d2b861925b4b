// The decades the measures count in: the bins of the relative errors, and
// the rows of the tables by decade of a.
#pragma once

#include <string>

namespace calcgap::report {

// Relative errors by decade: 0, below 1e-8, each decade up to 1, and 1 or
// more.
constexpr int kDecadeBins = 11;
extern const char* const kDecadeLabels[kDecadeBins];

// The decades of a that the tables by density hold, and one more row for
// the pairs whose a is not positive: every double's, and, for --log, the
// densities far beyond them.  A logarithm beyond these falls in the end
// row on its side.
constexpr int kLowestDecade = -9999;
constexpr int kHighestDecade = 9999;
constexpr int kDensityRows = kHighestDecade - kLowestDecade + 2;
constexpr int kNoDecade = kHighestDecade + 1;

// The label of the span of decades of a from decade, "[1e-3, 1e-2)", or
// "a <= 0" for the row without a decade.
std::string decadeName(int decade, int span);

}  // namespace calcgap::report
