// A plain decimal's parts to float, exactly as strtof rounds it, or a refusal
// where one double product cannot prove the result.  The tokenizers of
// decimalParts.h produce the parts; a refused token goes to the general
// path, which hands it to strtof.
//
// Why the result is exact, step by step.  The token's value is
//     V = M * 10^P * (1 + t),
// where M is its first kMaxDigits (19) significant digits, P counts the
// places of the digits after them, and t is what those dropped digits add:
// 0 <= t < 10^-18 (kTruncation), since they are worth less than one unit of
// the 19th digit and M >= 10^18 whenever any was dropped.
// The double s = fl(fl(M) * T[P]) is rounded three times, each time to
// nearest, with a relative error of at most u = 2^-53 (kUnitRoundoff):
//   1. fl(M), exact below 2^53 and within u of M above;
//   2. T[P], the double nearest 10^P (exact for 0 <= P <= 22);
//   3. the product.
// So s = V * (1 + e) with |e| <= (1 + u)^3 * (1 + kTruncation) - 1
// (kRelativeError, about 3.34e-16).  A double s holds 53 bits, so its unit
// in the last place is more than s * 2^-53, and |s - V| is below
//     kRelativeError / (1 - kRelativeError) * 2^53 = 3.009 units
// (kErrorUnits) of s's last place.
// Rounding s to float gives the float nearest V unless a rounding boundary
// of the floats (a point halfway between two neighbouring floats) lies
// between them.  For a normal float result a float keeps 24 of the double's
// 53 significant bits; the 29 it drops (kDroppedBits) are 1 followed by 28
// zeros (kHalfway) exactly at a halfway point, so as integers the bits of
// the halfway doubles are kHalfway modulo 2^29, and a step of the integer is
// a unit of the double's last place.  A boundary within kErrorUnits of s is
// therefore within kTieMargin (4 > 3.009) integer steps of s's bits, unless
// it lies across a power of two from s; but every halfway point is 2^27
// steps or more from a power of two, since powers of two are floats.  So
// when s's bits are more than kTieMargin steps from every halfway pattern
// (nearHalfway), fl(s) is the float nearest V.  The overflow threshold, the
// point halfway between the largest float and the next power of two, is
// one of these halfway points, so a result at or beyond it is infinity for
// both.  Results below the normal float range (kSmallestNormalBits) round
// on another bit and are refused.
// Beyond the table: below kMinPower, V < 10^19 * 10^-65 = 10^-46, less than
// half the smallest float (2^-150, about 7.0e-46), so it is 0; above
// kMaxPower, V >= 10^39, more than the largest float by more than half its
// last place, so it is infinity.  M = 0 is zero, of the token's sign.
#pragma once

#include "reading/decimalParts.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>

namespace calcgap {

namespace decimalConversion {

constexpr int kMinPower = -64;
constexpr int kMaxPower = 38;

// 10^p for p from kMinPower to kMaxPower, each the double nearest, as the
// compiler rounds a decimal literal; a test holds every entry against
// strtod.
constexpr double kPowersOfTen[] = {
    1e-64, 1e-63, 1e-62, 1e-61, 1e-60, 1e-59, 1e-58, 1e-57, 1e-56, 1e-55, 1e-54, 1e-53, 1e-52,
    1e-51, 1e-50, 1e-49, 1e-48, 1e-47, 1e-46, 1e-45, 1e-44, 1e-43, 1e-42, 1e-41, 1e-40, 1e-39,
    1e-38, 1e-37, 1e-36, 1e-35, 1e-34, 1e-33, 1e-32, 1e-31, 1e-30, 1e-29, 1e-28, 1e-27, 1e-26,
    1e-25, 1e-24, 1e-23, 1e-22, 1e-21, 1e-20, 1e-19, 1e-18, 1e-17, 1e-16, 1e-15, 1e-14, 1e-13,
    1e-12, 1e-11, 1e-10, 1e-9,  1e-8,  1e-7,  1e-6,  1e-5,  1e-4,  1e-3,  1e-2,  1e-1,  1e0,
    1e1,   1e2,   1e3,   1e4,   1e5,   1e6,   1e7,   1e8,   1e9,   1e10,  1e11,  1e12,  1e13,
    1e14,  1e15,  1e16,  1e17,  1e18,  1e19,  1e20,  1e21,  1e22,  1e23,  1e24,  1e25,  1e26,
    1e27,  1e28,  1e29,  1e30,  1e31,  1e32,  1e33,  1e34,  1e35,  1e36,  1e37,  1e38};
static_assert(std::size(kPowersOfTen) == kMaxPower - kMinPower + 1);

constexpr double kUnitRoundoff = 0x1p-53;
constexpr double kTruncation = 1e-18;
// (1 + u)^3 - 1 and (1 + u)^3 (1 + t) - 1, expanded, since 1 + u itself
// rounds to 1 in double.
constexpr double kRounding =
    3 * kUnitRoundoff + 3 * kUnitRoundoff * kUnitRoundoff + kUnitRoundoff * kUnitRoundoff * kUnitRoundoff;
constexpr double kRelativeError = kRounding + kTruncation * (1 + kRounding);
constexpr double kErrorUnits = kRelativeError / (1 - kRelativeError) * 0x1p53;
constexpr std::uint64_t kTieMargin = 4;
static_assert(kErrorUnits < kTieMargin, "the tie margin must cover the product's error");

constexpr int kDroppedBits = 52 - 23;
constexpr std::uint64_t kDroppedMask = (std::uint64_t{1} << kDroppedBits) - 1;
constexpr std::uint64_t kHalfway = std::uint64_t{1} << (kDroppedBits - 1);
// The bits of the smallest normal float as a double, 2^-126.
constexpr std::uint64_t kSmallestNormalBits = std::uint64_t{1023 - 126} << 52;

// Whether the double with these bits lies within kTieMargin steps of a
// point halfway between two floats.
inline bool nearHalfway(std::uint64_t bits)
{
    return ((bits - (kHalfway - kTieMargin)) & kDroppedMask) <= 2 * kTieMargin;
}

}  // namespace decimalConversion

// The float nearest the decimal, or false when the double product cannot
// prove it (see the top of this file).
inline bool floatFromParts(const DecimalParts& parts, float& value)
{
    using namespace decimalConversion;
    float result;
    // One unsigned test for a power outside the table; a zero mantissa
    // gives a zero product, which fails the test for a normal result and is
    // told apart there, off the common path.
    if (__builtin_expect(static_cast<unsigned>(parts.power - kMinPower) > static_cast<unsigned>(kMaxPower - kMinPower),
                         0)) {
        result = parts.mantissa == 0 || parts.power < kMinPower ? 0.0f : HUGE_VALF;
    } else {
        // Below 2^63 the mantissa converts as a signed number, in one
        // instruction.
        const auto signedMantissa = static_cast<std::int64_t>(parts.mantissa);
        const double m = signedMantissa >= 0 ? static_cast<double>(signedMantissa)
                                             : static_cast<double>(parts.mantissa);
        const double scaled = m * kPowersOfTen[parts.power - kMinPower];
        std::uint64_t bits;
        std::memcpy(&bits, &scaled, sizeof bits);
        if (__builtin_expect(bits < kSmallestNormalBits || nearHalfway(bits), 0)) {
            if (parts.mantissa != 0)
                return false;
            result = 0.0f;
        } else {
            result = static_cast<float>(scaled);
        }
    }
    value = parts.negative ? -result : result;
    return true;
}

}  // namespace calcgap
