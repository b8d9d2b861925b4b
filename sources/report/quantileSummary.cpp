// The quantile summary: fixed buckets over the bits of a double.
#include "quantileSummary.h"

#include "fail.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {
// Every nonnegative double up to infinity has its top 20 bits below this.
constexpr std::size_t kBuckets = std::size_t{1} << 20;
}  // namespace

void startQuantileSummary(QuantileSummary& summary, const char* what)
{
    summary = QuantileSummary{};
    // calloc's pages are mapped as they are first written, so only the
    // binades that occur cost memory.
    summary.counts = static_cast<std::uint32_t*>(std::calloc(kBuckets, sizeof(std::uint32_t)));
    if (summary.counts == nullptr)
        fail(what, std::strerror(ENOMEM));
}

void releaseQuantileSummary(QuantileSummary& summary)
{
    std::free(summary.counts);
    summary = QuantileSummary{};
}

std::vector<double> summaryQuantiles(const QuantileSummary& summary, const std::vector<double>& fractions)
{
    std::vector<double> results(fractions.size(), NAN);
    if (summary.total == 0)
        return results;
    std::vector<std::uint64_t> ranks;
    for (double fraction : fractions)
        ranks.push_back(std::max<std::uint64_t>(
            1, static_cast<std::uint64_t>(std::ceil(fraction * static_cast<double>(summary.total)))));
    std::uint64_t seen = 0;
    for (std::size_t bucket = 0; bucket < kBuckets; ++bucket) {
        if (summary.counts[bucket] == 0)
            continue;
        seen += summary.counts[bucket];
        for (std::size_t i = 0; i < ranks.size(); ++i) {
            if (!std::isnan(results[i]) || ranks[i] > seen)
                continue;
            // The extremes are known exactly.
            if (ranks[i] == summary.total) {
                results[i] = summary.largest;
                continue;
            }
            if (ranks[i] == 1) {
                results[i] = summary.smallest;
                continue;
            }
            const std::uint64_t lowBits = static_cast<std::uint64_t>(bucket) << 43;
            double low;
            std::memcpy(&low, &lowBits, sizeof low);
            const double middle = std::isinf(low) ? low : low * (1.0 + 0x1p-10);
            results[i] = std::min(std::max(middle, summary.smallest), summary.largest);
        }
    }
    return results;
}
