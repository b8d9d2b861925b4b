// The pieces the text report is made of.
#pragma once

#include "support/output.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace calcgap::report {

// The width of a labelled line's label, and of a table's numeric cell.
constexpr int kLabelWidth = 26;
constexpr std::size_t kCell = 12;

// As "%.6g" prints it; n/a for NaN.
std::string number(double value);
// snprintf into a string of at most 255 bytes.
std::string printed(const char* format, ...) __attribute__((format(printf, 1, 2)));
// "  LABEL   VALUE", the value at kLabelWidth.
void line(OutputBuffer& out, const std::string& label, const std::string& value);
// A fraction in percent to a tenth; n/a for NaN.
std::string percent(double fraction);
// part of whole in percent; n/a for no whole.
std::string share(std::int64_t part, std::int64_t whole);

}  // namespace calcgap::report
