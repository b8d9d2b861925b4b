// Sums of nonnegative doubles to within 1e-12 of the exact sum.
#pragma once

// A sum of nonnegative doubles within 1e-12 of the exact sum at any count
// up to 2^31: terms go into a plain block sum (at most 512 terms, so its
// error stays below 512 units of its last bit), and the block sums into a
// compensated total whose error is two units plus a vanishing term.
struct AccurateSum {
    double block = 0.0;
    double total = 0.0;
    double compensation = 0.0;
};

inline void addBlock(AccurateSum& sum)
{
    const double t = sum.total + sum.block;
    if (sum.total >= sum.block)
        sum.compensation += (sum.total - t) + sum.block;
    else
        sum.compensation += (sum.block - t) + sum.total;
    sum.total = t;
    sum.block = 0.0;
}

inline double sumValue(const AccurateSum& sum)
{
    return sum.total + sum.compensation + sum.block;
}
