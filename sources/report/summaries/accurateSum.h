// Accurate sums of doubles.
#pragma once

#include <cmath>

namespace calcgap::report {

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
// The bound the reports state for every mean and rms, as a fraction of the
// terms' magnitudes.
constexpr double kSumBound = 1e-12;

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
    // An infinite term leaves the compensation NaN: the sum is infinite.
    if (!std::isfinite(sum.total) || !std::isfinite(sum.block))
        return sum.total + sum.block;
    return sum.total + sum.compensation + sum.block;
}

// A sum of squares that loses nothing to underflow or overflow: squares of
// terms below 2^-511 would fall below the normal doubles, and those of terms
// of 2^511 or more could pass the largest, so those terms are scaled by
// 2^600 and 2^-600 (exactly: powers of two) and their squares summed apart.
// Its value is the three parts' sum, each times its own power of two.
struct SquareSum {
    AccurateSum normal;
    AccurateSum scaled;
    AccurateSum large;
};

constexpr double kSmallTerm = 0x1p-511;
constexpr double kLargeTerm = 0x1p511;
constexpr double kTermScale = 0x1p600;
constexpr double kLargeTermScale = 0x1p-600;
constexpr int kScaledExponent = -1200;
constexpr int kLargeExponent = 1200;

inline void addSquare(SquareSum& sum, double term, double times)
{
    const double magnitude = std::fabs(term);
    if (magnitude >= kSmallTerm && magnitude < kLargeTerm) {
        sum.normal.block += term * term * times;
    } else if (magnitude < kSmallTerm) {
        const double scaled = term * kTermScale;
        sum.scaled.block += scaled * scaled * times;
    } else {
        const double scaled = term * kLargeTermScale;
        sum.large.block += scaled * scaled * times;
    }
}

// A block's squares into the run's, before the blocks are closed.
inline void addSquares(SquareSum& sum, const SquareSum& block)
{
    sum.normal.block += block.normal.block;
    sum.scaled.block += block.scaled.block;
    sum.large.block += block.large.block;
}

inline void addSquareBlock(SquareSum& sum)
{
    addBlock(sum.normal);
    addBlock(sum.scaled);
    addBlock(sum.large);
}

// A positive double too large or too small to be one: value * 2^exponent.
struct ScaledValue {
    double value;
    int exponent;
};

// The sum as value * 2^exponent.  The parts lie 2^1200 apart: where a
// higher one is nonzero, a lower one can change the sum only below 2^-400
// of it, within the sums' own error, and is added only where it still
// shows.
inline ScaledValue squareSumValue(const SquareSum& sum)
{
    const double large = sumValue(sum.large);
    const double normal = sumValue(sum.normal);
    const double scaled = sumValue(sum.scaled);
    if (large > 0.0)
        return {large + std::ldexp(normal, -kLargeExponent), kLargeExponent};
    if (normal > 0x1p-400)
        return {normal + std::ldexp(scaled, kScaledExponent), 0};
    return {std::ldexp(normal, -kScaledExponent) + scaled, kScaledExponent};
}

// sqrt(x / y) of two such values, wherever the result is a double: the
// two are taken apart into fractions and powers of two, so that no step
// leaves the doubles' range.  NaN where y is 0 (or both are).
inline double sqrtOfQuotient(ScaledValue x, ScaledValue y)
{
    if (!(y.value > 0.0) || !std::isfinite(x.value) || !std::isfinite(y.value))
        return std::sqrt(x.value / y.value);
    if (x.value == 0.0)
        return 0.0;
    int xExponent = 0;
    int yExponent = 0;
    double fraction = std::frexp(x.value, &xExponent) / std::frexp(y.value, &yExponent);
    int exponent = (xExponent + x.exponent) - (yExponent + y.exponent);
    // An even power of two halves exactly.
    if (exponent % 2 != 0) {
        fraction *= 2.0;
        --exponent;
    }
    return std::ldexp(std::sqrt(fraction), exponent / 2);
}

}  // namespace calcgap::report
