// The block of pairs the pass reads at a time.
#include "calcGap.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

void startPairBlock(PairBlock& block)
{
    block.as = static_cast<float*>(std::malloc(2 * kPairBlock * sizeof(float)));
    if (block.as == nullptr)
        fail("cannot allocate the block of pairs", std::strerror(ENOMEM));
    block.bs = block.as + kPairBlock;
}

void releasePairBlock(PairBlock& block)
{
    std::free(block.as);
    block = PairBlock{};
}
