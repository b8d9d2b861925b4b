// The values of calcGap_report's options, read as the option table's entries
// read them: each a number, a word or a list as written, or an error that
// names the option and says what is wrong with its value.
#include "options/optionValues.h"

#include "support/fail.h"
#include "support/quoting.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace calcgap::report {

namespace {

constexpr const char* kHint = "Try 'calcGap_report --help' for more information.";

// A key's name: a word that can head a column and be named in --table.
bool isKeyName(std::string_view name)
{
    const auto word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; };
    return !name.empty() && std::isdigit(static_cast<unsigned char>(name[0])) == 0 &&
           std::all_of(name.begin(), name.end(), word);
}

}  // namespace

void failOption(const std::string& what, const char* reason)
{
    failWithHint(what.c_str(), reason, kHint);
}

void failInvalid(const char* name, const char* text, const char* reason)
{
    failOption(std::string("invalid ") + name + " " + shellQuoted(text), reason);
}


// The text without the white space around it, as a number option reads it:
// " 3" and "3 " alike.
std::string_view trimmed(const char* text)
{
    std::string_view view(text);
    const auto isBlank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (!view.empty() && isBlank(view.front()))
        view.remove_prefix(1);
    while (!view.empty() && isBlank(view.back()))
        view.remove_suffix(1);
    return view;
}

std::int32_t countValue(const char* name, const char* text)
{
    const std::string digits(trimmed(text));
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(digits.c_str(), &end, 10);
    if (digits.empty() || !(digits[0] >= '0' && digits[0] <= '9') || *end != '\0' || errno == ERANGE ||
        value > INT32_MAX)
        failInvalid(name, text, "not a whole number from 0 to 2147483647");
    return static_cast<std::int32_t>(value);
}

std::int32_t countFromOne(const char* name, const char* text, std::int32_t most)
{
    const std::int32_t value = countValue(name, text);
    if (value < 1 || value > most)
        failInvalid(name, text, ("not a whole number from 1 to " + std::to_string(most)).c_str());
    return value;
}

double amountValue(const char* name, const char* text)
{
    const std::string number(trimmed(text));
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(number.c_str(), &end);
    if (number.empty() || *end != '\0' || std::isnan(value) || value < 0.0)
        failInvalid(name, text, "not a finite number of 0 or more");
    // Too large, or so small that it would silently be 0 or lose digits.
    if (errno == ERANGE || std::isinf(value))
        failInvalid(name, text, std::strerror(ERANGE));
    // -0 is 0, and shows as 0.
    return value + 0.0;
}

// The least truth, and its logarithm from the digits: a decimal below the
// doubles is taken apart into its digits m and exponent k, ln m + k ln 10,
// as --log compares logarithms; without --log such a value is an error,
// as any amount would be.
void leastTruthValue(MeasureOptions& options, const char* text)
{
    const std::string number(trimmed(text));
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(number.c_str(), &end);
    const bool underflow = errno == ERANGE && std::fabs(value) < DBL_MIN && !number.empty() && *end == '\0';
    const std::size_t mark = number.find_first_of("eE");
    const bool decimal = number.find_first_of("xX") == std::string::npos && mark != std::string::npos;
    if (!(underflow && decimal && value >= 0.0)) {
        options.minTruth = amountValue("least truth", text);
        options.logMinTruth = options.minTruth > 0.0 ? std::log(options.minTruth) : -INFINITY;
        return;
    }
    const double digits = std::strtod(number.substr(0, mark).c_str(), nullptr);
    const long exponent = std::strtol(number.c_str() + mark + 1, nullptr, 10);
    if (!(digits > 0.0))
        failInvalid("least truth", text, "not a finite number of 0 or more");
    options.minTruth = 0.0;
    options.logMinTruth = std::log(digits) + static_cast<double>(exponent) * std::log(10.0);
    options.minTruthBeyondDoubles = true;
}

RawType rawValue(const char* text)
{
    static constexpr std::pair<const char*, RawType> kTypes[] = {{"f4", RawType::f4}, {"f8", RawType::f8}};
    return wordValue("raw type", text, kTypes, "not f4 or f8");
}

