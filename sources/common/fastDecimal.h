// Fast paths of the value reader for plain decimal tokens, read straight from
// memory.  Each returns where the token ends, having stored its value, or
// nullptr, having stored nothing, when it cannot be sure of the outcome.
//
// The data must be followed by a zero byte, which no token contains (the end
// is compared only where a token stops at a zero byte), and by room to read
// kFastReadWidth bytes from any place up to that byte; it must also be
// preceded by kFastReadWidth readable bytes.
//
// Which tokens go which way: [sign] digits [. digits] [e [sign] 1 to 4
// digits], with the whole token in the buffer, is read here; everything else
// (hexadecimal, infinities and NaNs, longer exponents, malformed text, a
// token cut by the end of the buffer) goes to the general path.
//
// Exactness: the token's value is V = w * 10^p, where w holds its first 19
// significant digits (below 10^19, so exact in 64 bits) and p counts the
// places of the digits after them; any digits dropped change V by less than
// 10^-18 of itself.  In double, w (rounded once) times 10^p (the double
// nearest, from a table) rounded once more lies within 3.01 units of its
// last bit of V.  A double that close rounds to the same float as V unless a
// point halfway between two floats lies within that distance; the tie test
// sends every double within 4 units of such a point to the general path.
// Where the result is a normal float, or overflows, a float keeps exactly 29
// fewer bits than the double, and the halfway points are the doubles whose
// dropped bits are 1 followed by 28 zeros; results below the normal range
// round on another bit and go to the general path.  Beyond the table, V is
// either below half the smallest float (zero) or above the largest (infinity)
// whatever w is.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

constexpr std::size_t kFastReadWidth = 16;

inline bool isSpace(int c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Skips the white space and the sign before a token's digits.  A byte above
// ' ' is never white space, which spares the full test for the first byte of
// most tokens.
inline const unsigned char* skipToDigits(const unsigned char* p, bool& negative)
{
    while (*p <= ' ' && isSpace(*p))
        ++p;
    negative = *p == '-';
    return *p == '-' || *p == '+' ? p + 1 : p;
}

inline bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}

