// Text inside SVG and HTML: names made printable as messages make them
// (control bytes, bytes that are not UTF-8 and invisible characters such
// as the bidirectional controls quoted), then the characters that markup
// gives a meaning written as entities.
#pragma once

#include <string>
#include <string_view>

namespace calcgap::report {

// A name: quoted where it is not printable as it stands, then escaped.
std::string markupName(std::string_view name);

// Text of the program's own, which needs escaping only.
std::string markupText(std::string_view text);

// A coordinate to two decimals: the same bytes for the same input.
std::string coordinate(double value);

}  // namespace calcgap::report
