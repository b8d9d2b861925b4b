// The keys of a sample, matched in linear time with a bounded stack.
#include "options/sampleKeys.h"

#include <re2/re2.h>

namespace calcgap::report {

bool compileSampleKey(std::string name, const char* pattern, SampleKey& key, std::string& reason)
{
    RE2::Options options;
    options.set_log_errors(false);
    auto compiled = std::make_shared<const RE2>(pattern, options);
    if (!compiled->ok()) {
        reason = compiled->error();
        if (compiled->error_code() == RE2::ErrorBadEscape && std::string(compiled->error_arg()).size() == 2 &&
            compiled->error_arg()[1] >= '1' && compiled->error_arg()[1] <= '9')
            reason += " (backreferences are not taken: their matching time has no bound)";
        return false;
    }
    if (compiled->NumberOfCapturingGroups() < 1) {
        reason = "it captures nothing: put the part that names the " + name + " in ( )";
        return false;
    }
    key.name = std::move(name);
    key.pattern = pattern;
    key.compiled = std::move(compiled);
    return true;
}

bool keyOfName(const SampleKey& key, const char* name, std::string& value, std::string& reason)
{
    re2::StringPiece capture;
    if (!RE2::PartialMatch(name, *key.compiled, &capture)) {
        reason = "does not match its name";
        return false;
    }
    if (capture.empty()) {
        reason = "matches its name, but its first group captures nothing there";
        return false;
    }
    value.assign(capture.data(), capture.size());
    return true;
}

std::string withKeyValue(const SampleKey& key, const char* name, const std::string& value)
{
    re2::StringPiece capture;
    if (!RE2::PartialMatch(name, *key.compiled, &capture) || capture.data() == nullptr)
        return "";
    const auto at = static_cast<std::size_t>(capture.data() - name);
    const std::string whole(name);
    return whole.substr(0, at) + value + whole.substr(at + capture.size());
}

}  // namespace calcgap::report
