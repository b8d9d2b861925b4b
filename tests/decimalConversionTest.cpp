// The fast conversion's pieces against the C library: its table of powers
// of ten, the edges of its tie window, and its results, to float and to
// double, wherever it takes a decimal.
#include "reading/decimalConversion.h"
#include "inputs/doubleConversion.h"
#include "inputs/powersOfFive.h"
#include "testSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

using namespace calcgap;
using namespace calcgap::report;

namespace {

using namespace decimalConversion;

std::uint64_t doubleBits(double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

TEST(DecimalConversion, EveryPowerOfTenIsTheDoubleStrtodReads)
{
    for (int p = kMinPower; p <= kMaxPower; ++p)
        EXPECT_EQ(doubleBits(kPowersOfTen[p - kMinPower]),
                  doubleBits(std::strtod(("1e" + std::to_string(p)).c_str(), nullptr)))
            << "10^" << p;
}

// The window holds every double within kTieMargin steps of a point halfway
// between two floats, and nothing further.
TEST(DecimalConversion, TheTieWindowEndsAtItsMargin)
{
    std::mt19937 random(3);
    for (int i = 0; i < 10000; ++i) {
        const float low = std::ldexp(1.0f + static_cast<float>(random() % 8388608) * 0x1p-23f,
                                     static_cast<int>(random() % 250) - 125);
        const double halfway = (static_cast<double>(low) + std::nextafter(low, HUGE_VALF)) / 2;
        const std::uint64_t bits = doubleBits(halfway);
        ASSERT_EQ(bits & kDroppedMask, kHalfway);
        for (std::uint64_t step = 0; step <= kTieMargin; ++step) {
            ASSERT_TRUE(nearHalfway(bits + step)) << step;
            ASSERT_TRUE(nearHalfway(bits - step)) << step;
        }
        ASSERT_FALSE(nearHalfway(bits + kTieMargin + 1));
        ASSERT_FALSE(nearHalfway(bits - kTieMargin - 1));
        // Floats themselves, and the doubles halfway between them and a
        // halfway point, are far from every window.
        ASSERT_FALSE(nearHalfway(doubleBits(low)));
        ASSERT_FALSE(nearHalfway(bits + (kHalfway >> 1)));
    }
}

// The parts as text strtod reads: the mantissa's digits, a digit after them
// for a token whose further digits were dropped, and the power.
std::string partsText(const DecimalParts& parts)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s%llu%se%d", parts.negative ? "-" : "",
                  static_cast<unsigned long long>(parts.mantissa), parts.truncated ? "3" : "",
                  parts.power - (parts.truncated ? 1 : 0));
    return text;
}

// A decimal of 1 to 19 random digits, of either sign, its power from lowest
// to lowest + powers - 1.
DecimalParts randomParts(std::mt19937_64& random, int powers, int lowest)
{
    DecimalParts parts;
    const int digits = static_cast<int>(random() % 19) + 1;
    parts.mantissa = random() % static_cast<std::uint64_t>(std::pow(10.0, digits));
    parts.power = static_cast<int>(random() % static_cast<std::uint64_t>(powers)) + lowest;
    parts.negative = random() % 2 == 0;
    return parts;
}

// Wherever the conversion takes a decimal it gives strtof's float; it takes
// nearly all of them.
TEST(DecimalConversion, TakenDecimalsAreStrtofsFloats)
{
    std::mt19937_64 random(11);
    long taken = 0;
    const long total = 400000;
    for (long i = 0; i < total; ++i) {
        const DecimalParts parts = randomParts(random, 110, -70);
        float value;
        if (!floatFromParts(parts, value))
            continue;
        ++taken;
        const std::string text = partsText(parts);
        const float expected = std::strtof(text.c_str(), nullptr);
        ASSERT_EQ(std::memcmp(&value, &expected, sizeof value), 0) << text;
    }
    EXPECT_GT(taken, total * 8 / 10);
}

// Expects doubleFromParts to give strtod's double where it takes the parts;
// returns whether it took them.
bool takenAsStrtod(const DecimalParts& parts)
{
    double value;
    if (!doubleFromParts(parts, value))
        return false;
    const std::string text = partsText(parts);
    const double expected = std::strtod(text.c_str(), nullptr);
    EXPECT_EQ(doubleBits(value), doubleBits(expected)) << text;
    return true;
}

