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

void startPairPass(PairPass& pass, ValueSource& first, ValueSource& second, std::int64_t wanted, bool exact,
                   bool doubles)
{
    pass = PairPass{};
    pass.sources[0] = &first;
    pass.sources[1] = &second;
    pass.wanted = wanted;
    pass.exact = exact;
    pass.doubles = doubles;
    pass.floats[0] = blockOf<float>(2 * kPairBlock);
    pass.floats[1] = pass.floats[0] + kPairBlock;
    if (doubles) {
        pass.doubleValues[0] = blockOf<double>(2 * kPairBlock);
        pass.doubleValues[1] = pass.doubleValues[0] + kPairBlock;
    }
}

void releasePairPass(PairPass& pass)
{
    std::free(pass.floats[0]);
    std::free(pass.doubleValues[0]);
    pass.floats[0] = pass.floats[1] = nullptr;
    pass.doubleValues[0] = pass.doubleValues[1] = nullptr;
}

PairBlock readPairBlock(PairPass& pass)
{
    const auto want = static_cast<std::int32_t>(std::min<std::int64_t>(kPairBlock, pass.wanted - pass.pairs));
    PairBlock block{pass.pairs, want, {0, 0}, {pass.floats[0], pass.floats[1]},
                    {pass.doubleValues[0], pass.doubleValues[1]}};
    // Without an exact count, each source stops after the read that finds it
    // spent, and the second is read no further than the first went: both
    // reads of the last pair attempted are made, as the classic tools make
    // them.
    const bool untilSpent = !pass.exact;
    block.reads[0] = readValues(*pass.sources[0], pass.floats[0], pass.doubleValues[0], want, untilSpent);
    block.reads[1] =
        readValues(*pass.sources[1], pass.floats[1], pass.doubleValues[1], untilSpent ? block.reads[0] : want,
                   untilSpent);
    if (untilSpent) {
        block.pairs = std::min(readsBeforeSpent(*pass.sources[0], block.reads[0]),
                               readsBeforeSpent(*pass.sources[1], block.reads[1]));
        pass.ended = block.pairs < want;
    }
    pass.pairs += block.pairs;
    return block;
}
