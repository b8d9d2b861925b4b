// The pair pass's blocks: each source's reads, and the pairs they form.
#include "pairPass.h"

#include "fail.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// Of the reads of the block just read, those before the one that found the
// source spent.
std::int32_t readsBeforeSpent(const ValueSource& source, std::int32_t reads)
{
    const ReadEvents& events = source.events;
    if (events.spentAt < 0)
        return reads;
    const std::int64_t blockStart = events.reads - reads;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(events.spentAt - blockStart, 0, reads));
}

template <typename T>
T* blockOf(std::size_t count)
{
    // The blocks live on the free store: a tool must run under the smallest
    // stack a C program runs in.
    auto* const values = static_cast<T*>(std::malloc(count * sizeof(T)));
    if (values == nullptr)
        fail("cannot allocate the block of pairs", std::strerror(ENOMEM));
    return values;
}

}  // namespace

void startPairPass(PairPass& pass, ValueSource& allpts, ValueSource& sample, std::int64_t wanted, bool exact,
                   bool doubles)
{
    pass = PairPass{};
    pass.allpts = &allpts;
    pass.sample = &sample;
    pass.wanted = wanted;
    pass.exact = exact;
    pass.doubles = doubles;
    pass.as = blockOf<float>(2 * kPairBlock);
    pass.bs = pass.as + kPairBlock;
    if (doubles) {
        pass.aDoubles = blockOf<double>(2 * kPairBlock);
        pass.bDoubles = pass.aDoubles + kPairBlock;
    }
}

void releasePairPass(PairPass& pass)
{
    std::free(pass.as);
    std::free(pass.aDoubles);
    pass.as = pass.bs = nullptr;
    pass.aDoubles = pass.bDoubles = nullptr;
}

PairBlock readPairBlock(PairPass& pass)
{
    const auto want = static_cast<std::int32_t>(std::min<std::int64_t>(kPairBlock, pass.wanted - pass.pairs));
    PairBlock block{pass.pairs, want, {0, pass.as, pass.aDoubles}, {0, pass.bs, pass.bDoubles}};
    // Without an exact count, each source stops after the read that finds it
    // spent, and the sample is read no further than the first file went:
    // both reads of the last pair attempted are made, as the classic tools
    // make them.
    const bool untilSpent = !pass.exact;
    block.allpts.count = readValues(*pass.allpts, pass.as, pass.aDoubles, want, untilSpent);
    block.sample.count =
        readValues(*pass.sample, pass.bs, pass.bDoubles, untilSpent ? block.allpts.count : want, untilSpent);
    if (untilSpent) {
        block.pairs = std::min(readsBeforeSpent(*pass.allpts, block.allpts.count),
                               readsBeforeSpent(*pass.sample, block.sample.count));
        pass.ended = block.pairs < want;
    }
    pass.pairs += block.pairs;
    return block;
}
