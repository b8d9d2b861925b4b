// A plain decimal's parts to the double strtod gives, and that double to
// the float strtof gives for the same digits, or a refusal that sends the
// token to the general path.
//
// The double is exact by construction in both of its ways:
// 1. Where the mantissa is at most 2^53 (kExactMantissa) and no digit was
//    dropped, it is a double exactly; so is 10^|P| for |P| <= 22
//    (kExactPower).  One product or quotient of two exact doubles is
//    rounded once, to nearest, which is what strtod's correctly rounded
//    result is.
// 2. Otherwise the digits go through the public conversion of
//    libfast-float-dev, whose result is the correctly rounded double of
//    the whole digit string, as strtod's is.  It must take exactly the
//    token the tokenizer found (the same end), or the token is refused.
// Results that are zero from nonzero digits, subnormal or infinite are
// refused, for the general path to convert and to count as underflow or
// overflow.
//
// The float of the same token is then the double rounded to float, unless
// the double lies on a point halfway between two floats: every such point
// is a double, so when rounding the decimal to double moved it across one,
// it moved it onto it, and the double cannot tell which side the digits
// were on (floatOfDouble).  Below the normal floats those points lie on
// other bits, so those doubles are refused too.
#pragma once

#include "decimalConversion.h"

#include <fast_float/fast_float.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <system_error>

// The double nearest the decimal whose parts are parts and whose digits,
// after any sign, are [digits, end); false where the result is zero from
// digits that are not all zeros, subnormal or infinite, or the library
// reads a token other than the tokenizer's.
inline bool doubleFromParts(const DecimalParts& parts, const char* digits, const char* end, double& value)
{
    constexpr std::uint64_t kExactMantissa = std::uint64_t{1} << 53;
    constexpr int kExactPower = 22;
    static constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    double result;
    if (parts.mantissa == 0) {
        result = 0.0;
    } else if (!parts.truncated && parts.mantissa <= kExactMantissa && parts.power >= -kExactPower &&
               parts.power <= kExactPower) {
        const auto m = static_cast<double>(static_cast<std::int64_t>(parts.mantissa));
        result = parts.power < 0 ? m / kExactPowers[-parts.power] : m * kExactPowers[parts.power];
    } else {
        const fast_float::from_chars_result read = fast_float::from_chars(digits, end, result);
        if (read.ec != std::errc() || read.ptr != end || !(result >= DBL_MIN) || std::isinf(result))
            return false;
    }
    value = parts.negative ? -result : result;
    return true;
}

// The float strtof gives for the token whose double is value, or false
// where the double cannot tell: where it lies on a point halfway between two
// floats, or below the normal float range, where those points lie on other
// bits.
inline bool floatOfDouble(double value, float& single)
{
    using namespace decimalConversion;
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    bits &= ~(std::uint64_t{1} << 63);
    if (bits < kSmallestNormalBits || (bits & kDroppedMask) == kHalfway)
        return false;
    single = static_cast<float>(value);
    return true;
}
