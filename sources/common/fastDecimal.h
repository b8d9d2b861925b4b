// Fast paths of the value reader for plain decimal tokens, read straight from
// memory.  Each returns where the token ends, having stored its value, or
// nullptr, having stored nothing, when it cannot be sure of the outcome.
//
// The data must be followed by a zero byte, which no token contains (the end
// is compared only where a token stops at a zero byte), and by room to read
// kFastReadWidth bytes from any place up to that byte; it must also be
// preceded by kFastReadWidth readable bytes.
//
// Exactness: a token's value is m * 10^p with m below 2^53 and |p| at most
// 22; m is exact in double, and so is 10^p for p >= 0.  The double product
// m * 10^p (10^p rounded to double for p < 0) lies within two units of its
// last bit of the exact value.  A double that close to the exact value rounds
// to the same float unless a point halfway between two floats lies between
// them, that is, unless the double is within two units of such a point; the
// tie test sends those to the general path.  In this range every result is a
// normal float, which drops exactly 29 of the double's bits, and the halfway
// points are the doubles whose dropped bits are 1 followed by 28 zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

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

// 10^p for p from -22 to 22, each the double nearest: exact from 10^0 up.
constexpr double kPowersOfTen[] = {
    1e-22, 1e-21, 1e-20, 1e-19, 1e-18, 1e-17, 1e-16, 1e-15, 1e-14, 1e-13, 1e-12, 1e-11,
    1e-10, 1e-9,  1e-8,  1e-7,  1e-6,  1e-5,  1e-4,  1e-3,  1e-2,  1e-1,  1e0,   1e1,
    1e2,   1e3,   1e4,   1e5,   1e6,   1e7,   1e8,   1e9,   1e10,  1e11,  1e12,  1e13,
    1e14,  1e15,  1e16,  1e17,  1e18,  1e19,  1e20,  1e21,  1e22};
constexpr int kMaxPower = 22;
constexpr std::uint64_t kTieMargin = 4;
constexpr int kMaxDigits = 19;
constexpr std::uint64_t kMaxExactInDouble = std::uint64_t{1} << 53;

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

// mantissa * 10^power rounded to float, or false near a tie; mantissa must
// be at most 2^53 and power within 22 of 0.
inline bool scaledValue(std::uint64_t mantissa, int power, bool negative, float& value)
{
    // Below 2^53 the mantissa converts as a signed number, in one instruction.
    const double m = static_cast<double>(static_cast<std::int64_t>(mantissa));
    const double scaled = m * kPowersOfTen[power + kMaxPower];
    // The tie test, with room to spare: see the top of this file.
    std::uint64_t bits;
    std::memcpy(&bits, &scaled, sizeof bits);
    if (((bits - (0x10000000u - kTieMargin)) & 0x1fffffffu) <= 2 * kTieMargin)
        return false;
    const float result = static_cast<float>(scaled);
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
// beyond 19 digits the mantissa wraps, and the caller rejects such runs.
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
// any, and the value; returns where the token ends, or nullptr.  Without an
// exponent the power, minus the count of fraction digits, is in range.
inline const unsigned char* finishDecimal(const unsigned char* q, const unsigned char* end,
                                          std::uint64_t mantissa, int power, bool negative,
                                          float& value)
{
    if ((*q | 0x20) == 'e' &&
        ((q = readExponent(q, power)) == nullptr || power < -kMaxPower || power > kMaxPower))
        return nullptr;
    if ((*q == 0 && q >= end) || !scaledValue(mantissa, power, negative, value))
        return nullptr;
    return q;
}

}  // namespace fastDecimal

// [white space] [sign] digits [. digits] [e [sign] digits]: at most 19
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
    if (digits == 0 || digits > kMaxDigits || mantissa > kMaxExactInDouble)
        return nullptr;
    return finishDecimal(q, end, mantissa, static_cast<int>(-fractionDigits), negative, value);
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

}  // namespace fastDecimal

// The commonest tokens, such as "0.0012345678" or "-1.25e-3", whose digits
// and point take at most fifteen bytes.  One look at sixteen bytes finds
// where the digits and the point are, and a second look at the sixteen bytes
// that end with the last digit converts them all at once, with no branch on
// each digit.  Besides the padding after the data, this needs sixteen
// readable bytes before it.
[[gnu::always_inline]] inline const unsigned char* readShortDecimal(const unsigned char* p,
                                                                  const unsigned char* end,
                                                                  float& value)
{
    using namespace fastDecimal;
    bool negative;
    p = skipToDigits(p, negative);
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    unsigned digitMask;
    digitValues(bytes, digitMask);
    const unsigned pointMask =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('.'))));
    const unsigned length = static_cast<unsigned>(__builtin_ctz(~(digitMask | pointMask)));
    const unsigned points = pointMask & ((1u << length) - 1);
    // The token may go on past the sixteen bytes; a second point ends it
    // early; a point alone is no number.
    if (length >= 16 || (points & (points - 1)) != 0 || points == (1u << length) - 1)
        return nullptr;
    const unsigned char* q = p + length;
    // "0x" starts a hexadecimal number; any other x is rare enough to leave.
    if ((*q | 0x20) == 'x')
        return nullptr;

    // The sixteen bytes ending with the last digit: the token's own bytes are
    // the top length of them.  The point's byte is moved out from between the
    // digits, and the bytes below the token read as leading zeros.
    unsigned ignored;
    __m128i digits = _mm_and_si128(
        digitValues(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q - 16)), ignored),
        topBytes(length));
    unsigned fractionDigits = 0;
    if (points != 0) {
        fractionDigits = length - 1 - static_cast<unsigned>(__builtin_ctz(points));
        const __m128i pointOn = topBytes(fractionDigits + 1);
        digits = _mm_or_si128(_mm_and_si128(pointOn, digits),
                              _mm_slli_si128(_mm_andnot_si128(pointOn, digits), 1));
    }
    // At most 15 digits: the mantissa is below 2^53.
    return finishDecimal(q, end, sixteenDigitValue(digits), -static_cast<int>(fractionDigits),
                         negative, value);
}
#else
inline const unsigned char* readShortDecimal(const unsigned char*, const unsigned char*, float&)
{
    return nullptr;
}
#endif
