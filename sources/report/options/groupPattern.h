// The --group pattern: a regular expression whose first capture in a
// sample's name is the sample's group.  Matched by an engine whose time is
// linear in the name and whose stack is bounded, so that no pattern can
// make a run hang or overflow a small stack; backreferences, which no such
// engine can take, are refused when the pattern is read.
#pragma once

#include <memory>
#include <string>

namespace re2 {
class RE2;
}

namespace calcgap::report {

struct GroupPattern {
    std::shared_ptr<const re2::RE2> compiled;
};

// The pattern compiled, or false with the reason it cannot be: not a
// regular expression, or one without a group to capture.
bool compileGroupPattern(const char* text, GroupPattern& pattern, std::string& reason);

// The first capture of the pattern in the name, or false with the reason
// there is none: the pattern does not match the name, or matches it with
// its first group empty.
bool groupOfName(const GroupPattern& pattern, const char* name, std::string& group, std::string& reason);

}  // namespace calcgap::report
