// The list of the k largest errors against a plain array that applies the
// insertion rule literally, slot by slot.
#include "classic/errorList.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace calcgap;

namespace {

// k slots, all holding an error of 0 at the start; a pair enters when its
// error is greater than the last slot's, at the position after all larger
// errors, and the last slot drops out.
struct SlotList {
    explicit SlotList(int k) : slots(static_cast<std::size_t>(k), ErrorEntry{0, 0, 0, -1}) {}

    void offer(const ErrorEntry& entry)
    {
        if (!(entry.absError > slots.back().absError))
            return;
        std::size_t position = 0;
        while (position < slots.size() && slots[position].absError > entry.absError)
            ++position;
        for (std::size_t i = slots.size() - 1; i > position; --i)
            slots[i] = slots[i - 1];
        slots[position] = entry;
    }

    std::vector<ErrorEntry> filled() const
    {
        std::vector<ErrorEntry> entries;
        for (const ErrorEntry& entry : slots)
            if (entry.pointIndex >= 0)
                entries.push_back(entry);
        return entries;
    }

    std::vector<ErrorEntry> slots;
};

void expectSameEntries(const std::vector<ErrorEntry>& actual, const std::vector<ErrorEntry>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i].pointIndex, expected[i].pointIndex) << "entry " << i;
        EXPECT_EQ(actual[i].absError, expected[i].absError) << "entry " << i;
        EXPECT_EQ(actual[i].kdeAll, expected[i].kdeAll) << "entry " << i;
        EXPECT_EQ(actual[i].kdeSample, expected[i].kdeSample) << "entry " << i;
    }
}

TEST(ErrorList, KeepsTheLargestErrorsInTheOrderOfTheInsertionRule)
{
    // Few distinct errors, so that ties at every position are common.
    const float errors[] = {0.0f, 0.5f, 1.0f, 1.0f, 2.0f, 3.0f, HUGE_VALF, NAN};
    std::mt19937 random(5);
    for (int k : {1, 2, 3, 5, 17}) {
        for (int round = 0; round < 50; ++round) {
            ErrorList list;
            startErrorList(list, k);
            SlotList slots(k);
            const int pairs = static_cast<int>(random() % 60);
            for (int i = 0; i < pairs; ++i) {
                const float error = errors[random() % std::size(errors)];
                const ErrorEntry entry{error + 1.0f, 1.0f, error, i};
                offerError(list, entry);
                slots.offer(entry);
            }
            expectSameEntries(listErrors(list), slots.filled());
            if (::testing::Test::HasFailure())
                return;
        }
    }
}

TEST(ErrorList, RepeatedPairsEnterAsTheirCopiesWouldOneByOne)
{
    const float errors[] = {0.0f, 1.0f, 2.0f, 2.0f, 4.0f, NAN};
    std::mt19937 random(11);
    for (int k : {1, 3, 8}) {
        for (int round = 0; round < 60; ++round) {
            ErrorList list;
            startErrorList(list, k);
            SlotList slots(k);
            int index = 0;
            for (int step = 0; step < 6; ++step) {
                const float error = errors[random() % std::size(errors)];
                const int count = static_cast<int>(random() % 12);
                admitErrors(list, {error, 0.0f, error, index}, count);
                for (int i = 0; i < count; ++i)
                    slots.offer({error, 0.0f, error, index + i});
                index += count;
            }
            expectSameEntries(listErrors(list), slots.filled());
            if (::testing::Test::HasFailure())
                return;
        }
    }
}

TEST(ErrorList, NoListForCountsBelowOne)
{
    for (int k : {0, -1, -2147483647 - 1}) {
        ErrorList list;
        startErrorList(list, k);
        offerError(list, {1.0f, 0.0f, 1.0f, 0});
        admitErrors(list, {1.0f, 0.0f, HUGE_VALF, 1}, 5);
        EXPECT_TRUE(listErrors(list).empty());
    }
}

}  // namespace
