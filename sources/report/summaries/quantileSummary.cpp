// The quantile summary: fixed buckets over the bits of a double.
#include "summaries/quantileSummary.h"

#include "support/fail.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

namespace calcgap::report {

namespace {

// Every nonnegative double up to infinity has its top bits below this.
std::size_t bucketsOf(const QuantileSummary& summary)
{
    return std::size_t{1} << (63 - summary.shift);
}

}  // namespace

void UnmapCounts::operator()(std::uint32_t* counts) const
{
    ::munmap(counts, bytes);
}

void startQuantileSummary(QuantileSummary& summary, const char* what, bool coarse)
{
    summary = QuantileSummary{};
    summary.kept = true;
    summary.shift = coarse ? kCoarseShift : kFineShift;
    summary.what = what;
}

namespace {

// The values that at least kSharedShare of the listed ones hold, found in
// every eighth entry (a share of 1% of 32,768 is some 40 of the 4,096 read)
// and in any entry that is itself that many copies; the watches count them
// exactly from here on, whichever are found.
void watchSharedValues(QuantileSummary& summary)
{
    std::uint64_t all = 0;
    for (const ListedValue& listed : summary.listed)
        all += listed.count;
    const double least = kSharedShare * static_cast<double>(all);
    std::vector<ListedValue> seen;
    for (std::size_t i = 0; i < summary.listed.size(); ++i)
        if (i % 8 == 0 || static_cast<double>(summary.listed[i].count) >= least)
            seen.push_back({summary.listed[i].value, i % 8 == 0 ? std::max<std::uint64_t>(8, summary.listed[i].count)
                                                                : summary.listed[i].count});
    std::sort(seen.begin(), seen.end(), [](const ListedValue& x, const ListedValue& y) { return x.value < y.value; });
    std::vector<ListedValue> shared;
    for (std::size_t i = 0; i < seen.size();) {
        ListedValue run{seen[i].value, 0};
        for (; i < seen.size() && seen[i].value == run.value; ++i)
            run.count += seen[i].count;
        if (static_cast<double>(run.count) >= least)
            shared.push_back(run);
    }
    std::sort(shared.begin(), shared.end(), [](const ListedValue& x, const ListedValue& y) { return x.count > y.count; });
    for (std::size_t k = 0; k < shared.size() && k < kSharedValues; ++k)
        summary.watches.push_back({shared[k].value, bucketOf(shared[k].value, summary.shift), 0, 0, true});
}

}  // namespace

void spillListed(QuantileSummary& summary)
{
    if (!listIsFull(summary))
        return;
    const std::size_t bytes = bucketsOf(summary) * sizeof(std::uint32_t);
    void* const mapped = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        fail(summary.what, std::strerror(ENOMEM));
    summary.counts = std::unique_ptr<std::uint32_t[], UnmapCounts>(static_cast<std::uint32_t*>(mapped), {bytes});
    // Coarse quantiles, to 1%, have no use for them.
    if (summary.shift == kFineShift)
        watchSharedValues(summary);
    for (const ListedValue& listed : summary.listed)
        summary.counts[bucketOf(listed.value, summary.shift)] += static_cast<std::uint32_t>(listed.count);
    // A watch at a time, as a loop of compares.
    for (QuantileWatch& watch : summary.watches)
        for (const ListedValue& listed : summary.listed)
            watch.inBucket += watched(watch, listed.value, summary.shift) ? listed.count : 0;
    std::vector<ListedValue>().swap(summary.listed);
}

void noteWatchesBefore(QuantileSummary& summary)
{
    for (QuantileWatch& watch : summary.watches)
        watch.before = summary.counts[watch.bucket];
}

void noteWatchesAfter(QuantileSummary& summary, const double* values, std::int32_t count)
{
    for (QuantileWatch& watch : summary.watches) {
        if (summary.counts[watch.bucket] == watch.before)
            continue;
        // The loop a shared value's watch takes compares only, which the
        // compiler does a vector at a time.
        std::uint64_t counted = 0;
        if (watch.equal) {
            for (std::int32_t j = 0; j < count; ++j)
                counted += values[j] == watch.bound ? 1 : 0;
        } else {
            for (std::int32_t j = 0; j < count; ++j)
                counted += watched(watch, values[j], summary.shift) ? 1 : 0;
        }
        watch.inBucket += counted;
    }
}

void watchBound(QuantileSummary& summary, double bound)
{
    summary.watches.push_back({bound, bucketOf(bound, summary.shift)});
}

void countBlock(QuantileSummary& summary, const double* values, const std::uint32_t* buckets, std::int32_t count)
{
    if (!bucketed(summary)) {
        for (std::int32_t j = 0; j < count; ++j)
            summary.listed.push_back({values[j], 1});
        return;
    }
    noteWatchesBefore(summary);
    std::uint32_t* const counts = summary.counts.get();
    // Unrolled, the loop's own count and test cost a quarter of what they
    // would beside each value's addition.
#pragma GCC unroll 4
    for (std::int32_t j = 0; j < count; ++j)
        countOne(counts, buckets[j]);
    noteWatchesAfter(summary, values, count);
}

std::vector<std::uint64_t> listedAtLeast(const QuantileSummary& summary, const double* bounds, std::size_t count)
{
    std::vector<std::uint64_t> atLeast(count, 0);
    for (const ListedValue& listed : summary.listed)
        for (std::size_t i = 0; i < count && listed.value >= bounds[i]; ++i)
            atLeast[i] += listed.count;
    return atLeast;
}

namespace {

// Most buckets between the smallest value and the largest are empty (a
// zero error puts the first at 0): a scan passes over runs of kRunBuckets
// empty ones at a time.
constexpr std::size_t kRunBuckets = 32;

bool emptyRun(const QuantileSummary& summary, std::size_t bucket)
{
    std::uint32_t any = 0;
    for (std::size_t k = 0; k < kRunBuckets; ++k)
        any |= summary.counts[bucket + k];
    return any == 0;
}

// The first bucket from bucket to limit whose count is not 0, or limit + 1.
std::size_t nextCounted(const QuantileSummary& summary, std::size_t bucket, std::size_t limit)
{
    while (bucket <= limit) {
        if (bucket % kRunBuckets == 0 && bucket + kRunBuckets - 1 <= limit && emptyRun(summary, bucket)) {
            bucket += kRunBuckets;
            continue;
        }
        if (summary.counts[bucket] != 0)
            return bucket;
        ++bucket;
    }
    return bucket;
}

// The buckets that may hold values: every value counted lies between the
// smallest and the largest.
struct CountedRange {
    std::size_t first;
    std::size_t last;
};

CountedRange countedRange(const QuantileSummary& summary)
{
    return {bucketOf(summary.smallest, summary.shift),
            std::min<std::size_t>(bucketOf(summary.largest, summary.shift), bucketsOf(summary) - 1)};
}

}  // namespace

std::vector<std::uint64_t> countsAbove(const QuantileSummary& summary, const std::uint32_t* buckets, std::size_t count)
{
    std::vector<std::uint64_t> above(count, 0);
    if (summary.total == 0)
        return above;
    const auto [first, last] = countedRange(summary);
    // Values counted below bucket.
    std::uint64_t through = 0;
    std::size_t bucket = first;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t edge = buckets[i];
        if (edge < first) {
            above[i] = summary.total;
            continue;
        }
        if (edge >= last)
            break;
        for (bucket = nextCounted(summary, bucket, edge); bucket <= edge; bucket = nextCounted(summary, bucket + 1, edge))
            through += summary.counts[bucket];
        above[i] = summary.total - through;
    }
    return above;
}

