// 5^q to 128 bits for every decimal power q a double's conversion needs,
// worked out by the compiler from integers alone, and the binary exponent
// of 10^q.
//
// Entry q is the 128-bit integer T with 2^127 <= T < 2^128 and
// T = floor(5^q * 2^s) for the one whole s that puts it there, except
// for -27 <= q <= -1, where it is that plus one: just above 5^q * 2^s,
// which is never a whole number for q < 0.  For 0 <= q <= 55 the entry is
// 5^q exactly, shifted, since 5^55 < 2^128.
// How it is worked out, step by step:
//   1. For q >= 0, 5^q is built as a multiword integer by multiplying by
//      5 (kWords words hold 5^308, below 2^716), and its leading 128 bits
//      are taken: a truncation.
//   2. For q < 0, 2^K / 5^-q, with K = 129 + the bit length of 5^-q so that
//      the quotient is at least 2^129, is built by dividing 2^K by 5^27
//      (below 2^63) and then by what is left: nested floor divisions by
//      whole numbers are one floor division by their product, so this is
//      floor(2^K / 5^-q) exactly.  Its leading 128 bits are again a floor.
// A test holds every entry against exact rational arithmetic.
#pragma once

#include <array>
#include <cstdint>

namespace calcgap::report {

namespace powersOfFive {

constexpr int kSmallestPower = -342;
constexpr int kLargestPower = 308;
constexpr int kCount = kLargestPower - kSmallestPower + 1;
// The powers whose entries are rounded up.
constexpr int kRoundedUpFrom = -27;
constexpr int kWords = 30;

using Words = std::array<std::uint64_t, kWords>;

constexpr int bitLength(const Words& x)
{
    for (int i = kWords - 1; i >= 0; --i)
        if (x[static_cast<std::size_t>(i)] != 0)
            return 64 * i + 64 - __builtin_clzll(x[static_cast<std::size_t>(i)]);
    return 0;
}

// x times factor; used is the count of x's words in use, which the
// product may grow by one.  Only those are looked at, to keep the work
// within the compilers' limits on constant evaluation.
constexpr void multiply(Words& x, int& used, std::uint64_t factor)
{
    unsigned __int128 carry = 0;
    for (int i = 0; i < used; ++i) {
        const unsigned __int128 product = static_cast<unsigned __int128>(x[static_cast<std::size_t>(i)]) * factor + carry;
        x[static_cast<std::size_t>(i)] = static_cast<std::uint64_t>(product);
        carry = product >> 64;
    }
    if (carry != 0)
        x[static_cast<std::size_t>(used++)] = static_cast<std::uint64_t>(carry);
}

// floor(x / divisor), with used as in multiply.
constexpr void divide(Words& x, int& used, std::uint64_t divisor)
{
    unsigned __int128 remainder = 0;
    for (int i = used - 1; i >= 0; --i) {
        const unsigned __int128 part = remainder << 64 | x[static_cast<std::size_t>(i)];
        x[static_cast<std::size_t>(i)] = static_cast<std::uint64_t>(part / divisor);
        remainder = part % divisor;
    }
    while (used > 0 && x[static_cast<std::size_t>(used - 1)] == 0)
        --used;
}

// Bits [from, from + 64) of x.
constexpr std::uint64_t bitsAt(const Words& x, int from)
{
    const auto word = static_cast<std::size_t>(from / 64);
    const int shift = from % 64;
    const std::uint64_t low = word < kWords ? x[word] >> shift : 0;
    const std::uint64_t high = shift > 0 && word + 1 < kWords ? x[word + 1] << (64 - shift) : 0;
    return low | high;
}

// The leading 128 bits of x, its bit length at least 128.
constexpr void leading(const Words& x, std::uint64_t& high, std::uint64_t& low)
{
    const int length = bitLength(x);
    high = bitsAt(x, length - 64);
    low = bitsAt(x, length - 128);
}

// Pairs of words, high then low, from kSmallestPower up.
constexpr std::array<std::uint64_t, 2 * kCount> makeTable()
{
    std::array<std::uint64_t, 2 * kCount> table{};
    constexpr std::uint64_t kFive27 = 7450580596923828125u;
    Words power{};
    int powerUsed = 1;
    power[0] = 1;
    for (int q = -1; q >= kSmallestPower; --q) {
        multiply(power, powerUsed, 5);
        Words quotient{};
        const int shift = 129 + bitLength(power);
        int quotientUsed = shift / 64 + 1;
        quotient[static_cast<std::size_t>(shift / 64)] = std::uint64_t{1} << (shift % 64);
        int left = -q;
        for (; left >= 27; left -= 27)
            divide(quotient, quotientUsed, kFive27);
        std::uint64_t rest = 1;
        for (int k = 0; k < left; ++k)
            rest *= 5;
        divide(quotient, quotientUsed, rest);
        const auto at = static_cast<std::size_t>(2 * (q - kSmallestPower));
        leading(quotient, table[at], table[at + 1]);
        if (q >= kRoundedUpFrom && ++table[at + 1] == 0)
            ++table[at];
    }
    power = Words{};
    powerUsed = 1;
    power[0] = 1;
    for (int q = 0; q <= kLargestPower; ++q) {
        const auto at = static_cast<std::size_t>(2 * (q - kSmallestPower));
        // Below 128 bits, shifted up to them: multiplied by 2^128 first.
        Words shifted = power;
        if (bitLength(power) < 128) {
            shifted = Words{};
            for (std::size_t i = 0; i + 2 < kWords; ++i)
                shifted[i + 2] = power[i];
        }
        leading(shifted, table[at], table[at + 1]);
        multiply(power, powerUsed, 5);
    }
    return table;
}

inline constexpr std::array<std::uint64_t, 2 * kCount> kTable = makeTable();

// floor(log2(10^q)) + 63 for every q of the table: 217706 / 2^16 is log2 10
// to within 2^-17, which keeps the floor exact over |q| <= 342 (the test
// checks every q).
constexpr int binaryPower(int q)
{
    return ((217706 * q) >> 16) + 63;
}

}  // namespace powersOfFive

}  // namespace calcgap::report
