// Order statistics of nonnegative doubles from fixed memory.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

// Counts of nonnegative doubles in buckets of 2^-9 of their binade: the
// bucket is the top 20 bits of the double, so memory is fixed (4 MiB, of
// which only the pages of the binades met are touched) and any order
// statistic is known to within its bucket.  The value reported for a
// bucket is its low end times 1 + 2^-10, within 2^-10 (0.098%) of anything
// in it, and clamped to the smallest and largest values seen, which are
// the first and last ranks exactly.
struct QuantileSummary {
    std::uint32_t* counts = nullptr;
    std::uint64_t total = 0;
    double smallest = INFINITY;
    double largest = 0.0;
};

constexpr double kQuantileBound = 0.001;

void startQuantileSummary(QuantileSummary& summary, const char* what);
void releaseQuantileSummary(QuantileSummary& summary);

inline std::uint32_t quantileBucket(double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return static_cast<std::uint32_t>(bits >> 43);
}

inline void addToSummary(QuantileSummary& summary, double value, std::uint32_t count = 1)
{
    summary.counts[quantileBucket(value)] += count;
    summary.smallest = std::min(summary.smallest, value);
    summary.largest = std::max(summary.largest, value);
    summary.total += count;
}

// Notes values counted into the buckets directly: count of them, the
// smallest and largest among them.
inline void noteSummarized(QuantileSummary& summary, std::uint64_t count, double smallest, double largest)
{
    if (count == 0)
        return;
    summary.total += count;
    summary.smallest = std::min(summary.smallest, smallest);
    summary.largest = std::max(summary.largest, largest);
}

// The nearest-rank order statistics for the fractions given (each in
// (0, 1]), as the summary knows them; NaN for an empty summary.
std::vector<double> summaryQuantiles(const QuantileSummary& summary, const std::vector<double>& fractions);
