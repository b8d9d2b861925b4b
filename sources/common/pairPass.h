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
    ValueSource* sources[2] = {nullptr, nullptr};
    // At most this many pairs; exactly this many when exact.
    std::int64_t wanted = 0;
    bool exact = true;
    // Whether the sources give doubles too.
    bool doubles = false;
    std::int64_t pairs = 0;
    // Without an exact count: a source was spent, and no pair follows.
    bool ended = false;
    // The block's reads of each source, from the free store.
    float* floats[2] = {nullptr, nullptr};
    double* doubleValues[2] = {nullptr, nullptr};
};

// One block of pairs as the pass hands it over: pairs pairs from point
// first on; each source's reads of the block, which may be more than the
// pairs where the other source was spent first; doubles only where the
// pass reads them.
struct PairBlock {
    std::int64_t first;
    std::int32_t pairs;
    std::int32_t reads[2];
    const float* floats[2];
    const double* doubles[2];
};

// Every pair from point first on, count of them, is this one pair.
struct RepeatedPair {
    std::int64_t first;
    std::int64_t count;
    float floats[2];
    double doubles[2];
};

void startPairPass(PairPass& pass, ValueSource& first, ValueSource& second, std::int64_t wanted, bool exact,
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
        if (pass.exact && isSpent(*pass.sources[0]) && isSpent(*pass.sources[1]) && pass.pairs < pass.wanted) {
            const ValueSource& a = *pass.sources[0];
            const ValueSource& b = *pass.sources[1];
            takeRepeated(consumer, RepeatedPair{pass.pairs, pass.wanted - pass.pairs, {a.lastFloat, b.lastFloat},
                                                {a.lastDouble, b.lastDouble}});
            pass.pairs = pass.wanted;
        }
    }
}
