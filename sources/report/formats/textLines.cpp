// The pieces the text report is made of: numbers to six significant
// digits, shares in percent, a labelled line.
#include "formats/textLines.h"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace calcgap::report {

// As "%.6g" prints it, without printf's multiple-precision arithmetic, which
// a list of millions of points would wait on.
std::string number(double value)
{
    if (std::isnan(value))
        return "n/a";
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6).ptr);
}

std::string printed(const char* format, ...)
{
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

void line(OutputBuffer& out, const std::string& label, const std::string& value)
{
    put(out, printed("  %-*s ", kLabelWidth - 2, label.c_str()));
    put(out, value);
    put(out, "\n");
}

std::string percent(double fraction)
{
    return std::isnan(fraction) ? "n/a" : printed("%.1f%%", 100.0 * fraction);
}

std::string share(std::int64_t part, std::int64_t whole)
{
    return whole > 0 ? percent(static_cast<double>(part) / static_cast<double>(whole)) : "n/a";
}

}  // namespace calcgap::report