namespace fastDecimal {

// 10^p for p from kMinPower to kMaxPower, each the double nearest.  Below
// kMinPower, 19 digits times 10^p stay under 10^-46, less than half the
// smallest float; above kMaxPower, one digit times 10^p is over 10^39, more
// than the largest float by more than half its last place.
constexpr int kMinPower = -64;
constexpr int kMaxPower = 38;
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
constexpr std::uint64_t kTieMargin = 4;
constexpr int kMaxDigits = 19;
// The bits of the smallest normal float as a double, 2^-126.
constexpr std::uint64_t kSmallestNormalBits = std::uint64_t{1023 - 126} << 52;
// Longer runs of digits go to the general path, so that counts of places
// stay small numbers.
constexpr long kMaxTokenDigits = 100000;

inline std::uint64_t load8(const unsigned char* p)
{
    std::uint64_t chunk;
    std::memcpy(&chunk, p, sizeof chunk);
    return chunk;
}

// True when the eight bytes of chunk are all ASCII digits.
inline bool eightDigits(std::uint64_t chunk)
{
    return (((chunk + 0x4646464646464646u) | (chunk - 0x3030303030303030u)) &
            0x8080808080808080u) == 0;
}

// The number written by eight digit values (0 to 9, one a byte, the first
// in the lowest byte): pairs, then fours, then the whole.
inline std::uint64_t eightDigitValue(std::uint64_t digits)
{
    digits = digits * 10 + (digits >> 8);
    return (((digits & 0x000000ff000000ffu) * (100 + (1000000ull << 32))) +
            (((digits >> 16) & 0x000000ff000000ffu) * (1 + (10000ull << 32)))) >> 32;
}

// mantissa * 10^power rounded to float, or false when the double product
// cannot decide it; mantissa must be below 10^19 or hold the first 19
// significant digits of the token.
inline bool scaledValue(std::uint64_t mantissa, int power, bool negative, float& value)
{
    float result;
    if (mantissa == 0 || power < kMinPower) {
        result = 0.0f;
    } else if (power > kMaxPower) {
        result = HUGE_VALF;
    } else {
        // Below 2^63 the mantissa converts as a signed number, in one
        // instruction.
        const auto signedMantissa = static_cast<std::int64_t>(mantissa);
        const double m = signedMantissa >= 0 ? static_cast<double>(signedMantissa)
                                             : static_cast<double>(mantissa);
        const double scaled = m * kPowersOfTen[power - kMinPower];
        // The range and tie tests: see the top of this file.
        std::uint64_t bits;
        std::memcpy(&bits, &scaled, sizeof bits);
        if (bits < kSmallestNormalBits ||
            ((bits - (0x10000000u - kTieMargin)) & 0x1fffffffu) <= 2 * kTieMargin)
            return false;
        result = static_cast<float>(scaled);
    }
    value = negative ? -result : result;
    return true;
}

// An exponent part "e[sign]digits" of at most four digits at q, added to
// power; returns where it ends, or nullptr when it is anything else.
inline const unsigned char* readExponent(const unsigned char* q, int& power)
{
    ++q;
    const bool negative = *q == '-';
    if (*q == '-' || *q == '+')
        ++q;
    // Two digits, as printf writes most exponents, in one step.
    if (isDigit(q[0]) && isDigit(q[1]) && !isDigit(q[2])) {
        const int exponent = (q[0] - '0') * 10 + (q[1] - '0');
        power += negative ? -exponent : exponent;
        return q + 2;
    }
    const unsigned char* const start = q;
    int exponent = 0;
    while (isDigit(*q) && q - start < 4)
        exponent = exponent * 10 + (*q++ - '0');
    if (q == start || isDigit(*q))
        return nullptr;
    power += negative ? -exponent : exponent;
    return q;
}

// Adds the run of digits at q to mantissa and returns where the run ends;
// beyond 19 significant digits the mantissa wraps, and keepSignificantDigits
// takes the digits again.
inline const unsigned char* addDigits(const unsigned char* q, std::uint64_t& mantissa)
{
    std::uint64_t chunk = load8(q);
    while (eightDigits(chunk)) {
        mantissa = mantissa * 100000000u + eightDigitValue(chunk - 0x3030303030303030u);
        q += 8;
        chunk = load8(q);
    }
    while (isDigit(*q))
        mantissa = mantissa * 10 + static_cast<unsigned>(*q++ - '0');
    return q;
}

// What both fast paths do once the mantissa is read: the exponent part, if
// any, and the value; returns where the token ends, or nullptr.
inline const unsigned char* finishDecimal(const unsigned char* q, const unsigned char* end,
                                          std::uint64_t mantissa, int power, bool negative,
                                          float& value)
{
    if ((*q | 0x20) == 'e' && (q = readExponent(q, power)) == nullptr)
        return nullptr;
    if ((*q == 0 && q >= end) || !scaledValue(mantissa, power, negative, value))
        return nullptr;
    return q;
}

// The zeros before the first significant digit, a point among them or not.
inline long countLeadingZeros(const unsigned char* p)
{
    long zeros = 0;
    for (; *p == '0' || *p == '.'; ++p)
        zeros += *p == '0';
    return zeros;
}

// For a token of more than 19 digits from p on, the point anywhere among
// them: the first 19 significant digits as the mantissa, and the places of
// the digits after them added to power.
inline void keepSignificantDigits(const unsigned char* p, long digits, std::uint64_t& mantissa,
                                  int& power)
{
    // The leading zeros, counted as countLeadingZeros counts them, and passed.
    long seen = 0;
    for (; *p == '0' || *p == '.'; ++p)
        seen += *p == '0';
    mantissa = 0;
    for (int kept = 0; kept < kMaxDigits; ++p) {
        if (*p == '.')
            continue;
        mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
        ++kept;
        ++seen;
    }
    power += static_cast<int>(digits - seen);
}


}  // namespace fastDecimal

