// Accurate sums of doubles.
#pragma once

#include <cmath>

// A sum of doubles to within 1e-12 of the sum of the terms' magnitudes at
// any count up to 2^31, so within 1e-12 of the exact sum where the terms
// are nonnegative.  With u = 2^-53, the unit roundoff:
// 1. Terms go into a plain block sum of at most kPairBlock = 512 terms;
//    each addition errs by at most u times the partial sum, which is at
//    most the block's sum of magnitudes, so a block errs by at most
//    511 u times its terms' magnitudes.
// 2. The block sums go into a compensated total (each addition's rounding
//    error, found exactly from the larger and the smaller magnitude, is
//    kept apart and added back at the end): its error is 2 u times the
//    sum of the blocks' magnitudes, plus a term of the order of the count
//    of blocks (at most 2^22) times u^2, below 2^-84 of it.
// 3. So the whole errs by at most (511 + 2) u + 2^-84, about 5.7e-14, times
//    the sum of magnitudes.  A term of b - a, or (b - a) / d, brings a
//    rounding or two of its own, 2 u more.  Terms of both signs (the signed
//    errors) need no more than this; the tests hold it against exact
//    rational sums whose terms cancel to a millionth of their magnitudes.
struct AccurateSum {
    double block = 0.0;
    double total = 0.0;
    double compensation = 0.0;
};

inline void addBlock(AccurateSum& sum)
{
    const double t = sum.total + sum.block;
    if (std::fabs(sum.total) >= std::fabs(sum.block))
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

// A sum of squares that loses nothing to underflow: squares of terms below
// 2^-511 would fall below the normal doubles, so those terms are scaled by
// 2^600 (exactly: a power of two) and their squares summed apart.  Its
// value is total * 2^exponent, where exponent is 0 or -1200.
struct SquareSum {
    AccurateSum normal;
    AccurateSum scaled;
};

constexpr double kSmallTerm = 0x1p-511;
constexpr double kTermScale = 0x1p600;
constexpr int kScaledExponent = -1200;

inline void addSquare(SquareSum& sum, double term, double times)
{
    if (term >= kSmallTerm) {
        sum.normal.block += term * term * times;
    } else {
        const double scaled = term * kTermScale;
        sum.scaled.block += scaled * scaled * times;
    }
}

inline void addSquareBlock(SquareSum& sum)
{
    addBlock(sum.normal);
    addBlock(sum.scaled);
}

struct ScaledValue {
    double value;
    int exponent;
};

// The sum as value * 2^exponent, value in the normal range unless the sum
// is 0.
inline ScaledValue squareSumValue(const SquareSum& sum)
{
    const double normal = sumValue(sum.normal);
    const double scaled = sumValue(sum.scaled);
    // Above 2^-400 the scaled part, at most 2^-1200 of its terms times their
    // count, changes nothing the report shows.
    if (normal > 0x1p-400)
        return {normal + std::ldexp(scaled, kScaledExponent), 0};
    return {std::ldexp(normal, -kScaledExponent) + scaled, kScaledExponent};
}
