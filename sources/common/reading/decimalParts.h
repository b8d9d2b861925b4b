// The fast paths' tokenizers: a plain decimal token read straight from
// memory into its parts, the first 19 significant digits as an integer and
// the power of ten that scales them, with no conversion yet (that is
// decimalConversion.h's).  Each returns where the token ends, having filled
// the parts, or nullptr when the token is not one it takes.
//
// The data must be followed by a zero byte, which no token contains (the end
// is compared only where a token stops at a zero byte), and by room to read
// kFastReadWidth bytes from any place up to that byte; it must also be
// preceded by kFastReadWidth readable bytes.
//
// Which tokens go which way: [sign] digits [. digits] [e [sign] 1 to 4
// digits], with the whole token in the buffer, is taken here; everything
// else (hexadecimal, infinities and NaNs, longer exponents, malformed text,
// a token cut by the end of the buffer) goes to the general path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__SSSE3__)
#include <tmmintrin.h>
#endif

namespace calcgap {

constexpr std::size_t kFastReadWidth = 16;

// A plain decimal as its parts: its value is mantissa * 10^power, but for
// what the significant digits after the first kMaxDigits add, less than one
// unit of the last kept.
struct DecimalParts {
    std::uint64_t mantissa = 0;
    int power = 0;
    bool negative = false;
    // Significant digits beyond the first kMaxDigits were dropped.
    bool truncated = false;
};

inline bool isSpace(int c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Skips the white space and the sign before a token's digits.  Between
// the tokens of nearly every file is one line end, which one test passes
// over; a byte above ' ' is never white space, which spares the full test
// for the first byte of most tokens.
inline const unsigned char* skipToDigits(const unsigned char* p, bool& negative)
{
    if (*p == '\n')
        ++p;
    while (*p <= ' ' && isSpace(*p))
        ++p;
    negative = *p == '-';
    return *p == '-' || *p == '+' ? p + 1 : p;
}

inline bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}

namespace decimalTokens {

constexpr int kMaxDigits = 19;
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

// What every tokenizer does once the digits are read: the exponent part, if
// any; returns where the token ends, or nullptr for a token cut by the end
// of the data, or one that an x follows (as "0x" starts a hexadecimal
// number; any other x is rare enough to leave to the general path).
//
// The bytes that end nearly every token (line ends, blanks, commas,
// quotes) lie from 1 to 'D' and need nothing more, so one test passes them;
// the zero byte that may mark the end of the data and the letters e and x
// all lie outside.
inline const unsigned char* finishParts(const unsigned char* q, const unsigned char* end, DecimalParts& parts)
{
    if (__builtin_expect(static_cast<unsigned char>(*q - 1) < 'D', 1))
        return q;
    if ((*q | 0x20) == 'x')
        return nullptr;
    if ((*q | 0x20) == 'e' && (q = readExponent(q, parts.power)) == nullptr)
        return nullptr;
    if (*q == 0 && q >= end)
        return nullptr;
    return q;
}

// The significant digits, counted here for every tokenizer: the mantissa
// summed over a run of digits (from p, the point anywhere among them) is
// exact while they number at most kMaxDigits, leading zeros adding nothing;
// beyond that it has wrapped, and the first kMaxDigits significant digits
// are taken again from the text, the places of the rest added to the
// power.  leadingZeros is the count of zeros before the first significant
// digit where the tokenizer knows it, or -1.
//
// Where the leading zeros are known, only the significant digits are
// tested: whether a token passes kMaxDigits with its leading zeros depends
// on its magnitude, which varies from token to token and would defeat the
// branch's prediction.
inline void keepSignificantDigits(DecimalParts& parts, const unsigned char* p, long digits, long leadingZeros)
{
    if (leadingZeros < 0) {
        if (digits <= kMaxDigits)
            return;
        leadingZeros = 0;
        for (const unsigned char* z = p; *z == '0' || *z == '.'; ++z)
            leadingZeros += *z == '0';
    }
    if (digits - leadingZeros <= kMaxDigits)
        return;
    while (*p == '0' || *p == '.')
        ++p;
    parts.mantissa = 0;
    for (int kept = 0; kept < kMaxDigits; ++p) {
        if (*p == '.')
            continue;
        parts.mantissa = parts.mantissa * 10 + static_cast<unsigned>(*p - '0');
        ++kept;
    }
    parts.power += static_cast<int>(digits - leadingZeros - kMaxDigits);
    parts.truncated = true;
}

}  // namespace decimalTokens

// [white space] [sign] digits [. digits] [e [sign] digits]: any number of
// digits, at most 4 exponent digits, seen to end before the data does.
[[gnu::always_inline]] inline const unsigned char* readPlainDecimal(const unsigned char* p,
                                                                  const unsigned char* end,
                                                                  DecimalParts& parts)
{
    using namespace decimalTokens;
    p = skipToDigits(p, parts.negative);
    const unsigned char* q = addDigits(p, parts.mantissa);
    long digits = q - p;
    long fractionDigits = 0;
    if (*q == '.') {
        const unsigned char* const fraction = ++q;
        q = addDigits(fraction, parts.mantissa);
        fractionDigits = q - fraction;
        digits += fractionDigits;
    }
    if (digits == 0 || digits > kMaxTokenDigits)
        return nullptr;
    parts.power = static_cast<int>(-fractionDigits);
    keepSignificantDigits(parts, p, digits, -1);
    return finishParts(q, end, parts);
}

#if defined(__SSE2__)
namespace decimalTokens {

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
#if defined(__SSSE3__)
    // Each byte pair's first times 10 plus its second, in one step.
    const __m128i pairs = _mm_maddubs_epi16(digits, _mm_set1_epi16(1 << 8 | 10));
#else
    const __m128i pairs = _mm_add_epi16(
        _mm_mullo_epi16(_mm_and_si128(digits, _mm_set1_epi16(0xff)), _mm_set1_epi16(10)),
        _mm_srli_epi16(digits, 8));
#endif
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
inline std::uint64_t pointedDigitsValue(__m128i digits, unsigned length, unsigned points,
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
    return pointedDigitsValue(digits, length, points, fractionDigits);
}

// Where the sixteen bytes at p hold digits (digitMask) and points.
inline unsigned pointsIn(__m128i bytes)
{
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('.'))));
}

