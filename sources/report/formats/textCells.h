// A text table's cells, aligned by the columns a terminal gives their
// UTF-8 text, so that names in any script line up.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace calcgap::report {

// The columns a terminal gives the text: a column a character, two for the
// wide ones of East Asian scripts and emoji, none for combining marks.
std::size_t displayWidth(std::string_view text);

// A table's cell, right-aligned in width, and always a space from the cell
// before.
std::string cell(const std::string& text, std::size_t width);

// A cell left-aligned in width.
std::string left(const std::string& text, std::size_t width);

}  // namespace calcgap::report
