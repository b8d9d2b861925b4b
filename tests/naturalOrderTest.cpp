// The natural order of sample and group names: numbers in names compared
// as numbers, and an order that sorting can rely on.
#include "evaluation/naturalOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using namespace calcgap::report;

namespace {

// Whole numbers in names compare by value; a decimal fraction's digits are
// a number of their own (x0.5 before x0.25), which is why groups that are
// all numbers are put in the order of their values instead.
TEST(NaturalOrder, NumbersInNamesCompareAsNumbers)
{
    const std::vector<std::string> ordered{"",         "0",          "00",          "1",           "01",
                                           "2",        "10",         "n100",        "n400",        "n1600",
                                           "n1600_s2", "n1600_s10",  "run-9.txt",   "run-10.txt",  "run10",
                                           "runa",     "x",          "x0.5",        "x0.25",        "x99999999999999999999",
                                           "x100000000000000000000", "\xc3\xa9"};
    for (std::size_t i = 0; i < ordered.size(); ++i)
        for (std::size_t j = 0; j < ordered.size(); ++j)
            EXPECT_EQ(naturalLess(ordered[i], ordered[j]), i < j) << "'" << ordered[i] << "' '" << ordered[j] << "'";
}

// Sorting needs a strict weak order: irreflexive, and transitive in both
// its order and its equivalence; names that differ are never equivalent,
// so that the order of samples never depends on the order given.
TEST(NaturalOrder, IsAStrictTotalOrderOnRandomNames)
{
    std::mt19937 random(20261210);
    const std::string alphabet = "0019a_.-Z";
    std::vector<std::string> names;
    for (int k = 0; k < 300; ++k) {
        std::string name;
        for (int length = static_cast<int>(random() % 7); length > 0; --length)
            name += alphabet[random() % alphabet.size()];
        names.push_back(name);
    }
    for (const std::string& x : names) {
        EXPECT_FALSE(naturalLess(x, x)) << x;
        for (const std::string& y : names) {
            const bool less = naturalLess(x, y);
            const bool greater = naturalLess(y, x);
            EXPECT_FALSE(less && greater) << x << " " << y;
            EXPECT_EQ(!less && !greater, x == y) << x << " " << y;
        }
    }
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end(), [](const std::string& x, const std::string& y) { return naturalLess(x, y); });
    for (std::size_t i = 0; i + 1 < sorted.size(); ++i)
        for (std::size_t j = i + 1; j < sorted.size(); ++j)
            EXPECT_FALSE(naturalLess(sorted[j], sorted[i])) << sorted[i] << " " << sorted[j];
}

}  // namespace
