// Sums of nonnegative doubles to within 1e-12 of the exact sum.
#pragma once

#include <cmath>

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
