// The readers of option values that the option table calls, and the one
// way an option fails.
#pragma once

#include "options/reportOptions.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace calcgap::report {

// "calcGap_report: WHAT: REASON" and the hint to try --help, status 1.
[[noreturn]] void failOption(const std::string& what, const char* reason);

std::string_view trimmed(const char* text);
std::int32_t countValue(const char* name, const char* text);
// A count from 1 to most.
std::int32_t countFromOne(const char* name, const char* text, std::int32_t most);
double amountValue(const char* name, const char* text);
void leastTruthValue(MeasureOptions& options, const char* text);
RawType rawValue(const char* text);
void columnValue(SourceOptions& options, const char* text);
char delimiterValue(const char* text);
Requirement requirementValue(const char* text);
void keyValue(OutputOptions& options, const char* what, std::string name, const char* pattern, const char* text);
void namedKeyValue(OutputOptions& options, const char* text);
std::vector<std::string> nameList(const char* what, const char* text);
ReportFormat formatValue(const char* text);
std::uint64_t seedValue(const char* text);

// One of a few words, each naming a value: the value of the word given.
template <typename Value, std::size_t kWords>
Value wordValue(const char* name, const char* text, const std::pair<const char*, Value> (&words)[kWords],
                const char* reason)
{
    for (const auto& [word, value] : words)
        if (std::strcmp(text, word) == 0)
            return value;
    failInvalid(name, text, reason);
}

}  // namespace calcgap::report
