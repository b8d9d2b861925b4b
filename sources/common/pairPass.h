// The one pass over paired values that every tool runs.  It reads blocks of
// reads from two value sources and forms pairs by the rules the classic
// tools define, here and nowhere else:
// - pair i is read i of the first source with read i of the second;
// - a read that stores nothing repeats that source's last value (0 before
//   any), whether it was skipped or found the source spent;
// - with an exact count, exactly that many pairs are formed, and once both
//   sources are spent every remaining pair is the last pair, handed over
//   as one repeated pair;
// - otherwise pairs are formed until either source is spent.
#pragma once

#include "valueSource.h"

#include <cstdint>

struct PairPass {
    ValueSource* allpts = nullptr;
    ValueSource* sample = nullptr;
    // At most this many pairs; exactly this many when exact.
    std::int64_t wanted = 0;
    bool exact = true;
    // Whether the sources give doubles too.
    bool doubles = false;
    std::int64_t pairs = 0;
    // Without an exact count: a source was spent, and no pair follows.
    bool ended = false;
    // The block's reads of each source, from the free store.
    float* as = nullptr;
    float* bs = nullptr;
    double* aDoubles = nullptr;
    double* bDoubles = nullptr;
};

// One source's reads of a block: which may be more than the block's pairs
// where the other source was spent first; doubles only where the pass reads
// them.
struct BlockReads {
    std::int32_t count;
    const float* floats;
    const double* doubles;
};

// One block of pairs as the pass hands it over: pairs pairs from point
// first on, the values of pair j at index j of each source's reads.
struct PairBlock {
    std::int64_t first;
    std::int32_t pairs;
    BlockReads allpts;
    BlockReads sample;
};

// Every pair from point first on, count of them, is this one pair.
struct RepeatedPair {
    std::int64_t first;
    std::int64_t count;
    float a;
    float b;
    double aDouble;
    double bDouble;
};

void startPairPass(PairPass& pass, ValueSource& allpts, ValueSource& sample, std::int64_t wanted, bool exact,
                   bool doubles);
void releasePairPass(PairPass& pass);

// Reads the next block: at most kPairBlock pairs, fewer where the pass ends.
PairBlock readPairBlock(PairPass& pass);

// Runs the pass to its end, handing each block of pairs to
// takePairs(consumer, const PairBlock&) and the repeated last pair, if
// any, to takeRepeated(consumer, const RepeatedPair&).
template <typename Consumer>
void runPairPass(PairPass& pass, Consumer& consumer)
{
    while (!pass.ended && pass.pairs < pass.wanted) {
        takePairs(consumer, readPairBlock(pass));
        if (pass.exact && isSpent(*pass.allpts) && isSpent(*pass.sample) && pass.pairs < pass.wanted) {
            const ValueSource& allpts = *pass.allpts;
            const ValueSource& sample = *pass.sample;
            takeRepeated(consumer, RepeatedPair{pass.pairs, pass.wanted - pass.pairs, allpts.lastFloat, sample.lastFloat,
                                                allpts.lastDouble, sample.lastDouble});
            pass.pairs = pass.wanted;
        }
    }
}
