// Natural order of names.
#include "evaluation/naturalOrder.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

namespace calcgap::report {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

bool naturalLess(std::string_view x, std::string_view y)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < x.size() && j < y.size()) {
        if (!isDigit(x[i]) || !isDigit(y[j])) {
            if (x[i] != y[j])
                return static_cast<unsigned char>(x[i]) < static_cast<unsigned char>(y[j]);
            ++i;
            ++j;
            continue;
        }
        // Two runs of digits: by value (the longer run without its leading
        // zeros is the larger; of equal length, the first digit that
        // differs), then by the leading zeros.
        const std::size_t xStart = i;
        const std::size_t yStart = j;
        while (i < x.size() && x[i] == '0')
            ++i;
        while (j < y.size() && y[j] == '0')
            ++j;
        const std::size_t xDigits = i;
        const std::size_t yDigits = j;
        while (i < x.size() && isDigit(x[i]))
            ++i;
        while (j < y.size() && isDigit(y[j]))
            ++j;
        const std::size_t xLength = i - xDigits;
        const std::size_t yLength = j - yDigits;
        if (xLength != yLength)
            return xLength < yLength;
        const int order = x.substr(xDigits, xLength).compare(y.substr(yDigits, yLength));
        if (order != 0)
            return order < 0;
        if (xDigits - xStart != yDigits - yStart)
            return xDigits - xStart < yDigits - yStart;
    }
    return x.size() - i < y.size() - j;
}

void sortKeyValues(std::vector<std::string>& values)
{
    const auto numeric = [](const std::string& value) {
        char* end = nullptr;
        std::strtod(value.c_str(), &end);
        return !value.empty() && *end == '\0';
    };
    if (std::all_of(values.begin(), values.end(), numeric))
        std::sort(values.begin(), values.end(), [](const std::string& x, const std::string& y) {
            const double dx = std::strtod(x.c_str(), nullptr);
            const double dy = std::strtod(y.c_str(), nullptr);
            return dx < dy || (dx == dy && x < y);
        });
    else
        std::sort(values.begin(), values.end(), naturalLess);
}

}  // namespace calcgap::report
