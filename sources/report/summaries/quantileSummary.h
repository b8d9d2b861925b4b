// Order statistics of nonnegative doubles from fixed memory.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace calcgap::report {

// Counts of nonnegative doubles in buckets of a fixed part of their binade:
// the bucket is the top bits of the double, so memory is fixed and any
// order statistic is known to within its bucket.  Fine summaries keep 20
// bits (buckets of 2^-9 of a binade); coarse ones 17 (2^-6 of a binade),
// for the tables by decade.  The value reported for a bucket is its low end
// times 1 + half a bucket, within half a bucket (0.098%, or 0.78% for
// coarse) of anything in it, and clamped to the smallest and largest values
// seen, which are the first and last ranks exactly.
//
// A bucket's count is 32 bits, in an array of them (4 MiB fine, 512 KiB
// coarse) of which only the pages written are mapped, 2 KiB a binade: a
// run compares at most 2^31 - 1 pairs, each counted once in a summary, so
// no count can wrap, and counting is one addition.
//
// Until it holds more than kListedValues values (kCoarseListedValues for
// a coarse one), a summary lists them instead, each with its count, and its
// order statistics are exact: a summary of few values spread over many
// binades would touch a page for each binade, where the list costs 16
// bytes a value.  A coarse summary's buckets cost an eighth of a fine
// one's, and the tables by decade hold one for each decade, all growing
// at once: their lists hold no more than a page's worth of buckets would.
// The measures move the list into the buckets between blocks, once it is
// longer (spillListed), so that nothing inside a block's loops changes
// mode.
constexpr std::size_t kListedValues = std::size_t{1} << 15;
constexpr std::size_t kCoarseListedValues = 256;

struct ListedValue {
    double value;
    std::uint64_t count;
};

// A bound watched through the pass, so that the values at or below it are
// counted exactly, as a requirement on a quantile needs: those in buckets
// below the bound's are below it, those in buckets above are above, and of
// those in its own bucket each is compared with it, where the bucket's
// count tells that a block brought any.
//
// A watch may count the values equal to its bound instead: a value that
// many errors share, found when the list goes into the buckets, is then
// reported as it is wherever its bucket holds nothing else.
struct QuantileWatch {
    double bound;
    std::uint32_t bucket;
    // The values of the bound's bucket at or below it (or equal to it),
    // once bucketed.
    std::uint64_t inBucket = 0;
    // The bucket's count before the block.
    std::uint32_t before = 0;
    bool equal = false;
};

// Watched for being shared: a value at least this share of the listed
// values hold, of at most kSharedValues values.
constexpr double kSharedShare = 0.01;
constexpr std::size_t kSharedValues = 4;

// The buckets are mapped, not taken from the heap, so that only the pages
// of the binades that occur are ever touched: calloc may instead clear a
// whole block it reuses, as it does once freed blocks have raised its
// threshold for mapping.
struct UnmapCounts {
    std::size_t bytes = 0;
    void operator()(std::uint32_t* counts) const;
};

struct QuantileSummary {
    // The buckets, once the values are past the list; null before.
    std::unique_ptr<std::uint32_t[], UnmapCounts> counts;
    std::vector<ListedValue> listed;
    std::vector<QuantileWatch> watches;
    // Whether the summary is kept at all.
    bool kept = false;
    // Bits of the double below the bucket's: 43 (fine) or 46 (coarse).
    int shift = 43;
    std::uint64_t total = 0;
    double smallest = INFINITY;
    double largest = 0.0;
    // What its memory is for, should it run out.
    const char* what = nullptr;
};

// The bits of a double below its bucket's, fine and coarse.
constexpr int kFineShift = 43;
constexpr int kCoarseShift = 46;

// Whether the summary lists more values than it may.
inline bool listIsFull(const QuantileSummary& summary)
{
    return summary.counts == nullptr &&
           summary.listed.size() > (summary.shift == kCoarseShift ? kCoarseListedValues : kListedValues);
}

// The relative bounds of the two resolutions, as the report states them.
constexpr double kQuantileBound = 0.001;
constexpr double kCoarseQuantileBound = 0.01;

void startQuantileSummary(QuantileSummary& summary, const char* what, bool coarse = false);

// The bucket of a nonnegative double, its bits above shift.
[[gnu::always_inline]] inline std::uint32_t bucketOf(double value, int shift)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return static_cast<std::uint32_t>(bits >> shift);
}

