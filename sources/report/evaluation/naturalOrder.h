// Names in the order a reader expects of numbered runs: the digits in them
// compared as numbers, so that n100 < n400 < n1600, and the rest byte by
// byte.  Samples and groups are listed in it in every format.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace calcgap::report {

// Whether x comes before y.  Runs of digits compare by their value, and of
// equal values the one with fewer leading zeros first; all else compares by
// its bytes, unsigned.  It is a strict weak order, and names that differ
// are never equivalent in it.
bool naturalLess(std::string_view x, std::string_view y);

// A key's values in order: by their values where every one is a number
// ("0.25", "1e3", so that 0.5 comes after 0.25), otherwise naturally.
void sortKeyValues(std::vector<std::string>& values);

}  // namespace calcgap::report
