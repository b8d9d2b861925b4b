// A number token as the "%f" scanner collects it, kept in bounded memory
// however long the token is, and its conversion to float.
#pragma once

#include <cstdint>

// A float sits so close to a decimal or hexadecimal midpoint that at most
// about 113 significant decimal digits decide its rounding; anything after
// the kept digits only matters as "some nonzero digit follows".
constexpr int kKeptDigits = 200;

struct FloatToken {
    bool negative = false;
    bool hex = false;
    // Mantissa: significant digits (values 0 to 15) from the first nonzero.
    unsigned char digits[kKeptDigits];
    int kept = 0;
    bool sticky = false;
    bool anyDigit = false;
    bool inFraction = false;
    std::int64_t integerDigits = 0;
    std::int64_t leadingZeros = 0;
    // Exponent, saturated far beyond any float's range.
    bool exponentNegative = false;
    std::int64_t exponent = 0;
};

// The explicit exponent saturates at or above kExponentLimit; the count of
// digit places before the point is held within kPlacesLimit, beyond any
// token that can be read (a petabyte).  Their sum, even with the places
// counted four times for a hexadecimal mantissa, is then exact in 64 bits,
// and a saturated exponent outweighs any count of places.
constexpr std::int64_t kExponentLimit = 100000000000000000;
constexpr std::int64_t kPlacesLimit = std::int64_t{1} << 50;

inline void addMantissaDigit(FloatToken& token, int digit)
{
    token.anyDigit = true;
    if (!token.inFraction)
        ++token.integerDigits;
    if (token.kept == 0 && digit == 0) {
        ++token.leadingZeros;
        return;
    }
    if (token.kept < kKeptDigits)
        token.digits[token.kept++] = static_cast<unsigned char>(digit);
    else if (digit != 0)
        token.sticky = true;
}

inline void addExponentDigit(FloatToken& token, int digit)
{
    if (token.exponent < kExponentLimit)
        token.exponent = token.exponent * 10 + digit;
}

// What strtof gives for the scanned characters: the token must hold at least
// one mantissa digit, except for a bare hexadecimal prefix, which is zero.
float floatFromToken(const FloatToken& token);
