// A number token as the "%f" scanner collects it, kept in bounded memory
// however long the token is, and its conversion to float or double.
#pragma once

#include <cstdint>

namespace calcgap {

// A point halfway between two doubles has at most 767 significant decimal
// digits (one between two floats, 112), so no more than that many decide
// how a token rounds; anything after the kept digits only matters as "some
// nonzero digit follows".
constexpr int kKeptDigits = 800;

// Kept on the free store, by the reader that scans into it: with room for
// every digit that decides a double, it is too large for a small stack.
struct FloatToken {
    // An infinity or a NaN, spelled out, rather than digits.
    enum class Special { none, infinity, nan };
    Special special = Special::none;
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
    // Room for the canonical spelling the conversions hand the C library:
    // sign, "0x0." or "0.", the kept digits, a sticky digit, the exponent.
    char spelling[1 + 4 + kKeptDigits + 1 + 16 + 1];
};

// Empties a token for the next scan; the digits and the spelling need no
// clearing.
inline void clearToken(FloatToken& token)
{
    token.special = FloatToken::Special::none;
    token.negative = false;
    token.hex = false;
    token.kept = 0;
    token.sticky = false;
    token.anyDigit = false;
    token.inFraction = false;
    token.integerDigits = 0;
    token.leadingZeros = 0;
    token.exponentNegative = false;
    token.exponent = 0;
}

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

// What strtof and strtod give for the scanned characters: the token must
// hold at least one mantissa digit, except for a bare hexadecimal prefix,
// which is zero.
float floatFromToken(FloatToken& token);
double doubleFromToken(FloatToken& token);

// Whether the token's digits are not all zeros, so that a zero result is
// an underflow.
inline bool hasNonzeroDigit(const FloatToken& token)
{
    return token.special == FloatToken::Special::none && token.kept > 0;
}

}  // namespace calcgap
