// Names and arguments as messages and reports show them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace calcgap {

// The text quoted for a message: 'a.txt' as it stands, "it's" in double
// quotes, and anything holding a control byte, a character that is
// invisible yet changes what the terminal shows (the bidirectional and
// other Unicode format controls, the line and paragraph separators) or
// bytes that are not valid UTF-8 in the shell's $'...' form, so that a
// message is always one line and no byte of a name reaches the terminal as
// a control sequence.
std::string shellQuoted(std::string_view text);

// True when the text holds only characters that shellQuoted leaves as they
// are.
bool isPrintable(std::string_view text);

// A word as a table or sentence shows it: as it stands where that is safe
// to print and has no space or quote to misalign a row, otherwise quoted.
std::string wordOrQuoted(std::string_view text);

// A count and its noun, as messages say it: "1 pair", "2 pairs".
inline std::string counted(std::int64_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace calcgap
