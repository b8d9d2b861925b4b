// The point file reader, the two random draws and the assertion report.
#include "classic/classicSums.h"
#include "support/fail.h"
#include "classic/support.h"
#include "testSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

using namespace calcgap;

namespace {

TEST(ReadDataSetFromFile, FillsPointsInFileOrderWhateverTheLines)
{
    ScratchDir dir;
    const std::string perLine = dir.file("lines.txt", "1 2 3\n4 5 6\n");
    const std::string spread = dir.file("spread.txt", "1\n2 3 4\n\n5\t\t6");
    for (const std::string& path : {perLine, spread}) {
        std::vector<float> data(6, -1.0f);
        readDataSetFromFile(path.c_str(), data.data(), 3, 2);
        EXPECT_EQ(data, (std::vector<float>{1, 2, 3, 4, 5, 6}));
    }
}

TEST(ReadDataSetFromFile, ShortOrMalformedFilesLeaveTheRestAsItWas)
{
    ScratchDir dir;
    std::vector<float> data(6, -1.0f);
    readDataSetFromFile(dir.file("short.txt", "7 8 9 x 10").c_str(), data.data(), 2, 3);
    EXPECT_EQ(data, (std::vector<float>{7, 8, 9, -1, -1, -1}));

    for (auto [dim, points] : {std::pair{0, 3}, std::pair{2, 0}, std::pair{-1, 2}, std::pair{2, -5}}) {
        std::vector<float> untouched(4, -1.0f);
        readDataSetFromFile(dir.file("any.txt", "1 2 3 4").c_str(), untouched.data(), dim, points);
        EXPECT_EQ(untouched, std::vector<float>(4, -1.0f));
    }
}

TEST(ReadDataSetFromFile, PathThatCannotBeOpenedEndsTheProcess)
{
    setProgramName("calcGap_test");
    float slot = 0.0f;
    EXPECT_EXIT(readDataSetFromFile("/nonexistent/points.txt", &slot, 1, 1),
                ::testing::ExitedWithCode(1),
                "^calcGap_test: cannot open '/nonexistent/points.txt': No such file or directory\n$");
}

TEST(GenUniformRandom, StaysWithinTheRange)
{
    std::mt19937 random(3);
    for (float x : {0.0f, -1.5f, 3.0e38f, 1.0e-45f, -7.0f})
        EXPECT_EQ(genUniformRandom(x, x), x);
    for (int i = 0; i < 100000; ++i) {
        float low = std::ldexp(static_cast<float>(random()) / 4294967296.0f, static_cast<int>(random() % 60) - 30);
        float high = low + std::ldexp(static_cast<float>(random()) / 4294967296.0f, static_cast<int>(random() % 60) - 30);
        if (random() % 2 == 0) {
            low = -low;
            high = -high;
            std::swap(low, high);
        }
        const float value = genUniformRandom(low, high);
        ASSERT_TRUE(low <= value && value <= high) << low << " " << high << " " << value;
    }
}

// The largest draw on a range where the last rounding of the formula lands
// one step above high: such ranges exist, and the draw then returns high.
TEST(GenUniformRandom, LargestDrawThatRoundsAboveHighReturnsHigh)
{
    const long largest = 2147483647;
    std::mt19937 random(8);
    int found = 0;
    for (int i = 0; i < 2000000 && found < 20; ++i) {
        const auto any = [&] {
            const float magnitude =
                std::ldexp(static_cast<float>(random() % 16777216), static_cast<int>(random() % 40) - 40);
            return random() % 2 == 0 ? magnitude : -magnitude;
        };
        float low = any();
        float high = any();
        if (!(low < high))
            std::swap(low, high);
        // float(2^31 - 1) is 2^31, so the formula gives (high - low) + low.
        const float unmended = static_cast<float>(largest) * (high - low) * 0x1p-31f + low;
        if (unmended > high) {
            ++found;
            EXPECT_EQ(uniformFromDraw(largest, low, high), high);
        }
    }
    EXPECT_GT(found, 0);
}

TEST(GenRandomUns32, StaysWithinTheRange)
{
    EXPECT_EQ(genRandomUns32(5, 5), 5);
    bool seen[2] = {false, false};
    for (int i = 0; i < 1000; ++i) {
        const std::int32_t value = genRandomUns32(0, 1);
        ASSERT_TRUE(value == 0 || value == 1);
        seen[value] = true;
    }
    EXPECT_TRUE(seen[0] && seen[1]);
    // The extreme draws on the widest range: r / 2^31 of a span of 2^32.
    EXPECT_EQ(uns32FromDraw(0, INT32_MIN, INT32_MAX), INT32_MIN);
    EXPECT_EQ(uns32FromDraw(1073741824L, INT32_MIN, INT32_MAX), 0);
    EXPECT_EQ(uns32FromDraw(2147483647L, INT32_MIN, INT32_MAX), INT32_MAX - 1);
}

TEST(Assertions, InvertedRangesReportAndExit)
{
    EXPECT_EXIT(genRandomUns32(3, 2), ::testing::ExitedWithCode(1),
                "^ASSERT failed on line [0-9]+, file .*randomDraws\\.cpp\\.\n$");
    EXPECT_EXIT(genUniformRandom(1.0f, 0.0f), ::testing::ExitedWithCode(1),
                "^ASSERT failed on line [0-9]+, file .*randomDraws\\.cpp\\.\n$");
    EXPECT_EXIT(genUniformRandom(NAN, 1.0f), ::testing::ExitedWithCode(1), "^ASSERT failed");
    // Infinite bounds give an infinite or NaN result, which the second check stops.
    EXPECT_EXIT(uniformFromDraw(5, -HUGE_VALF, HUGE_VALF), ::testing::ExitedWithCode(1),
                "^ASSERT failed");
    EXPECT_EXIT(uniformFromDraw(5, -3.0e38f, 3.0e38f), ::testing::ExitedWithCode(1), "^ASSERT failed");
}

TEST(AddRepeatedly, EqualsAddingOneByOne)
{
    std::mt19937 random(4);
    for (int i = 0; i < 100; ++i) {
        const float start = i % 3 == 0 ? 0.0f : std::ldexp(static_cast<float>(random() % 1000), static_cast<int>(random() % 30));
        const float term = std::ldexp(static_cast<float>(random() % 1000 + 1), static_cast<int>(random() % 20) - 10);
        const std::int64_t count = static_cast<std::int64_t>(random() % 3000000);
        float expected = start;
        for (std::int64_t j = 0; j < count; ++j)
            expected = expected + term;
        ASSERT_EQ(floatBits(addRepeatedly(start, term, count)), floatBits(expected));
    }
    EXPECT_TRUE(std::isnan(addRepeatedly(1.0f, NAN, 2000000000)));
    EXPECT_EQ(addRepeatedly(1.0f, HUGE_VALF, 2000000000), HUGE_VALF);
    EXPECT_EQ(addRepeatedly(1.0f, 1.0f, 2000000000), 16777216.0f);
}

}  // namespace
