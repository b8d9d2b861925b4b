// The Poisson bootstrap of a sample's four means (absolute, relative, and
// their signed forms), taken in the pass itself: every pair weighted in
// each of B replicates by a Poisson(1) draw, each replicate's weighted
// sums kept, so that the replicates cost B times a few sums and never a
// second pass or the pairs themselves.
#pragma once

#include "measures/pairFigures.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace calcgap::report {

// Each replicate's weighted sums: of the weights of the measured pairs and
// of their absolute and signed errors, and the same over the pairs with a
// relative error; each kind an array over the replicates, so that a loop
// over them is a loop of vector instructions.
enum ReplicateSum : std::size_t { kWeight, kAbs, kBias, kRelWeight, kRel, kRelBias, kReplicateSums };

struct BootstrapReplicates {
    std::int32_t count = 0;
    // The key of each replicate, from the seed, for its draws.
    std::vector<std::uint32_t> keys;
    // The sums of the blocks so far, and of the block being taken, apart
    // (each block's written whole by its weighing): a block's sums are of
    // at most kPairBlock terms.  Sum s of replicate
    // k is at s * keys.size() + k; keys.size() is count rounded up to a
    // whole number of vectors.
    std::vector<double> totals;
    std::vector<double> block;
    // A block's measured pairs: their terms, a row of kPairBlock for each
    // sum, their points, and which have a relative error (all ones).
    std::vector<double> terms;
    std::vector<std::uint32_t> points;
    std::vector<std::int32_t> relative;
    // A term that is not finite leaves its mean without an interval.
    bool absFinite = true;
    bool relFinite = true;
};

void startBootstrap(BootstrapReplicates& replicates, std::int32_t count, std::uint64_t seed);

// The figures of count pairs of one block, from point first on (at most
// kPairBlock of them).
void takeBootstrapBlock(BootstrapReplicates& replicates, const double* as, const double* bs, const bool* excluded,
                        std::int32_t count, std::int64_t first, bool logs, const Tolerances& tolerances);

// One pair at point first repeated count times: in each replicate a weight
// of Poisson(count), as the sum of count Poisson(1) weights is.
void takeBootstrapRepeated(BootstrapReplicates& replicates, double a, double b, bool excluded, std::int64_t first,
                           std::int64_t count, bool logs, const Tolerances& tolerances);

// The percentile interval at the level of each mean over the replicates:
// absolute, relative, bias, relative bias; NaN where a term was not finite
// or no replicate had a weight.
struct BootstrapIntervals {
    double absLo, absHi, relLo, relHi, biasLo, biasHi, relBiasLo, relBiasHi;
};
BootstrapIntervals bootstrapIntervals(const BootstrapReplicates& replicates, double level);

}  // namespace calcgap::report
