// A block of pairs lane by lane: each figure of every pair in arrays of
// its own, computed in loops the compiler vectorizes, and the sums and
// extremes of those arrays taken in an order the program fixes.
#pragma once

#include "summaries/accurateSum.h"
#include "classic/classicSums.h"
#include "measures/errorMeasures.h"
#include "measures/laneClones.h"
#include "measures/pairFigures.h"
#include "summaries/quantileSummary.h"
#include "reading/valueSource.h"

#include <array>
#include <cfloat>
#include <cstdint>
#include <cstring>

namespace calcgap::report {

// Bits of a sort key that hold a pair's place in its block.
constexpr int kPlaceBits = 9;

// The arithmetic of a block of density pairs, lane by lane, in one loop of
// plain operations that the compiler turns into vector instructions, two
// pairs at a time: every pair's figures as though it were the common pair
// (both values positive and finite, within the ratio series' reach, with a
// relative error, above the least truth), and whether it is.  The rest are
// worked out one by one.  Each figure is the same expression
// densityFigures evaluates, so either way gives the same bits.
struct BlockLanes {
    double absError[kPairBlock];
    double magnitude[kPairBlock];
    double relError[kPairBlock];
    double logRatio[kPairBlock];
    // Filled only where it is not the relative lane.
    double needed[kPairBlock];
    double within[kPairBlock];
    double common[kPairBlock];
    double signedError[kPairBlock];
    double signedRel[kPairBlock];
    // The fine buckets of the absolute and relative errors.
    std::uint32_t absBucket[kPairBlock];
    std::uint32_t relBucket[kPairBlock];
    // The table row of each pair of the block, and the block's pairs
    // gathered row by row for the measures by decade.
    std::int32_t row[kPairBlock];
    // The block's pairs as keys sorted by row.
    std::int32_t blockRows[kPairBlock];
    double gatheredAs[kPairBlock];
    double gatheredBs[kPairBlock];
    bool gatheredExcluded[kPairBlock];
    std::int64_t gatheredIndices[kPairBlock];
};

// The block's common pairs, and its measurable ones: finite, with a
// relative error, not below the least truth.
struct BlockScratch {
    BlockLanes lanes;
    BlockLanes decadeLanes;
};

struct LaneCounts {
    std::int32_t common;
    std::int32_t measurable;
};

// Fills the lanes of the block's pairs and counts the common pairs and the
// measurable ones; given the report's classic sums (which take all three
// figures), takes the block's pairs of floats into them too, in the same
// pass.
LaneCounts computeLanes(BlockLanes& lanes, const double* as, const double* bs, std::int32_t count,
                        const Tolerances& t, ClassicSums* classic, const float* singleAs, const float* singleBs);

// The figures of pair j of a block, from its lanes where it is a common
// pair.
[[gnu::always_inline]] inline PairFigures laneFigures(const BlockLanes& lanes, const MeasuredBlock& block,
                                                     std::int32_t j, const Tolerances& t)
{
    const double a = block.as[j];
    const double b = block.bs[j];
    const bool excluded = block.excluded != nullptr && block.excluded[j];
    if (lanes.common[j] == 0.0 || excluded)
        return densityFigures(a, b, excluded, t);
    PairFigures f{};
    f.finite = true;
    f.absError = lanes.absError[j];
    f.magnitude = lanes.magnitude[j];
    f.signedError = lanes.signedError[j];
    f.hasRelative = true;
    f.relError = lanes.relError[j];
    f.signedRel = lanes.signedRel[j];
    f.within = lanes.within[j] != 0.0;
    f.needed = neededIsRelative(t) ? f.relError : lanes.needed[j];
    f.bothPositive = true;
    f.logRatio = lanes.logRatio[j];
    f.row = rowOf(decadeOfPositive(a));
    return f;
}

// A lane's sum is taken as kWays interleaved partial sums, added together
// pairwise at the end: the order is the program's, the same on every build,
// and each partial sum has at most 64 terms.  Eight of them keep four vector
// additions in flight, which one chain of additions, waiting on each, would
// not.
constexpr int kWays = 8;

[[gnu::always_inline]] inline double combined(const double (&part)[kWays])
{
    return ((part[0] + part[1]) + (part[2] + part[3])) + ((part[4] + part[5]) + (part[6] + part[7]));
}

// Several lanes' sums in one pass over the block, each taken as above, so
// that it is the same sum, to the bit, whichever others share its pass.
template <typename... Terms>
[[gnu::always_inline]] inline std::array<double, sizeof...(Terms)> laneSums(std::int32_t n, Terms... terms)
{
    constexpr std::size_t kTerms = sizeof...(Terms);
    double part[kTerms][kWays] = {};
    const auto add = [&](std::int32_t j, int k) {
        std::size_t t = 0;
        ((part[t++][k] += terms(j)), ...);
    };
    std::int32_t j = 0;
    for (; j + kWays <= n; j += kWays)
        for (int k = 0; k < kWays; ++k)
            add(j + k, k);
    for (int k = 0; j < n; ++j, ++k)
        add(j, k);
    std::array<double, kTerms> sums;
    for (std::size_t t = 0; t < kTerms; ++t)
        sums[t] = combined(part[t]);
    return sums;
}

template <typename Term>
[[gnu::always_inline]] inline double laneSum(std::int32_t n, Term term)
{
    return laneSums(n, term)[0];
}

// The lane's squares into a sum that keeps the tiny terms apart, given the
// lane's least term: nearly every block has none.
[[gnu::always_inline]] inline void laneSquares(SquareSum& sum, const double* x, std::int32_t n, double least,
                                               double largest)
{
    if (least >= kSmallTerm && largest < kLargeTerm) {
        sum.normal.block += laneSum(n, [&](std::int32_t j) { return x[j] * x[j]; });
        return;
    }
    sum.normal.block += laneSum(n, [&](std::int32_t j) {
        return x[j] >= kSmallTerm && x[j] < kLargeTerm ? x[j] * x[j] : 0.0;
    });
    sum.scaled.block += laneSum(n, [&](std::int32_t j) {
        const double scaled = x[j] < kSmallTerm ? x[j] * kTermScale : 0.0;
        return scaled * scaled;
    });
    sum.large.block += laneSum(n, [&](std::int32_t j) {
        const double scaled = x[j] >= kLargeTerm ? x[j] * kLargeTermScale : 0.0;
        return scaled * scaled;
    });
}

// Lanes' extremes, the largest where kLargest says so and the least
// elsewhere, in one pass over the block; the lanes of a common block hold
// no NaN, and an extreme is the same whatever the order it is found in.
// Each lane's choices run four doubles at a time, a chain independent of
// the others' so that several lanes keep the vector unit busy: one vector
// register where the machine has AVX2, two elsewhere.
template <bool kLargest>
[[gnu::always_inline]] inline double picked(double kept, double next)
{
    if constexpr (kLargest)
        return next > kept ? next : kept;
    else
        return next < kept ? next : kept;
}

using DoubleQuad = double __attribute__((vector_size(4 * sizeof(double))));

// The same choice, four at once; by reference, as a vector passed by value
// would be passed differently on machines with AVX and without.
template <bool kLargest>
[[gnu::always_inline]] inline void pickQuad(DoubleQuad& kept, const double* next)
{
    DoubleQuad quad;
    std::memcpy(&quad, next, sizeof quad);
    if constexpr (kLargest)
        kept = quad > kept ? quad : kept;
    else
        kept = quad < kept ? quad : kept;
}

template <bool... kLargest, typename... Lanes>
[[gnu::always_inline]] inline std::array<double, sizeof...(kLargest)> laneExtremes(std::int32_t n, Lanes... x)
{
    static_assert(sizeof...(kLargest) == sizeof...(Lanes));
    DoubleQuad parts[sizeof...(kLargest)] = {DoubleQuad{x[0], x[0], x[0], x[0]}...};
    std::int32_t j = 0;
    for (; j + 4 <= n; j += 4) {
        std::size_t k = 0;
        (pickQuad<kLargest>(parts[k++], x + j), ...);
    }
    std::array<double, sizeof...(kLargest)> results;
    std::size_t k = 0;
    ((results[k] = picked<kLargest>(picked<kLargest>(parts[k][0], parts[k][1]),
                                    picked<kLargest>(parts[k][2], parts[k][3])),
      ++k),
     ...);
    for (; j < n; ++j) {
        k = 0;
        ((results[k] = picked<kLargest>(results[k], x[j]), ++k), ...);
    }
    return results;
}

[[gnu::always_inline]] inline double laneMax(const double* x, std::int32_t n)
{
    return laneExtremes<true>(n, x)[0];
}

[[gnu::always_inline]] inline double laneMin(const double* x, std::int32_t n)
{
    return laneExtremes<false>(n, x)[0];
}

// The first place in the lane that holds the value.
inline std::int32_t placeOf(const double* x, std::int32_t n, double value)
{
    std::int32_t j = 0;
    while (j < n - 1 && x[j] != value)
        ++j;
    return j;
}

}  // namespace calcgap::report