// [white space] [sign] digits [. digits] [e [sign] digits]: any number of
// digits, at most 4 exponent digits, seen to end before the data does.
[[gnu::always_inline]] inline const unsigned char* readPlainDecimal(const unsigned char* p,
                                                                  const unsigned char* end,
                                                                  float& value)
{
    using namespace fastDecimal;
    bool negative;
    p = skipToDigits(p, negative);
    std::uint64_t mantissa = 0;
    const unsigned char* q = addDigits(p, mantissa);
    long digits = q - p;
    // "0x" starts a hexadecimal number.
    if ((*q | 0x20) == 'x' && digits == 1 && *p == '0')
        return nullptr;
    long fractionDigits = 0;
    if (*q == '.') {
        const unsigned char* const fraction = ++q;
        q = addDigits(fraction, mantissa);
        fractionDigits = q - fraction;
        digits += fractionDigits;
    }
    if (digits == 0 || digits > kMaxTokenDigits)
        return nullptr;
    int power = static_cast<int>(-fractionDigits);
    // Leading zeros add nothing to the mantissa, so it is exact while the
    // significant digits number at most 19; otherwise it has wrapped.
    if (digits > kMaxDigits && digits - countLeadingZeros(p) > kMaxDigits)
        keepSignificantDigits(p, digits, mantissa, power);
    return finishDecimal(q, end, mantissa, power, negative, value);
}

#if defined(__SSE2__)
namespace fastDecimal {

// Sixteen zero bytes, then sixteen 0xff: the sixteen bytes from offset k
// have their top k bytes set.
alignas(64) constexpr unsigned char kTopBytes[32] = {
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};

inline __m128i topBytes(unsigned count)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(kTopBytes + count));
}

// Each byte of the result is the digit value of the byte of bytes, or 0
// where that is not a digit.
inline __m128i digitValues(__m128i bytes, unsigned& digitMask)
{
    const __m128i values = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
    const __m128i digits = _mm_cmpeq_epi8(_mm_min_epu8(values, _mm_set1_epi8(9)), values);
    digitMask = static_cast<unsigned>(_mm_movemask_epi8(digits));
    return _mm_and_si128(values, digits);
}

// The number written by sixteen digit values, the first in the lowest byte:
// pairs, fours and eights in parallel, then the two halves.
inline std::uint64_t sixteenDigitValue(__m128i digits)
{
    const __m128i pairs = _mm_add_epi16(
        _mm_mullo_epi16(_mm_and_si128(digits, _mm_set1_epi16(0xff)), _mm_set1_epi16(10)),
        _mm_srli_epi16(digits, 8));
    const __m128i fours = _mm_madd_epi16(pairs, _mm_set1_epi32(100 | (1 << 16)));
    const __m128i eights =
        _mm_add_epi64(_mm_mul_epu32(fours, _mm_set1_epi32(10000)), _mm_srli_epi64(fours, 32));
    const auto high = static_cast<std::uint64_t>(_mm_cvtsi128_si64(eights));
    const auto low = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(eights, eights)));
    return high * 100000000u + low;
}

// The value of the length token bytes (digits and at most one point, whose
// place among them points marks) at the top of the sixteen digit values
// given, lower bytes zero, and how many of those digits follow the point.
// The point's byte is moved out from between the digits, and the bytes below
// the token read as leading zeros.
inline std::uint64_t tokenValue(__m128i digits, unsigned length, unsigned points,
                                unsigned& fractionDigits)
{
    fractionDigits = 0;
    if (points != 0) {
        fractionDigits = length - 1 - static_cast<unsigned>(__builtin_ctz(points));
        const __m128i pointOn = topBytes(fractionDigits + 1);
        digits = _mm_or_si128(_mm_and_si128(pointOn, digits),
                              _mm_slli_si128(_mm_andnot_si128(pointOn, digits), 1));
    }
    return sixteenDigitValue(digits);
}

// The same for the length token bytes that end just before q, converted
// from the sixteen bytes that end there.
inline std::uint64_t windowValue(const unsigned char* q, unsigned length, unsigned points,
                                 unsigned& fractionDigits)
{
    unsigned ignored;
    const __m128i digits = _mm_and_si128(
        digitValues(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q - 16)), ignored),
        topBytes(length));
    return tokenValue(digits, length, points, fractionDigits);
}

// Where the sixteen bytes at p hold digits (digitMask) and points.
inline unsigned pointsIn(__m128i bytes)
{
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('.'))));
}

constexpr std::uint64_t kSmallPowersOfTen[] = {1,         10,         100,         1000,
                                               10000,     100000,     1000000,     10000000,
                                               100000000, 1000000000, 10000000000, 100000000000,
                                               1000000000000, 10000000000000, 100000000000000,
                                               1000000000000000};

