// The keys of a sample (--key=NAME=RE, and --group=RE as the key "group"):
// each the first capture of its pattern in the sample's name.  Matched by
// an engine whose time is linear in the name and whose stack is bounded,
// so that no pattern can make a run hang or overflow a small stack;
// backreferences, which no such engine can take, are refused when the
// pattern is read.
#pragma once

#include <memory>
#include <string>

namespace re2 {
class RE2;
}

namespace calcgap::report {

struct SampleKey {
    std::string name;
    // As written, for messages.
    std::string pattern;
    std::shared_ptr<const re2::RE2> compiled;
};

// The key compiled, or false with the reason it cannot be: not a regular
// expression, or one without a group to capture.
bool compileSampleKey(std::string name, const char* pattern, SampleKey& key, std::string& reason);

// The key's value in a sample's name: the first capture of its pattern, or
// false with the reason there is none (the pattern does not match the
// name, or matches it with its first group empty).
bool keyOfName(const SampleKey& key, const char* name, std::string& value, std::string& reason);

// The name with the key's capture in it replaced by value: the name of the
// same run under another value of the key.  Empty where the key's pattern
// does not capture in the name.
std::string withKeyValue(const SampleKey& key, const char* name, const std::string& value);

}  // namespace calcgap::report
