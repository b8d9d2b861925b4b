// Turns a scanned token into a float by handing the C library's own strtof a
// short canonical spelling of it, so that rounding, overflow and underflow are
// exactly the library's however many digits the input had.
#include "floatToken.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

float floatFromToken(const FloatToken& token)
{
    // sign, "0x0." or "0.", the digits, a sticky digit, the exponent, NUL
    char text[1 + 4 + kKeptDigits + 1 + 16 + 1];
    char* out = text;
    if (token.negative)
        *out++ = '-';
    if (token.kept == 0) {
        *out++ = '0';
        *out = '\0';
        return std::strtof(text, nullptr);
    }
    *out++ = '0';
    if (token.hex)
        *out++ = 'x';
    *out++ = '0';
    *out++ = '.';
    for (int i = 0; i < token.kept; ++i)
        *out++ = "0123456789abcdef"[token.digits[i]];
    if (token.sticky)
        *out++ = '1';
    const std::int64_t digitPlaces =
        std::clamp(token.integerDigits - token.leadingZeros, -kPlacesLimit, kPlacesLimit);
    const std::int64_t explicitPart = token.exponentNegative ? -token.exponent : token.exponent;
    std::int64_t exponent = (token.hex ? 4 * digitPlaces : digitPlaces) + explicitPart;
    // Far outside every float's range in either base; strtof needs no more.
    constexpr std::int64_t kWrittenLimit = 100000000;
    exponent = std::clamp(exponent, -kWrittenLimit, kWrittenLimit);
    *out++ = token.hex ? 'p' : 'e';
    *std::to_chars(out, text + sizeof text - 1, exponent).ptr = '\0';
    return std::strtof(text, nullptr);
}
