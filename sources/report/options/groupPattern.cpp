// The --group pattern, matched in linear time with a bounded stack.
#include "options/groupPattern.h"

#include <re2/re2.h>

namespace calcgap::report {

bool compileGroupPattern(const char* text, GroupPattern& pattern, std::string& reason)
{
    RE2::Options options;
    options.set_log_errors(false);
    auto compiled = std::make_shared<const RE2>(text, options);
    if (!compiled->ok()) {
        reason = compiled->error();
        if (compiled->error_code() == RE2::ErrorBadEscape && std::string(compiled->error_arg()).size() == 2 &&
            compiled->error_arg()[1] >= '1' && compiled->error_arg()[1] <= '9')
            reason += " (backreferences are not taken: their matching time has no bound)";
        return false;
    }
    if (compiled->NumberOfCapturingGroups() < 1) {
        reason = "it captures nothing: put the part that names the group in ( )";
        return false;
    }
    pattern.compiled = std::move(compiled);
    return true;
}

bool groupOfName(const GroupPattern& pattern, const char* name, std::string& group, std::string& reason)
{
    re2::StringPiece capture;
    if (!RE2::PartialMatch(name, *pattern.compiled, &capture)) {
        reason = "does not match its name";
        return false;
    }
    if (capture.empty()) {
        reason = "matches its name, but its first group captures nothing there";
        return false;
    }
    group.assign(capture.data(), capture.size());
    return true;
}

}  // namespace calcgap::report
