// The pair pass's blocks: each source's reads, and the pairs they form.
#include "reading/pairPass.h"

#include "support/fail.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace calcgap {

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

// The reads the next block asks of the first source.
std::int32_t wantedReads(const PairPass& pass)
{
    return static_cast<std::int32_t>(std::min<std::int64_t>(kPairBlock, pass.wanted - pass.reads));
}

}  // namespace

void startPairPass(PairPass& pass, ValueSource& allpts, const std::vector<ValueSource*>& samples, std::int64_t wanted,
                   bool exact, bool doubles)
{
    pass = PairPass{};
    pass.allpts = &allpts;
    for (ValueSource* sample : samples)
        pass.samples.push_back({sample, 0, false});
    pass.wanted = wanted;
    pass.exact = exact;
    pass.doubles = doubles;
    pass.as = blockOf<float>(2 * kPairBlock);
    pass.floatBlock.reset(pass.as);
    pass.bs = pass.as + kPairBlock;
    if (doubles) {
        pass.aDoubles = blockOf<double>(2 * kPairBlock);
        pass.doubleBlock.reset(pass.aDoubles);
        pass.bDoubles = pass.aDoubles + kPairBlock;
    }
}

void readPointsInStep(PairPass& pass, ValueSource& points, std::int32_t dim)
{
    pass.points = &points;
    pass.dim = dim;
    const auto values = static_cast<std::size_t>(kPairBlock) * static_cast<std::size_t>(dim);
    pass.pointFloats = blockOf<float>(values);
    pass.pointFloatBlock.reset(pass.pointFloats);
    pass.pointValues = blockOf<double>(values);
    pass.pointDoubleBlock.reset(pass.pointValues);
}

BlockReads readFirstBlock(PairPass& pass)
{
    const std::int32_t want = wantedReads(pass);
    // Without an exact count, the first source stops after the read that
    // finds it spent, and no sample is read further.
    const std::int32_t reads = readValues(*pass.allpts, pass.as, pass.aDoubles, want, !pass.exact);
    if (pass.points != nullptr) {
        const std::size_t values = static_cast<std::size_t>(want) * static_cast<std::size_t>(pass.dim);
        for (std::size_t done = 0; done < values;) {
            const auto chunk = static_cast<std::int32_t>(std::min<std::size_t>(kPairBlock, values - done));
            readValues(*pass.points, pass.pointFloats + done, pass.pointValues + done, chunk, false);
            done += static_cast<std::size_t>(chunk);
        }
    }
    pass.reads += reads;
    pass.lastWant = want;
    return {reads, pass.as, pass.aDoubles};
}

PairBlock readSampleBlock(PairPass& pass, std::size_t sample, const BlockReads& first)
{
    SampleLane& lane = pass.samples[sample];
    PairBlock block{sample, lane.pairs, first.count, first, {0, pass.bs, pass.bDoubles}, pass.pointValues};
    // Both reads of the last pair attempted are made, as the classic tools
    // make them.
    block.values.count = readValues(*lane.source, pass.bs, pass.bDoubles, first.count, !pass.exact);
    if (!pass.exact) {
        block.pairs = std::min(readsBeforeSpent(*pass.allpts, first.count),
                               readsBeforeSpent(*lane.source, block.values.count));
        lane.ended = block.pairs < pass.lastWant;
    }
    lane.pairs += block.pairs;
    return block;
}

bool readsInPairs(const PairPass& pass)
{
    return pass.exact && !pass.doubles && pass.points == nullptr && pass.samples.size() == 1 &&
           readInPairs(*pass.allpts, *pass.samples[0].source);
}

PairBlock readPairedBlock(PairPass& pass)
{
    SampleLane& lane = pass.samples[0];
    const std::int32_t want = wantedReads(pass);
    readValuePairs(*pass.allpts, *lane.source, pass.as, pass.bs, want);
    const PairBlock block{0, lane.pairs, want, {want, pass.as, nullptr}, {want, pass.bs, nullptr}, nullptr};
    pass.reads += want;
    pass.lastWant = want;
    lane.pairs += want;
    return block;
}

bool onlyRepeatsFollow(const PairPass& pass, std::size_t sample)
{
    const SampleLane& lane = pass.samples[sample];
    return pass.exact && (pass.points == nullptr || isSpent(*pass.points)) && !lane.ended &&
           lane.pairs < pass.wanted && isSpent(*pass.allpts) && isSpent(*lane.source);
}

RepeatedPair takeRepeatedTail(PairPass& pass, std::size_t sample)
{
    SampleLane& lane = pass.samples[sample];
    const ValueSource& allpts = *pass.allpts;
    const ValueSource& values = *lane.source;
    const double* point = nullptr;
    if (pass.points != nullptr) {
        std::fill(pass.pointValues, pass.pointValues + pass.dim, pass.points->lastDouble);
        point = pass.pointValues;
    }
    const RepeatedPair pair{sample,           lane.pairs,         pass.wanted - lane.pairs, allpts.lastFloat,
                            values.lastFloat, allpts.lastDouble, values.lastDouble,       point};
    lane.pairs = pass.wanted;
    lane.ended = true;
    return pair;
}

}  // namespace calcgap
