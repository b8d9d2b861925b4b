// Turns a scanned token into a float or double by handing the C library's
// own strtof or strtod a short canonical spelling of it, so that rounding,
// overflow and underflow are exactly the library's however many digits the
// input had.
#include "reading/floatToken.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace calcgap {

namespace {

// The canonical spelling, or the special value's name, into the token's
// room for it.
const char* spell(FloatToken& token)
{
    char* out = token.spelling;
    if (token.negative)
        *out++ = '-';
    if (token.special != FloatToken::Special::none) {
        std::strcpy(out, token.special == FloatToken::Special::nan ? "nan" : "inf");
        return token.spelling;
    }
    if (token.kept == 0) {
        *out++ = '0';
        *out = '\0';
        return token.spelling;
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
    // Far outside every double's range in either base; strtod needs no more.
    constexpr std::int64_t kWrittenLimit = 100000000;
    exponent = std::clamp(exponent, -kWrittenLimit, kWrittenLimit);
    *out++ = token.hex ? 'p' : 'e';
    *std::to_chars(out, token.spelling + sizeof token.spelling - 1, exponent).ptr = '\0';
    return token.spelling;
}

}  // namespace

float floatFromToken(FloatToken& token)
{
    return std::strtof(spell(token), nullptr);
}

double doubleFromToken(FloatToken& token)
{
    return std::strtod(spell(token), nullptr);
}

}  // namespace calcgap