#if defined(__SSSE3__)
// For a token of length bytes (0 to 15) whose point, if any, is byte point
// (16 for none): where each of the sixteen bytes of its digits, ranged to
// the top with the point left out, comes from among the token's bytes, or
// 0x80 for a zero.
struct DigitPlaces {
    alignas(16) unsigned char from[16 * 17][16];
};

constexpr DigitPlaces makeDigitPlaces()
{
    DigitPlaces table{};
    for (unsigned length = 0; length < 16; ++length) {
        for (unsigned point = 0; point <= 16; ++point) {
            const unsigned digits = length - (point < length ? 1 : 0);
            for (unsigned byte = 0; byte < 16; ++byte) {
                const unsigned digit = byte + digits - 16;
                table.from[length * 17 + point][byte] =
                    byte + digits < 16 ? 0x80
                                       : static_cast<unsigned char>(point < length && digit >= point ? digit + 1 : digit);
            }
        }
    }
    return table;
}

inline constexpr DigitPlaces kDigitPlaces = makeDigitPlaces();
#endif

// The value of a token of length bytes (digits and at most one point, where
// points marks) at most fifteen, from the digit values of the sixteen bytes
// that start it, and the power of ten that scales it.  With byte shuffles,
// one step ranges the digits to the top and leaves the point out; without,
// the sixteen bytes that end with the token are read again.
inline std::uint64_t shortTokenValue([[maybe_unused]] const unsigned char* q, [[maybe_unused]] __m128i digits,
                                     unsigned length, unsigned points, int& power)
{
#if defined(__SSSE3__)
    const auto point = static_cast<unsigned>(__builtin_ctz(points | 0x10000u));
    const __m128i places = _mm_load_si128(reinterpret_cast<const __m128i*>(kDigitPlaces.from[length * 17 + point]));
    power = points != 0 ? static_cast<int>(point + 1) - static_cast<int>(length) : 0;
    return sixteenDigitValue(_mm_shuffle_epi8(digits, places));
#else
    unsigned fractionDigits;
    const std::uint64_t value = windowValue(q, length, points, fractionDigits);
    power = -static_cast<int>(fractionDigits);
    return value;
#endif
}