// A number from 1, or with --header perhaps a name, which is checked once
// the header is read.
void columnValue(SourceOptions& options, const char* text)
{
    const std::string number(trimmed(text));
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(number.c_str(), &end, 10);
    if (!number.empty() && number[0] >= '0' && number[0] <= '9' && *end == '\0') {
        if (errno == ERANGE || value < 1 || value > INT32_MAX)
            failInvalid("column", text, "not a whole number from 1 to 2147483647");
        options.column = static_cast<std::int32_t>(value);
        options.columnName = nullptr;
        return;
    }
    if (*text == '\0')
        failInvalid("column", text, "not a number or a name");
    options.column = 0;
    options.columnName = text;
}

char delimiterValue(const char* text)
{
    // \t as two characters, for shells where a tab is hard to type.
    if (std::strcmp(text, "\\t") == 0)
        return '\t';
    if (std::strlen(text) != 1 || text[0] == '\n' || text[0] == '\r')
        failInvalid("delimiter", text, "not one byte other than a line end");
    return text[0];
}

// NAME<=VALUE or NAME>=VALUE, NAME a column of the tab-separated row.
Requirement requirementValue(const char* text)
{
    Requirement requirement;
    requirement.text = text;
    const std::string expression(text);
    const std::size_t at = expression.find_first_of("<>");
    if (at == std::string::npos || at + 1 >= expression.size() || expression[at + 1] != '=')
        failInvalid("requirement", text, "not NAME<=VALUE or NAME>=VALUE");
    requirement.name = std::string(trimmed(expression.substr(0, at).c_str()));
    requirement.atMost = expression[at] == '<';
    const std::string number(trimmed(expression.substr(at + 2).c_str()));
    char* end = nullptr;
    errno = 0;
    requirement.value = std::strtod(number.c_str(), &end);
    if (number.empty() || *end != '\0' || std::isnan(requirement.value) || errno == ERANGE)
        failInvalid("requirement", text, "its value is not a number");
    // Whether a figure has the name is for the table of figures to say,
    // once every option is read.
    return requirement;
}

// A key, by a regular expression with a group to capture; --group is the
// key named "group".  Whether its name is a figure's is for the table of
// figures to say, once every option is read.
void keyValue(OutputOptions& options, const char* what, std::string name, const char* pattern, const char* text)
{
    for (const SampleKey& key : options.keys)
        if (key.name == name)
            failInvalid(what, text, ("a key named " + shellQuoted(name) + " is given already").c_str());
    SampleKey key;
    std::string reason;
    if (!compileSampleKey(std::move(name), pattern, key, reason))
        failInvalid(what, text, reason.c_str());
    options.keys.push_back(std::move(key));
}

// NAME=RE.
void namedKeyValue(OutputOptions& options, const char* text)
{
    const char* const equals = std::strchr(text, '=');
    if (equals == nullptr)
        failInvalid("key", text, "not NAME=RE");
    const std::string name(text, equals);
    if (!isKeyName(name))
        failInvalid("key", text, "its name is not a word of letters, digits and _ that begins with a letter or _");
    keyValue(options, "key", name, equals + 1, text);
}

// Names or patterns separated by commas; which figures they name is for the
// table of figures to say, once every option is read.
std::vector<std::string> nameList(const char* what, const char* text)
{
    std::vector<std::string> names;
    const std::string_view list(text);
    for (std::size_t start = 0;;) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string_view name = list.substr(start, comma - start);
        if (name.empty())
            failInvalid(what, text, "it has an empty name");
        names.emplace_back(name);
        if (comma == list.size())
            break;
        start = comma + 1;
    }
    return names;
}

ReportFormat formatValue(const char* text)
{
    static constexpr std::pair<const char*, ReportFormat> kFormats[] = {{"text", ReportFormat::text},
                                                                        {"tsv", ReportFormat::tsv},
                                                                        {"json", ReportFormat::json},
                                                                        {"markdown", ReportFormat::markdown},
                                                                        {"latex", ReportFormat::latex}};
    return wordValue("format", text, kFormats, "not one of text, tsv, json, markdown, latex");
}

std::uint64_t seedValue(const char* text)
{
    const std::string number(trimmed(text));
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(number.c_str(), &end, 10);
    if (number.empty() || number[0] < '0' || number[0] > '9' || *end != '\0' || errno == ERANGE)
        failInvalid("seed", text, "not a whole number from 0 to 18446744073709551615");
    return value;
}

}  // namespace calcgap::report
