// The one pass over paired values that every tool runs.  It reads blocks of
// reads from a first value source and from each sample source, in step, and
// forms pairs by the rules the classic tools define, here and nowhere else:
// - pair i of a sample is read i of the first source with read i of the
//   sample's;
// - a read that stores nothing repeats that source's last value (0 before
//   any), whether it was skipped or found the source spent;
// - with an exact count, exactly that many pairs are formed, and once both
//   sources of a sample are spent every remaining pair is the last pair,
//   handed over as one repeated pair;
// - otherwise a sample's pairs are formed until either of its two sources
//   is spent.
// The first source is read once, however many samples there are; where
// test points are read beside it, point i is the dim values of reads i * dim
// to i * dim + dim - 1 of the points source.
#pragma once

#include "reading/valueSource.h"
#include "support/fail.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace calcgap {

// One sample's side of the pass.
struct SampleLane {
    ValueSource* source = nullptr;
    // Its pairs so far.
    std::int64_t pairs = 0;
    // No pair follows: a source was spent without an exact count, or the
    // repeated last pair was handed over.
    bool ended = false;
};

struct PairPass {
    ValueSource* allpts = nullptr;
    std::vector<SampleLane> samples;
    ValueSource* points = nullptr;
    std::int32_t dim = 0;
    // At most this many pairs; exactly this many when exact.
    std::int64_t wanted = 0;
    bool exact = true;
    // Whether the sources give doubles too.
    bool doubles = false;
    // Reads made of the first source, which every sample's pairs follow,
    // and how many the last block asked for.
    std::int64_t reads = 0;
    std::int32_t lastWant = 0;
    // The block's reads, in memory from the free store that the pass owns.
    float* as = nullptr;
    float* bs = nullptr;
    double* aDoubles = nullptr;
    double* bDoubles = nullptr;
    float* pointFloats = nullptr;
    double* pointValues = nullptr;
    std::unique_ptr<void, FreeMemory> floatBlock;
    std::unique_ptr<void, FreeMemory> doubleBlock;
    std::unique_ptr<void, FreeMemory> pointFloatBlock;
    std::unique_ptr<void, FreeMemory> pointDoubleBlock;
};

// One source's reads of a block: which may be more than the block's pairs
// where the other source was spent first; doubles only where the pass reads
// them.
struct BlockReads {
    std::int32_t count;
    const float* floats;
    const double* doubles;
};

// One block of one sample's pairs as the pass hands it over: pairs pairs
// from point first on, the values of pair j at index j of each source's
// reads, and the coordinates of its point at j * dim of points.
struct PairBlock {
    std::size_t sample;
    std::int64_t first;
    std::int32_t pairs;
    BlockReads allpts;
    BlockReads values;
    const double* points;
};

// Every pair of a sample from point first on, count of them, is this one
// pair, at one point: where test points are read, their source is spent
// too, and every coordinate repeats its last value.
struct RepeatedPair {
    std::size_t sample;
    std::int64_t first;
    std::int64_t count;
    float a;
    float b;
    double aDouble;
    double bDouble;
    // dim coordinates, or null without test points.
    const double* point;
};

void startPairPass(PairPass& pass, ValueSource& allpts, const std::vector<ValueSource*>& samples, std::int64_t wanted,
                   bool exact, bool doubles);

// Reads the test points in step: dim values a pair.  The repeated last
// pair is then handed over as one only once the points are spent too, as
// till then each point of it differs.
void readPointsInStep(PairPass& pass, ValueSource& points, std::int32_t dim);

// Reads the next block of the first source, and of the points, which every
// sample then pairs with.
BlockReads readFirstBlock(PairPass& pass);

// Reads the sample's block and forms its pairs with the first source's.
PairBlock readSampleBlock(PairPass& pass, std::size_t sample, const BlockReads& first);

// Whether the first source and the one sample are read in turn, a pair at
// a time, as readValuePairs reads two sources: with an exact count, floats
// only, no test points, and sources of a kind that can.
bool readsInPairs(const PairPass& pass);

// Reads the next block of both, in turn, and forms its pairs.
PairBlock readPairedBlock(PairPass& pass);

// Whether the sample's remaining pairs are all its last pair: both of its
// sources spent, with an exact count, and the points, where they are read,
// spent too.
bool onlyRepeatsFollow(const PairPass& pass, std::size_t sample);

RepeatedPair takeRepeatedTail(PairPass& pass, std::size_t sample);

// Runs the pass to its end, handing each block of a sample's pairs to
// takePairs(consumer, const PairBlock&), a sample's repeated last pair to
// takeRepeated(consumer, const RepeatedPair&), and, where the consumer
// takes them, each block of the first source's reads to
// takeFirstReads(consumer, const BlockReads&).
template <typename Consumer>
void runPairPass(PairPass& pass, Consumer& consumer)
{
    for (;;) {
        bool active = false;
        for (const SampleLane& lane : pass.samples)
            active = active || !lane.ended;
        if (!active || pass.reads >= pass.wanted)
            return;
        if (readsInPairs(pass)) {
            const PairBlock block = readPairedBlock(pass);
            if constexpr (requires { takeFirstReads(consumer, block.allpts); })
                takeFirstReads(consumer, block.allpts);
            takePairs(consumer, block);
            if (onlyRepeatsFollow(pass, 0))
                takeRepeated(consumer, takeRepeatedTail(pass, 0));
            continue;
        }
        const BlockReads first = readFirstBlock(pass);
        if constexpr (requires { takeFirstReads(consumer, first); })
            takeFirstReads(consumer, first);
        for (std::size_t s = 0; s < pass.samples.size(); ++s) {
            if (pass.samples[s].ended)
                continue;
            takePairs(consumer, readSampleBlock(pass, s, first));
            if (onlyRepeatsFollow(pass, s))
                takeRepeated(consumer, takeRepeatedTail(pass, s));
        }
    }
}

}  // namespace calcgap