// Random mantissas and powers over the whole range, truncated or not; the
// digits "%.17g" and "%.18e" write for random doubles, whose products with
// the power of ten sit next to the points where the conversion must look
// twice; and exact ties, which round to even.
TEST(DecimalConversion, TakenDecimalsAreStrtodsDoubles)
{
    std::mt19937_64 random(17);
    long taken = 0;
    const long total = 200000;
    for (long i = 0; i < total; ++i) {
        DecimalParts parts = randomParts(random, 700, -370);
        parts.truncated = parts.mantissa >= 1000000000000000000u && random() % 4 == 0;
        taken += takenAsStrtod(parts);
    }
    EXPECT_GT(taken, total * 8 / 10);

    for (const int places : {16, 18}) {
        long roundTrips = 0;
        for (long i = 0; i < total; ++i) {
            double x;
            const std::uint64_t bits = (random() % (std::uint64_t{2045} << 52)) + (std::uint64_t{1} << 52);
            std::memcpy(&x, &bits, sizeof x);
            char text[48];
            std::snprintf(text, sizeof text, "%.*e", places, x);
            const unsigned char* const bytes = reinterpret_cast<const unsigned char*>(text);
            DecimalParts parts;
            ASSERT_NE(readPlainDecimal(bytes, bytes + std::strlen(text) + 1, parts), nullptr) << text;
            roundTrips += takenAsStrtod(parts);
        }
        EXPECT_GT(roundTrips, total - total / 1000) << places + 1 << " digits";
    }

    // Halfway between two doubles: the odd 54-bit integer s / 2^k, whose
    // decimal is s * 5^k * 10^-k, and s * 2^k where 5^k divides s.
    for (long i = 0; i < total / 10; ++i) {
        const std::uint64_t s = ((std::uint64_t{1} << 53) + random() % (std::uint64_t{1} << 53)) | 1;
        const int k = static_cast<int>(random() % 5);
        DecimalParts below;
        below.mantissa = s;
        for (int j = 0; j < k; ++j)
            below.mantissa *= 5;
        below.power = -k;
        ASSERT_TRUE(takenAsStrtod(below)) << partsText(below);
        const int q = static_cast<int>(random() % 23) + 1;
        std::uint64_t fives = 1;
        for (int j = 0; j < q; ++j)
            fives *= 5;
        DecimalParts above;
        above.mantissa = (s / fives) | 1;
        above.power = q;
        if (above.mantissa * fives >= (std::uint64_t{1} << 53)) {
            ASSERT_TRUE(takenAsStrtod(above)) << partsText(above);
        }
    }
}

// Every entry of the table of powers of five, and every binary exponent of
// a power of ten, against exact integer arithmetic in Python: the entry is
// the leading 128 bits of 5^q (q >= 0) or of 2^K / 5^-q, truncated, but for
// -27 <= q < 0, rounded up.
TEST(DecimalConversion, PowersOfFiveAreExact)
{
    ScratchDir dir;
    std::string table;
    for (int q = powersOfFive::kSmallestPower; q <= powersOfFive::kLargestPower; ++q) {
        const auto at = static_cast<std::size_t>(2 * (q - powersOfFive::kSmallestPower));
        char line[96];
        std::snprintf(line, sizeof line, "%d %016llx%016llx %d\n", q,
                      static_cast<unsigned long long>(powersOfFive::kTable[at]),
                      static_cast<unsigned long long>(powersOfFive::kTable[at + 1]), powersOfFive::binaryPower(q));
        table += line;
    }
    const std::string file = dir.file("powers.txt", table);
    const RunResult checked = runScript(R"(exec /usr/bin/python3 -c '
import sys
bad = 0
for line in open(sys.argv[1]):
    q, entry, power = line.split()
    q, entry, power = int(q), int(entry, 16), int(power)
    if q >= 0:
        x = 5 ** q
        exact = x >> (x.bit_length() - 128) if x.bit_length() >= 128 else x << (128 - x.bit_length())
    else:
        d = 5 ** -q
        k = 128 + d.bit_length()
        exact = (1 << k) // d
        while exact >= 1 << 128:
            k -= 1
            exact = (1 << k) // d
        while exact < 1 << 127:
            k += 1
            exact = (1 << k) // d
        exact += 1 if q >= -27 else 0
    log2 = (10 ** q).bit_length() - 1 if q >= 0 else -((10 ** -q - 1).bit_length())
    if entry != exact or power != log2 + 63:
        bad += 1
        print(q, hex(entry), hex(exact), power, log2 + 63)
print(bad, "wrong")
' "$2")",
                                        {file});
    EXPECT_EQ(checked.status, 0) << checked.err;
    EXPECT_EQ(checked.out, "0 wrong\n");
}

}  // namespace
