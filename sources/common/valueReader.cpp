// The "%f" reader.  Its general path is the C library's scanner step by step:
// the same characters accepted, the same single character pushed back, the
// same failures consuming the same input.  A fast path takes the common plain
// decimal tokens straight from the buffer when it can prove the result equal.
#include "calcGap.h"
#include "floatToken.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kEnd = -1;

bool isSpace(int c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}

int lower(int c)
{
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

int hexDigitValue(int c)
{
    if (isDigit(c))
        return c - '0';
    const int l = lower(c);
    return l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
}

[[noreturn]] void failRead(const ValueReader& reader, int error)
{
    fail(("cannot read '" + std::string(reader.path) + "'").c_str(), std::strerror(error));
}

bool refill(ValueReader& reader)
{
    if (reader.atEof)
        return false;
    reader.bufferOffset += reader.end;
    reader.pos = 0;
    reader.end = 0;
    ssize_t got;
    do
        got = ::read(reader.fd, reader.buffer, reader.capacity);
    while (got < 0 && errno == EINTR);
    if (got < 0)
        failRead(reader, errno);
    if (got == 0)
        reader.atEof = true;
    reader.end = static_cast<std::size_t>(got);
    // A byte that no token contains ends the fast path's digit loops at the
    // end of the data without a bounds check in each of them.
    reader.buffer[reader.end] = '\0';
    return got > 0;
}

int nextChar(ValueReader& reader)
{
    if (reader.pos == reader.end && !refill(reader))
        return kEnd;
    return reader.buffer[reader.pos++];
}

// Only ever follows a nextChar that returned a character, which is then still
// in the buffer just before pos.
void pushBack(ValueReader& reader, int c)
{
    if (c != kEnd)
        --reader.pos;
}

bool nextIs(ValueReader& reader, int expected)
{
    const int c = nextChar(reader);
    return c != kEnd && lower(c) == expected;
}

bool nextAre(ValueReader& reader, const char* expected)
{
    for (; *expected != '\0'; ++expected)
        if (!nextIs(reader, *expected))
            return false;
    return true;
}

// "nan", "inf" or "infinity" after the first letter; a mismatching character
// is consumed and fails the read.
bool scanSpecial(ValueReader& reader, int first, bool negative, float& value)
{
    if (lower(first) == 'n') {
        if (!nextAre(reader, "an"))
            return false;
        value = std::strtof(negative ? "-nan" : "nan", nullptr);
        return true;
    }
    if (!nextAre(reader, "nf"))
        return false;
    const int c = nextChar(reader);
    if (c != kEnd) {
        if (lower(c) == 'i') {
            if (!nextAre(reader, "nity"))
                return false;
        } else {
            pushBack(reader, c);
        }
    }
    value = negative ? -HUGE_VALF : HUGE_VALF;
    return true;
}

bool scanGeneral(ValueReader& reader, float& value)
{
    int c;
    do
        c = nextChar(reader);
    while (c != kEnd && isSpace(c));
    if (c == kEnd) {
        reader.stuck = true;
        return false;
    }

    FloatToken token;
    const bool gotSign = c == '-' || c == '+';
    if (gotSign) {
        token.negative = c == '-';
        c = nextChar(reader);
        if (c == kEnd)
            return false;
    }
    if (lower(c) == 'n' || lower(c) == 'i')
        return scanSpecial(reader, c, token.negative, value);

    // Characters taken after the sign, as the scanner counts them.
    long taken = 0;
    int exponentChar = 'e';
    if (c == '0') {
        ++taken;
        c = nextChar(reader);
        if (lower(c) == 'x') {
            ++taken;
            token.hex = true;
            exponentChar = 'p';
            c = nextChar(reader);
        } else {
            addMantissaDigit(token, 0);
        }
    }

    bool gotDigit = token.anyDigit;
    bool gotDot = false;
    bool gotExponent = false;
    int last = 0;
    while (c != kEnd) {
        if (isDigit(c) || (!gotExponent && token.hex && hexDigitValue(c) >= 0)) {
            if (gotExponent)
                addExponentDigit(token, c - '0');
            else
                addMantissaDigit(token, hexDigitValue(c));
            gotDigit = true;
        } else if (gotExponent && last == exponentChar && (c == '-' || c == '+')) {
            token.exponentNegative = c == '-';
        } else if (gotDigit && !gotExponent && lower(c) == exponentChar) {
            gotExponent = true;
            gotDot = true;
            c = exponentChar;
        } else if (!gotDot && c == '.') {
            gotDot = true;
            token.inFraction = true;
        } else {
            pushBack(reader, c);
            break;
        }
        last = c;
        ++taken;
        c = nextChar(reader);
    }

    if (taken == 0) {
        // Nothing but perhaps a sign: without one, nothing was consumed, and
        // the next read stops at the same character.
        reader.stuck = !gotSign;
        return false;
    }
    if (token.hex && taken == 2)
        return false;
    // Only a point: strtof finds no number.
    if (!token.anyDigit && !token.hex)
        return false;
    value = tokenValue(token);
    return true;
}

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxFastPower = 22;
constexpr int kMaxFastDigits = 19;
constexpr std::uint64_t kMaxExactInDouble = std::uint64_t{1} << 53;

// A plain decimal token, [sign] digits [. digits] [e [sign] digits], with at
// most 19 digits, ending inside the buffer.  Its value m * 10^p, with m below
// 2^53 and |p| at most 22, comes from one correctly rounded double operation.
// Rounding that double to float gives the correctly rounded float unless the
// double lies exactly halfway between two floats, which the bit test below
// sends to the general path.  Returns false, touching nothing, for anything
// else.
bool readFast(ValueReader& reader, float& value)
{
    const unsigned char* p = reader.buffer + reader.pos;
    const unsigned char* const end = reader.buffer + reader.end;
    while (isSpace(*p))
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    if (p[0] == '0' && lower(p[1]) == 'x')
        return false;

    std::uint64_t mantissa = 0;
    const unsigned char* q = p;
    while (isDigit(*q))
        mantissa = mantissa * 10 + static_cast<unsigned>(*q++ - '0');
    long digits = q - p;
    long fractionDigits = 0;
    if (*q == '.') {
        const unsigned char* const fraction = ++q;
        while (isDigit(*q))
            mantissa = mantissa * 10 + static_cast<unsigned>(*q++ - '0');
        fractionDigits = q - fraction;
        digits += fractionDigits;
    }
    if (digits == 0 || digits > kMaxFastDigits)
        return false;
    long power = -fractionDigits;
    if (lower(*q) == 'e') {
        ++q;
        const bool exponentNegative = *q == '-';
        if (*q == '-' || *q == '+')
            ++q;
        const unsigned char* const exponentStart = q;
        long exponent = 0;
        while (isDigit(*q) && q - exponentStart < 4)
            exponent = exponent * 10 + (*q++ - '0');
        if (q == exponentStart || isDigit(*q))
            return false;
        power += exponentNegative ? -exponent : exponent;
    }
    // The token must be seen to end before the data does.
    if (q >= end)
        return false;

    float result;
    if (mantissa == 0) {
        result = 0.0f;
    } else {
        if (mantissa > kMaxExactInDouble || power < -kMaxFastPower || power > kMaxFastPower)
            return false;
        const double m = static_cast<double>(mantissa);
        const double exact = power < 0 ? m / kPowersOfTen[-power] : m * kPowersOfTen[power];
        std::uint64_t bits;
        std::memcpy(&bits, &exact, sizeof bits);
        // The 29 bits a float drops are exactly one half: a tie to look at closely.
        if ((bits & 0x1fffffffu) == 0x10000000u)
            return false;
        result = static_cast<float>(exact);
    }
    value = negative ? -result : result;
    reader.pos = static_cast<std::size_t>(q - reader.buffer);
    return true;
}

}  // namespace

void attachValueReader(ValueReader& reader, int fd, const char* path, std::size_t bufferSize)
{
    reader = ValueReader{};
    reader.fd = fd;
    reader.path = path;
    reader.capacity = bufferSize;
    reader.buffer = new unsigned char[bufferSize + 1];
    reader.buffer[0] = '\0';
}

void openValueReader(ValueReader& reader, const char* path, std::size_t bufferSize)
{
    const std::string what = "cannot open '" + std::string(path) + "'";
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail(what.c_str(), std::strerror(errno));
    struct stat status;
    if (::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        ::close(fd);
        fail(what.c_str(), std::strerror(EISDIR));
    }
    attachValueReader(reader, fd, path, bufferSize);
}

void closeValueReader(ValueReader& reader)
{
    ::close(reader.fd);
    delete[] reader.buffer;
    reader = ValueReader{};
}

bool readValue(ValueReader& reader, float& value)
{
    if (reader.stuck)
        return false;
    if (readFast(reader, value))
        return true;
    return scanGeneral(reader, value);
}

std::uint64_t consumedBytes(const ValueReader& reader)
{
    return reader.bufferOffset + reader.pos;
}
