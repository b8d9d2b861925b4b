// The fast conversion's pieces against the C library: its table of powers
// of ten, the edges of its tie window, and its results wherever it takes a
// decimal.
#include "decimalConversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

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

// Wherever the conversion takes a decimal it gives strtof's float; it takes
// nearly all of them.
TEST(DecimalConversion, TakenDecimalsAreStrtofsFloats)
{
    std::mt19937_64 random(11);
    long taken = 0;
    const long total = 400000;
    for (long i = 0; i < total; ++i) {
        DecimalParts parts;
        const int digits = static_cast<int>(random() % 19) + 1;
        parts.mantissa = random() % static_cast<std::uint64_t>(std::pow(10.0, digits));
        parts.power = static_cast<int>(random() % 110) - 70;
        parts.negative = random() % 2 == 0;
        float value;
        if (!floatFromParts(parts, value))
            continue;
        ++taken;
        char text[48];
        std::snprintf(text, sizeof text, "%s%llue%d", parts.negative ? "-" : "",
                      static_cast<unsigned long long>(parts.mantissa), parts.power);
        const float expected = std::strtof(text, nullptr);
        ASSERT_EQ(std::memcmp(&value, &expected, sizeof value), 0) << text;
    }
    EXPECT_GT(taken, total * 8 / 10);
}

}  // namespace
