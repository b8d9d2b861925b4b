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
// 2. Otherwise through the 128-bit product with the power of ten
//    (nearestNormalDouble below, which keeps its steps): where digits
//    were dropped the value lies between mantissa * 10^P and
//    (mantissa + 1) * 10^P, so when both round to one double, so does it.
//    This is 1.5 times as fast on "%.17g" text as the library's from_chars,
//    which reads the digits again and branches where this does not.
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

#include "reading/decimalConversion.h"

#include "inputs/powersOfFive.h"
#include "reading/decimalParts.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace calcgap::report {

namespace doubleConversion {

// A double's stored mantissa bits, the exponent field's value less its
// bias at the smallest normal power, and the field of the infinities.
constexpr int kStoredBits = 52;
constexpr int kMinimumExponent = -1023;
constexpr int kInfinitePower = 0x7ff;
// The decimal powers whose products can fall exactly halfway.
constexpr int kTiesFrom = -4;
constexpr int kTiesTo = 23;

// The bits of the 128-bit product's high word below the 55 the result needs
// (52 stored, the implicit one, a rounding bit and the one lost when the
// product's top bit is clear).
constexpr int kUnneededBits = 64 - (kStoredBits + 3);
constexpr std::uint64_t kUnneededMask = (std::uint64_t{1} << kUnneededBits) - 1;

// The bits of the double nearest mantissa * 10^power, or false where the
// result is not a normal double or the product cannot decide it.
//
// The steps of the 128-bit product method, restricted to normal results,
// with one change in how the usual form of it runs.  Step by step:
//   1. The mantissa w is shifted left by its leading zeros lz, so that its
//      top bit is set.
//   2. The table of powersOfFive.h holds 5^power to 128 bits, its top bit
//      set, truncated (rounded up for -27 <= power < 0).  The product of w with the table's high word gives the value's
//      leading bits.  The low word of the table adds less than one unit of
//      that product's low word, so the high word is exact unless all its
//      kUnneededBits low bits are ones (a carry could still reach the bits
//      that matter).  Then the high word of w times the
//      table's low word is added to the product's low word, and any carry
//      to its high word.
//      Digits that round-trip a double (as "%.17g" and "%.18e" write them)
//      are within a small fraction of a unit in that double's last place,
//      so the product's bits below that place are nearly all ones or nearly
//      all zeros: a branch on them would go the costly way for
//      about four tokens in ten, unpredictably.  Here both products are
//      always taken, and the second is added through a mask: the same
//      sums, without the branch.
//   3. A product whose low word is all ones is refused outside [-27, 55]:
//      within it the entry is 5^power exactly (0 <= power <= 55) or 5^-power
//      is below 2^64 (power >= -27), so that the one product decides the
//      result; outside it, that low word leaves the result undecided.
//   4. The result's 54 leading bits (53 and the rounding bit) are the high
//      word shifted right by kUnneededBits, one more when its top bit is set,
//      and its binary exponent comes from binaryPower(power), the floor of
//      log2 10^power plus 63, and from lz.
//   5. Rounding is half up, but for an exact tie, which only powers from
//      kTiesFrom (-4) to kTiesTo (23) can give (5^-power divides no
//      mantissa of 64 bits times 2^k below -4 that lands on a tie, and above
//      23 5^power exceeds 2^54 and no 54-bit tie is a multiple of it): there, when the bits shifted out and the low word are zero,
//      the result's last bit is made even.
//   6. Rounding up that carries out of 53 bits moves into the exponent on
//      its own, since the mantissa, with its implicit one, is added to the
//      exponent field less one.  Zero, subnormal and infinite results are
//      refused (the general path converts and counts them).
inline bool nearestNormalDouble(std::uint64_t mantissa, int power, std::uint64_t& bits)
{
    using namespace powersOfFive;
    if (mantissa == 0 || power < kSmallestPower || power > kLargestPower)
        return false;
    const int lz = __builtin_clzll(mantissa);
    const std::uint64_t w = mantissa << lz;
    const auto index = static_cast<std::size_t>(2 * (power - kSmallestPower));
    const unsigned __int128 first = static_cast<unsigned __int128>(w) * kTable[index];
    const unsigned __int128 second = static_cast<unsigned __int128>(w) * kTable[index + 1];
    std::uint64_t high = static_cast<std::uint64_t>(first >> 64);
    const std::uint64_t firstLow = static_cast<std::uint64_t>(first);
    const std::uint64_t refine = 0 - static_cast<std::uint64_t>((high & kUnneededMask) == kUnneededMask);
    const std::uint64_t low = firstLow + (static_cast<std::uint64_t>(second >> 64) & refine);
    high += low < firstLow;
    if (low == ~std::uint64_t{0} && (power < -27 || power > 55))
        return false;
    const int upper = static_cast<int>(high >> 63);
    const int shift = upper + kUnneededBits;
    std::uint64_t leading = high >> shift;
    const int power2 =
        binaryPower(power) + upper - lz - kMinimumExponent;
    if (power2 <= 0)
        return false;
    if (low <= 1 && power >= kTiesFrom && power <= kTiesTo && (leading & 3) == 1 && (leading << shift) == high)
        leading &= ~std::uint64_t{1};
    bits = (static_cast<std::uint64_t>(power2 - 1) << kStoredBits) + ((leading + 1) >> 1);
    return bits < (static_cast<std::uint64_t>(kInfinitePower) << kStoredBits);
}

}  // namespace doubleConversion

// The double nearest the decimal, or false where the conversion cannot
// decide it, or the result is zero, subnormal or infinite from digits that
// are not all zeros.
inline bool doubleFromParts(const DecimalParts& parts, double& value)
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
        std::uint64_t bits;
        std::uint64_t above;
        if (!doubleConversion::nearestNormalDouble(parts.mantissa, parts.power, bits) ||
            (parts.truncated &&
             (!doubleConversion::nearestNormalDouble(parts.mantissa + 1, parts.power, above) || above != bits)))
            return false;
        std::memcpy(&result, &bits, sizeof result);
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

// A plain decimal token read in place by the shared tokenizers (the data
// padded as decimalParts.h asks), to the double strtod gives and the float
// strtof gives; where the token ends, or null where a reader's general path
// must decide it.
[[gnu::always_inline]] inline const unsigned char* readDecimalDual(const unsigned char* p, const unsigned char* end,
                                                              float& single, double& value)
{
    DecimalParts parts;
    const unsigned char* next = readWindowedDecimal(p, end, parts);
    if (next == nullptr) {
        parts = DecimalParts{};
        next = readPlainDecimal(p, end, parts);
    }
    if (next == nullptr || !doubleFromParts(parts, value))
        return nullptr;
    return floatOfDouble(value, single) || floatFromParts(parts, single) ? next : nullptr;
}

}  // namespace calcgap::report