std::uint64_t countAtMost(const QuantileSummary& summary, const QuantileWatch& watch)
{
    std::uint64_t atMost = 0;
    if (!bucketed(summary)) {
        for (const ListedValue& listed : summary.listed)
            atMost += listed.value <= watch.bound ? listed.count : 0;
        return atMost;
    }
    if (summary.total == 0)
        return 0;
    const auto [first, last] = countedRange(summary);
    for (std::size_t bucket = nextCounted(summary, first, last); bucket <= last && bucket < watch.bucket;
         bucket = nextCounted(summary, bucket + 1, last))
        atMost += summary.counts[bucket];
    return atMost + watch.inBucket;
}

std::vector<double> summaryQuantiles(const QuantileSummary& summary, const std::vector<double>& fractions,
                                     bool atLeast, std::uint64_t zeros, std::uint64_t infinities)
{
    const std::uint64_t all = zeros + summary.total + infinities;
    if (all == 0)
        return std::vector<double>(fractions.size(), NAN);
    std::vector<std::uint64_t> ranks;
    for (const double fraction : fractions)
        ranks.push_back(nearestRank(fraction, all));
    return orderStatistics(summary, ranks, atLeast, zeros);
}

std::vector<double> orderStatistics(const QuantileSummary& summary, const std::vector<std::uint64_t>& allRanks,
                                    bool atLeast, std::uint64_t zeros)
{
    std::vector<double> results(allRanks.size(), NAN);
    // Ranks among the summary's own values, once the zeros and infinities,
    // and the ranks beyond every value, have been settled.
    std::vector<std::uint64_t> ranks;
    for (std::size_t i = 0; i < allRanks.size(); ++i) {
        const std::uint64_t rank = allRanks[i];
        if (rank <= zeros)
            results[i] = 0.0;
        else if (rank > zeros + summary.total)
            results[i] = INFINITY;
        ranks.push_back(rank - std::min(rank, zeros));
    }
    if (summary.total == 0)
        return results;
    std::uint64_t seen = 0;
    if (!bucketed(summary)) {
        // The listed values in order, each rank the value that reaches it.
        std::vector<ListedValue> sorted = summary.listed;
        std::sort(sorted.begin(), sorted.end(),
                  [](const ListedValue& x, const ListedValue& y) { return x.value < y.value; });
        for (const ListedValue& listed : sorted) {
            seen += listed.count;
            for (std::size_t i = 0; i < ranks.size(); ++i)
                if (std::isnan(results[i]) && ranks[i] <= seen)
                    results[i] = listed.value;
        }
        return results;
    }
    const auto [first, last] = countedRange(summary);
    // A bucket spans 2^-(52 - shift) of its binade.
    const double half = std::ldexp(1.0, summary.shift - 53);
    // Ranks not yet placed: the scan ends when none is left.
    std::size_t unplaced = 0;
    for (std::size_t i = 0; i < ranks.size(); ++i)
        unplaced += std::isnan(results[i]) ? 1 : 0;
    for (std::size_t bucket = nextCounted(summary, first, last); bucket <= last && unplaced > 0;
         bucket = nextCounted(summary, bucket + 1, last)) {
        seen += summary.counts[bucket];
        for (std::size_t i = 0; i < ranks.size(); ++i) {
            if (!std::isnan(results[i]) || ranks[i] > seen)
                continue;
            --unplaced;
            // The extremes are known exactly.
            if (ranks[i] == summary.total) {
                results[i] = summary.largest;
                continue;
            }
            if (ranks[i] == 1) {
                results[i] = summary.smallest;
                continue;
            }
            // A bucket that holds one shared value only: that value.
            const auto shared = std::find_if(summary.watches.begin(), summary.watches.end(), [&](const QuantileWatch& w) {
                return w.equal && w.bucket == bucket && w.inBucket == summary.counts[bucket];
            });
            if (shared != summary.watches.end()) {
                results[i] = shared->bound;
                continue;
            }
            const std::uint64_t lowBits = static_cast<std::uint64_t>(bucket) << summary.shift;
            double low;
            std::memcpy(&low, &lowBits, sizeof low);
            const double at = std::isinf(low) ? low : low * (1.0 + (atLeast ? 2 * half : half));
            results[i] = std::min(std::max(at, summary.smallest), summary.largest);
        }
    }
    return results;
}

}  // namespace calcgap::report