// Tokens whose digits and point take sixteen to thirty-one bytes, such as
// "0.00027336254521511039" or "3.581367812345678900e-03": the first sixteen
// bytes, all the token's, and the rest, found and converted by a second look.
inline const unsigned char* readLongWindows(const unsigned char* p, const unsigned char* end,
                                            bool negative, __m128i headBytes, __m128i headDigits,
                                            unsigned headPoints, float& value)
{
    if ((headPoints & (headPoints - 1)) != 0)
        return nullptr;
    const __m128i tailBytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    unsigned tailDigitMask;
    digitValues(tailBytes, tailDigitMask);
    // After the head's point, a point ends the token.
    const unsigned tailPointMask = headPoints == 0 ? pointsIn(tailBytes) : 0;
    const unsigned tail = static_cast<unsigned>(__builtin_ctz(~(tailDigitMask | tailPointMask)));
    const unsigned tailPoints = tailPointMask & ((1u << tail) - 1);
    if (tail >= 16 || (tailPoints & (tailPoints - 1)) != 0)
        return nullptr;
    unsigned headFraction;
    unsigned tailFraction;
    const std::uint64_t head = tokenValue(headDigits, 16, headPoints, headFraction);
    const std::uint64_t tailValue = windowValue(p + 16 + tail, tail, tailPoints, tailFraction);
    const unsigned tailDigits = tail - (tailPoints != 0 ? 1 : 0);
    // Wraps beyond 19 significant digits; keepSignificantDigits then starts
    // again.
    std::uint64_t mantissa = head * kSmallPowersOfTen[tailDigits] + tailValue;
    int power = -static_cast<int>(headPoints != 0 ? headFraction + tailDigits : tailFraction);
    const unsigned digits = 16 - (headPoints != 0 ? 1 : 0) + tailDigits;
    // The zeros in the run of zeros and point that starts the head; when the
    // run fills the head they are counted again one by one.
    const unsigned zerosMask =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(headBytes, _mm_set1_epi8('0'))));
    const unsigned run = static_cast<unsigned>(__builtin_ctz(~(zerosMask | headPoints)));
    const unsigned zeros = run - ((headPoints & ((1u << run) - 1)) != 0 ? 1 : 0);
    if (digits - zeros > kMaxDigits && (run < 16 || digits - countLeadingZeros(p) > kMaxDigits))
        keepSignificantDigits(p, digits, mantissa, power);
    return finishDecimal(p + 16 + tail, end, mantissa, power, negative, value);
}

}  // namespace fastDecimal

// The commonest tokens, such as "0.0012345678" or "-1.25e-3", whose digits
// and point take at most fifteen bytes, and through readLongWindows those
// up to thirty-one.  One look at sixteen bytes finds where the digits and
// the point are, and a second look at the sixteen bytes that end with the
// last digit converts them all at once, with no branch on each digit.
// Besides the padding after the data, this needs sixteen readable bytes
// before it.
[[gnu::always_inline]] inline const unsigned char* readWindowedDecimal(const unsigned char* p,
                                                                     const unsigned char* end,
                                                                     float& value)
{
    using namespace fastDecimal;
    bool negative;
    p = skipToDigits(p, negative);
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    unsigned digitMask;
    const __m128i digits = digitValues(bytes, digitMask);
    const unsigned pointMask = pointsIn(bytes);
    const unsigned length = static_cast<unsigned>(__builtin_ctz(~(digitMask | pointMask)));
    if (length >= 16)
        return readLongWindows(p, end, negative, bytes, digits, pointMask, value);
    const unsigned points = pointMask & ((1u << length) - 1);
    // A second point ends the token early; a point alone is no number.
    if ((points & (points - 1)) != 0 || points == (1u << length) - 1)
        return nullptr;
    const unsigned char* q = p + length;
    // "0x" starts a hexadecimal number; any other x is rare enough to leave.
    if ((*q | 0x20) == 'x')
        return nullptr;
    unsigned fractionDigits;
    // At most 15 digits: the mantissa is exact.
    const std::uint64_t mantissa = windowValue(q, length, points, fractionDigits);
    return finishDecimal(q, end, mantissa, -static_cast<int>(fractionDigits), negative, value);
}
#else
inline const unsigned char* readWindowedDecimal(const unsigned char*, const unsigned char*, float&)
{
    return nullptr;
}
#endif
