#include "pictures/markup.h"

#include "support/quoting.h"

#include <cmath>
#include <cstdio>

namespace calcgap::report {

std::string markupText(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string markupName(std::string_view name)
{
    return markupText(isPrintable(name) ? std::string(name) : shellQuoted(name));
}

std::string coordinate(double value)
{
    char text[32];
    // -0.00 and 0.00 are one place.
    std::snprintf(text, sizeof text, "%.2f", std::fabs(value) < 0.005 ? 0.0 : value);
    return text;
}

}  // namespace calcgap::report
