// The replicates' draws and sums.
//
// Draws.  Replicate r's weight of the pair at point i is a Poisson(1) draw
// from u = mix(key_r + i * kGolden), a 32-bit hash (the finalizer of a
// well-known 32-bit hash, two multiplications and three shifts), so that a
// weight depends on the seed, the replicate and the point only: the same
// seed gives the same bytes whatever the blocks, and the loop over
// replicates has no state to carry from one pair to the next, which lets
// the compiler take eight replicates at a time.  The draw inverts the
// Poisson(1) distribution function at u / 2^32: the weight is how many of
// the thresholds kPoissonEdges (2^32 times P(X <= k), k = 0 to 10) u
// reaches, so each weight's probability is its own to within 2^-32; weights
// above 11, of probability 1e-9, are taken as 11.
//
// Sums.  Each replicate's sums are plain sums within a block (at most
// kPairBlock terms) added into its totals: their rounding, some units of
// 1e-13 of the terms' magnitudes, is far below the spread of the
// replicates, which is all a percentile interval is drawn from.
#include "measures/bootstrapReplicates.h"

#include "measures/laneClones.h"
#include "reading/valueSource.h"
#include "summaries/distributions.h"
#include "summaries/quantileSummary.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <utility>

namespace calcgap::report {

namespace {

constexpr std::uint32_t kGolden = 0x9e3779b9u;

// P(X <= k) for X ~ Poisson(1), times 2^32, rounded down: k = 0 to 10.
constexpr std::uint32_t kPoissonEdges[] = {1580030168u, 3160060337u, 3950075421u, 4213413783u, 4279248373u,
                                           4292415291u, 4294609777u, 4294923276u, 4294962463u, 4294966817u,
                                           4294967252u};

constexpr std::size_t kEdges = std::size(kPoissonEdges);

// The hash, on one word or on a vector of them alike.  Vectors go by
// reference: passed by value, their ABI would differ between the two
// builds of a function.
template <typename Word>
[[gnu::always_inline]] inline void mixInPlace(Word& x)
{
    x ^= x >> 16;
    x *= 0x85ebca6bu;
    x ^= x >> 13;
    x *= 0xc2b2ae35u;
    x ^= x >> 16;
}

std::uint32_t mix(std::uint32_t x)
{
    mixInPlace(x);
    return x;
}

// A Poisson(mean) draw for the weight of a repeated pair: by inversion of
// its distribution function at u / 2^32 where the mean is below
// kLargeMean, and by the normal approximation, rounded, above it, where it
// is within a unit or two of the draw inversion would give.
double poissonOf(double mean, std::uint32_t u)
{
    const double p = (static_cast<double>(u) + 0.5) / 4294967296.0;
    constexpr double kLargeMean = 50.0;
    if (mean >= kLargeMean)
        return std::max(0.0, std::nearbyint(mean + normalQuantile(p) * std::sqrt(mean)));
    double term = std::exp(-mean);
    double cumulative = term;
    double k = 0.0;
    while (p > cumulative && term > 0.0) {
        k += 1.0;
        term *= mean / k;
        cumulative += term;
    }
    return k;
}

struct PairTerms {
    bool measured;
    double abs;
    double bias;
    bool relative;
    double rel;
    double relBias;
};

PairTerms termsOf(double a, double b, bool excluded, bool logs, const Tolerances& t)
{
    const PairFigures f = logs ? logFigures(a, b, t) : densityFigures(a, b, excluded, t);
    const bool relative = f.finite && !f.excluded && f.hasRelative;
    return {f.finite, f.absError, f.signedError, relative, relative ? f.relError : 0.0,
            relative ? f.signedRel : 0.0};
}

void addBlock(BootstrapReplicates& r)
{
    for (std::size_t k = 0; k < r.totals.size(); ++k)
        r.totals[k] += r.block[k];
}

// Eight replicates at a time, in vectors of the compiler's (on any x86-64
// two instructions for each of AVX2's one): the draws in 32-bit lanes, the
// sums in two vectors of four doubles, each operation rounded as the
// scalar one would be.
using Words = std::uint32_t __attribute__((vector_size(32)));
using Counts = std::int32_t __attribute__((vector_size(32)));
using Doubles = double __attribute__((vector_size(32)));
constexpr std::size_t kLanes = 8;

template <std::size_t... Edge>
[[gnu::always_inline]] inline void poissonLanes(const Words& u, Counts& drawn, std::index_sequence<Edge...>)
{
    // A comparison is -1 where true: the draw is minus their sum.
    drawn = -((Counts)(u >= kPoissonEdges[Edge]) + ...);
}

// Each replicate's draws for the block's measured pairs, and their terms
// weighted into the replicates' sums: eight replicates at a time, their
// vectors of sums held in registers over the whole block, each sum still
// taken pair after pair as a scalar loop would.  The weights' own sums are
// whole numbers (at most 11 kPairBlock), kept in the draws' 32-bit lanes;
// relative marks each pair with a relative error by all ones.  count is a
// multiple of kLanes; terms holds kReplicateSums rows of kPairBlock
// factors, of which the weights' rows are not read.
CALCGAP_LANE_CLONES void weighBlock(double* sums, const std::uint32_t* keys, std::size_t count, const double* terms,
                                    const std::int32_t* relative, const std::uint32_t* points, std::int32_t pairs)
{
    constexpr ReplicateSum kTermSums[] = {kAbs, kBias, kRel, kRelBias};
    constexpr std::size_t kTerms = std::size(kTermSums);
    for (std::size_t k = 0; k < count; k += kLanes) {
        Words key;
        std::memcpy(&key, keys + k, sizeof key);
        Counts weights = {};
        Counts relWeights = {};
        Doubles low[kTerms] = {};
        Doubles high[kTerms] = {};
        for (std::int32_t j = 0; j < pairs; ++j) {
            Words u = key + points[j] * kGolden;
            mixInPlace(u);
            Counts drawn;
            poissonLanes(u, drawn, std::make_index_sequence<kEdges>{});
            weights += drawn;
            relWeights += drawn & relative[j];
            const Doubles w0 = __builtin_convertvector(__builtin_shufflevector(drawn, drawn, 0, 1, 2, 3), Doubles);
            const Doubles w1 = __builtin_convertvector(__builtin_shufflevector(drawn, drawn, 4, 5, 6, 7), Doubles);
            for (std::size_t t = 0; t < kTerms; ++t) {
                const double factor = terms[kTermSums[t] * kPairBlock + static_cast<std::size_t>(j)];
                low[t] += w0 * factor;
                high[t] += w1 * factor;
            }
        }
        for (std::size_t t = 0; t < kTerms; ++t) {
            std::memcpy(sums + kTermSums[t] * count + k, &low[t], sizeof low[t]);
            std::memcpy(sums + kTermSums[t] * count + k + 4, &high[t], sizeof high[t]);
        }
        for (std::size_t lane = 0; lane < kLanes; ++lane) {
            sums[kWeight * count + k + lane] = weights[lane];
            sums[kRelWeight * count + k + lane] = relWeights[lane];
        }
    }
}

void noteFinite(BootstrapReplicates& r, const PairTerms& terms)
{
    r.absFinite = r.absFinite && std::isfinite(terms.abs) && std::isfinite(terms.bias);
    r.relFinite = r.relFinite && std::isfinite(terms.rel) && std::isfinite(terms.relBias);
}

}  // namespace

void startBootstrap(BootstrapReplicates& r, std::int32_t count, std::uint64_t seed)
{
    r = BootstrapReplicates{};
    r.count = count;
    // Up to a whole number of vectors: the replicates past count are drawn
    // and summed, and not used.
    const std::size_t lanes = (static_cast<std::size_t>(count) + kLanes - 1) / kLanes * kLanes;
    for (std::size_t k = 0; k < lanes; ++k)
        r.keys.push_back(mix(mix(static_cast<std::uint32_t>(seed) ^ mix(static_cast<std::uint32_t>(k))) ^
                             static_cast<std::uint32_t>(seed >> 32)));
    r.totals.assign(kReplicateSums * lanes, 0.0);
    r.block.assign(kReplicateSums * lanes, 0.0);
    r.terms.assign(kReplicateSums * kPairBlock, 0.0);
    r.points.assign(kPairBlock, 0);
    r.relative.assign(kPairBlock, 0);
}

void takeBootstrapBlock(BootstrapReplicates& r, const double* as, const double* bs, const bool* excluded,
                        std::int32_t count, std::int64_t first, bool logs, const Tolerances& tolerances)
{
    // The measured pairs' terms, one row of factors for each sum, and their
    // points.
    std::int32_t measured = 0;
    double* const factors = r.terms.data();
    for (std::int32_t j = 0; j < count; ++j) {
        const PairTerms terms = termsOf(as[j], bs[j], excluded != nullptr && excluded[j], logs, tolerances);
        if (!terms.measured)
            continue;
        noteFinite(r, terms);
        const auto at = static_cast<std::size_t>(measured);
        factors[kAbs * kPairBlock + at] = terms.abs;
        factors[kBias * kPairBlock + at] = terms.bias;
        r.relative[at] = terms.relative ? -1 : 0;
        factors[kRel * kPairBlock + at] = terms.rel;
        factors[kRelBias * kPairBlock + at] = terms.relBias;
        r.points[at] = static_cast<std::uint32_t>(first + j);
        ++measured;
    }
    weighBlock(r.block.data(), r.keys.data(), r.keys.size(), factors, r.relative.data(), r.points.data(), measured);
    addBlock(r);
}

void takeBootstrapRepeated(BootstrapReplicates& r, double a, double b, bool excluded, std::int64_t first,
                           std::int64_t count, bool logs, const Tolerances& tolerances)
{
    const PairTerms terms = termsOf(a, b, excluded, logs, tolerances);
    if (!terms.measured || count <= 0)
        return;
    noteFinite(r, terms);
    const double relative = terms.relative ? 1.0 : 0.0;
    // One term a replicate: straight into its totals.
    const std::size_t n = r.keys.size();
    for (std::size_t k = 0; k < n; ++k) {
        const double w = poissonOf(static_cast<double>(count), mix(r.keys[k] ^ mix(static_cast<std::uint32_t>(first))));
        r.totals[kWeight * n + k] += w;
        r.totals[kAbs * n + k] += w * terms.abs;
        r.totals[kBias * n + k] += w * terms.bias;
        r.totals[kRelWeight * n + k] += w * relative;
        r.totals[kRel * n + k] += w * terms.rel;
        r.totals[kRelBias * n + k] += w * terms.relBias;
    }
}

BootstrapIntervals bootstrapIntervals(const BootstrapReplicates& r, double level)
{
    // The replicates' means of one kind, and their percentiles by nearest
    // rank.
    const std::size_t n = r.keys.size();
    const auto interval = [&](ReplicateSum sum, ReplicateSum weight, bool finite, double& lo, double& hi) {
        lo = NAN;
        hi = NAN;
        std::vector<double> means;
        for (std::size_t k = 0; k < static_cast<std::size_t>(r.count); ++k)
            if (r.totals[weight * n + k] > 0.0)
                means.push_back(r.totals[sum * n + k] / r.totals[weight * n + k]);
        if (!finite || means.empty())
            return;
        std::sort(means.begin(), means.end());
        const auto at = [&](double fraction) { return means[nearestRank(fraction, means.size()) - 1]; };
        lo = at((1.0 - level) / 2);
        hi = at((1.0 + level) / 2);
    };
    BootstrapIntervals b{};
    interval(kAbs, kWeight, r.absFinite, b.absLo, b.absHi);
    interval(kBias, kWeight, r.absFinite, b.biasLo, b.biasHi);
    interval(kRel, kRelWeight, r.relFinite, b.relLo, b.relHi);
    interval(kRelBias, kRelWeight, r.relFinite, b.relBiasLo, b.relBiasHi);
    return b;
}

}  // namespace calcgap::report