// Whether the values go into the buckets rather than the list.
[[gnu::always_inline]] inline bool bucketed(const QuantileSummary& summary)
{
    return summary.counts != nullptr;
}

// One value more in the bucket.  A loop that counts many holds the counts
// in a local, as a store through them might, for all the compiler knows,
// change any field.
[[gnu::always_inline]] inline void countOne(std::uint32_t* counts, std::uint32_t bucket)
{
    ++counts[bucket];
}

// Whether the watch counts the value.
[[gnu::always_inline]] inline bool watched(const QuantileWatch& watch, double value, int shift)
{
    // A value equal to the bound is in its bucket.
    return watch.equal ? value == watch.bound : bucketOf(value, shift) == watch.bucket && value <= watch.bound;
}

// The watched bounds' counts of one value, count times, once bucketed.
inline void watchValue(QuantileSummary& summary, double value, std::uint64_t count)
{
    for (QuantileWatch& watch : summary.watches)
        watch.inBucket += watched(watch, value, summary.shift) ? count : 0;
}

// count copies of the value, to be noted with the rest.
inline void countValue(QuantileSummary& summary, double value, std::uint64_t count)
{
    if (bucketed(summary)) {
        summary.counts[bucketOf(value, summary.shift)] += static_cast<std::uint32_t>(count);
        watchValue(summary, value, count);
    } else {
        summary.listed.push_back({value, count});
    }
}

// Around a loop that counts a block's values into the buckets directly:
// before it, the watched buckets' counts; after it, the values of the block
// compared with the bounds whose buckets' counts moved.
void noteWatchesBefore(QuantileSummary& summary);
void noteWatchesAfter(QuantileSummary& summary, const double* values, std::int32_t count);

// Watches a nonnegative bound from the start of the pass.
void watchBound(QuantileSummary& summary, double bound);

// The nearest rank of the fraction (in (0, 1]) of count values: the first
// at which at least that fraction of them lies.
inline std::uint64_t nearestRank(double fraction, std::uint64_t count)
{
    return std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::ceil(fraction * static_cast<double>(count))));
}

// How many values lie at or below the bound of the watch, exactly.
std::uint64_t countAtMost(const QuantileSummary& summary, const QuantileWatch& watch);

// The values of a block, one of each, to be noted with the rest; buckets,
// where the summary has them, are the values' own.
void countBlock(QuantileSummary& summary, const double* values, const std::uint32_t* buckets, std::int32_t count);

// Moves a list past its length into the buckets.
void spillListed(QuantileSummary& summary);

// Notes values counted directly: count of them, the smallest and largest
// among them.
inline void noteSummarized(QuantileSummary& summary, std::uint64_t count, double smallest, double largest)
{
    if (count == 0)
        return;
    summary.total += count;
    summary.smallest = std::min(summary.smallest, smallest);
    summary.largest = std::max(summary.largest, largest);
}

inline void addToSummary(QuantileSummary& summary, double value, std::uint32_t count = 1)
{
    countValue(summary, value, count);
    noteSummarized(summary, count, value, value);
}

// For each bucket of buckets, in ascending order, how many values lie in
// the buckets above it; of a list, how many lie at or above each of the
// values given as bounds, ascending too, exactly.
std::vector<std::uint64_t> countsAbove(const QuantileSummary& summary, const std::uint32_t* buckets, std::size_t count);
std::vector<std::uint64_t> listedAtLeast(const QuantileSummary& summary, const double* bounds, std::size_t count);

// The nearest-rank order statistics for the fractions given (each in
// (0, 1]), as the summary knows them (exactly, from a list); NaN for an
// empty summary.  With atLeast, each of buckets is its bucket's high end
// instead: never below the order
// statistic, and above it by at most a bucket.  zeros and infinities are
// values beyond the summary's, 0s below them and infinities above, ranked
// with them.
std::vector<double> summaryQuantiles(const QuantileSummary& summary, const std::vector<double>& fractions,
                                     bool atLeast = false, std::uint64_t zeros = 0, std::uint64_t infinities = 0);

// The order statistics of the ranks given (from 1, among the zeros, then
// the summary's values, then any infinities), as summaryQuantiles gives
// them: a rank of 0 is 0, below every value as no error is; a rank past
// the summary's values is infinite, an infinity's or beyond every value,
// where no bound is known.
std::vector<double> orderStatistics(const QuantileSummary& summary, const std::vector<std::uint64_t>& ranks,
                                    bool atLeast = false, std::uint64_t zeros = 0);

}  // namespace calcgap::report