constexpr std::uint64_t kSmallPowersOfTen[] = {1,         10,         100,         1000,
                                               10000,     100000,     1000000,     10000000,
                                               100000000, 1000000000, 10000000000, 100000000000,
                                               1000000000000, 10000000000000, 100000000000000,
                                               1000000000000000};

// Tokens whose digits and point take sixteen to thirty-one bytes, such as
// "0.00027336254521511039" or "3.581367812345678900e-03": the first sixteen
// bytes, all the token's, and the rest, found and converted by a second look.
[[gnu::always_inline]] inline const unsigned char* readLongWindows(const unsigned char* p, const unsigned char* end,
                                            __m128i headBytes, __m128i headDigits, unsigned headPoints,
                                            DecimalParts& parts)
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
    const std::uint64_t head = pointedDigitsValue(headDigits, 16, headPoints, headFraction);
    const std::uint64_t tailValue = windowValue(p + 16 + tail, tail, tailPoints, tailFraction);
    const unsigned tailDigits = tail - (tailPoints != 0 ? 1 : 0);
    // Wraps beyond 19 significant digits; keepSignificantDigits then starts
    // again.
    parts.mantissa = head * kSmallPowersOfTen[tailDigits] + tailValue;
    parts.power = -static_cast<int>(headPoints != 0 ? headFraction + tailDigits : tailFraction);
    const unsigned digits = 16 - (headPoints != 0 ? 1 : 0) + tailDigits;
    // The zeros in the run of zeros and point that starts the head; when the
    // run fills the head they are left to be counted one by one.
    const unsigned zerosMask =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(headBytes, _mm_set1_epi8('0'))));
    const unsigned run = static_cast<unsigned>(__builtin_ctz(~(zerosMask | headPoints)));
    const unsigned zeros = run - ((headPoints & ((1u << run) - 1)) != 0 ? 1 : 0);
    keepSignificantDigits(parts, p, digits, run < 16 ? static_cast<long>(zeros) : -1);
    return finishParts(p + 16 + tail, end, parts);
}

}  // namespace decimalTokens

// The commonest tokens, such as "0.0012345678" or "-1.25e-3", whose digits
// and point take at most fifteen bytes, and through readLongWindows those
// up to thirty-one.  One look at sixteen bytes finds where the digits and
// the point are, and a second look at the sixteen bytes that end with the
// last digit converts them all at once, with no branch on each digit.
// Besides the padding after the data, this needs sixteen readable bytes
// before it.
[[gnu::always_inline]] inline const unsigned char* readWindowedDecimal(const unsigned char* p,
                                                                     const unsigned char* end,
                                                                     DecimalParts& parts)
{
    using namespace decimalTokens;
    p = skipToDigits(p, parts.negative);
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    unsigned digitMask;
    const __m128i digits = digitValues(bytes, digitMask);
    const unsigned pointMask = pointsIn(bytes);
    const unsigned length = static_cast<unsigned>(__builtin_ctz(~(digitMask | pointMask)));
    if (length >= 16)
        return readLongWindows(p, end, bytes, digits, pointMask, parts);
    const unsigned points = pointMask & ((1u << length) - 1);
    // A second point ends the token early; a point alone, or nothing, is no
    // number.
    if ((points & (points - 1)) != 0 || length <= (points != 0 ? 1u : 0u))
        return nullptr;
    const unsigned char* q = p + length;
    // At most 15 digits: the mantissa is exact.
    parts.mantissa = shortTokenValue(q, digits, length, points, parts.power);
    return finishParts(q, end, parts);
}
#else
inline const unsigned char* readWindowedDecimal(const unsigned char*, const unsigned char*, DecimalParts&)
{
    return nullptr;
}
#endif

}  // namespace calcgap
