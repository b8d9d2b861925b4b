// The "%f" reader's buffer and general path.  The general path is the C
// library's scanner step by step: the same characters accepted, the same
// single character pushed back, the same failures consuming the same input,
// the value from strtof.  The block reads and their fast paths are in
// textValues.cpp.
#include "reading/textReader.h"

#include "reading/decimalParts.h"
#include "support/fail.h"
#include "reading/floatToken.h"
#include "support/quoting.h"

#include <algorithm>
#include <iterator>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace calcgap {

namespace {

constexpr int kEnd = -1;

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

// Counts the line ends in the first length bytes of the buffer, which are
// about to leave it.
void countLines(ValueReader& reader, std::size_t length)
{
    const unsigned char* const bytes = reader.input.buffer;
    std::uint64_t lines = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixty-four bytes a step, sixteen at a time: each line end subtracts -1
    // from its byte's counter, and every 63 steps (at most 252 a counter)
    // the counters are summed before they wrap.
    const __m128i newline = _mm_set1_epi8('\n');
    const auto countedIn = [&](std::size_t at) {
        return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at)), newline);
    };
    while (length - i >= 64) {
        __m128i counters = _mm_setzero_si128();
        for (int steps = 0; steps < 63 && length - i >= 64; ++steps, i += 64) {
            const __m128i pairs = _mm_add_epi8(countedIn(i), countedIn(i + 16));
            counters = _mm_sub_epi8(counters, _mm_add_epi8(pairs, _mm_add_epi8(countedIn(i + 32), countedIn(i + 48))));
        }
        const __m128i sums = _mm_sad_epu8(counters, _mm_setzero_si128());
        lines += static_cast<std::uint64_t>(_mm_cvtsi128_si64(sums)) +
                 static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
    }
#endif
    for (; i < length; ++i)
        lines += bytes[i] == '\n';
    if (lines == 0)
        return;
    reader.linesBefore += lines;
    const auto* last = static_cast<const unsigned char*>(::memrchr(reader.input.buffer, '\n', length));
    reader.lineStartBefore = reader.input.bufferOffset + static_cast<std::uint64_t>(last - reader.input.buffer) + 1;
}

bool refill(ValueReader& reader)
{
    if (reader.input.atEof)
        return false;
    if (reader.countingLines)
        countLines(reader, bytesLeavingOnRefill(reader.input));
    return refillInput(reader.input) > 0;
}

inline int nextChar(ValueReader& reader)
{
    if (reader.input.pos == reader.input.end && !refill(reader))
        return kEnd;
    return reader.input.buffer[reader.input.pos++];
}

// Only ever follows a nextChar that returned a character, which is then still
// in the buffer just before pos.
void pushBack(ValueReader& reader, int c)
{
    if (c != kEnd)
        --reader.input.pos;
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
bool scanSpecial(ValueReader& reader, int first, FloatToken& token)
{
    if (lower(first) == 'n') {
        if (!nextAre(reader, "an"))
            return false;
        token.special = FloatToken::Special::nan;
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
    token.special = FloatToken::Special::infinity;
    return true;
}

// Whether the next byte to read begins a line: the data's first, or one
// after a line end.
bool atLineStart(const ValueReader& reader)
{
    return consumedBytes(reader) == reader.dataStart || reader.input.buffer[static_cast<std::ptrdiff_t>(reader.input.pos) - 1] == '\n';
}

// Passes over the rest of a comment line, up to its line end.
void skipComment(ValueReader& reader)
{
    int c;
    do
        c = nextChar(reader);
    while (c != kEnd && c != '\n');
    pushBack(reader, c);
    ++reader.commentLines;
}

// The next token, scanned as the C library's "%f" scanner scans it: true
// when it holds a value.
bool scanToken(ValueReader& reader, FloatToken& token)
{
    // Where comment lines are read as such, a "#" that is the first byte
    // of a line but for blanks begins one.
    bool lineStart = reader.comments && atLineStart(reader);
    int c;
    for (;;) {
        c = nextChar(reader);
        if (c == '\n') {
            lineStart = reader.comments;
            continue;
        }
        if (c != kEnd && isSpace(c))
            continue;
        if (c == '#' && lineStart) {
            skipComment(reader);
            continue;
        }
        break;
    }
    // Where this read's text starts, for a report of a read that fails.
    reader.textStart = reader.input.bufferOffset + reader.input.pos - (c == kEnd ? 0 : 1);
    if (c == kEnd) {
        reader.stuck = true;
        return false;
    }

    const bool gotSign = c == '-' || c == '+';
    if (gotSign) {
        token.negative = c == '-';
        c = nextChar(reader);
        if (c == kEnd)
            return false;
    }
    if (lower(c) == 'n' || lower(c) == 'i')
        return scanSpecial(reader, c, token);

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
    return token.anyDigit || token.hex;
}

}  // namespace

[[gnu::noinline]] void noteFailedRead(ValueReader& reader, ReadEvents& events, std::int32_t i)
{
    markFailedRead(events, i);
    if (events.spentAt >= 0)
        return;
    if (reader.stuck) {
        events.spentAt = events.reads + i;
        if (reader.countingLines)
            events.stop = positionOf(reader, reader.textStart);
        events.stopText = peekText(reader, 24);
        events.end = events.stopText.empty() ? SourceEnd::endOfData : SourceEnd::notANumber;
        return;
    }
    if (events.skippedReads++ == 0 && reader.countingLines)
        events.firstSkip = positionOf(reader, reader.textStart);
}

void attachValueReader(ValueReader& reader, int fd, const char* path, std::size_t bufferSize)
{
    reader = ValueReader{};
    startInputBuffer(reader.input, fd, path, bufferSize);
    reader.token = std::make_unique<FloatToken>();
}

int openValueFile(const char* path)
{
    const std::string what = "cannot open " + shellQuoted(path);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail(what.c_str(), std::strerror(errno));
    struct stat status;
    if (::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        ::close(fd);
        fail(what.c_str(), std::strerror(EISDIR));
    }
    return fd;
}

void openValueReader(ValueReader& reader, const char* path, std::size_t bufferSize)
{
    attachValueReader(reader, openValueFile(path), path, bufferSize);
    reader.input.mayMap = true;
}

void preloadValueReader(ValueReader& reader, const unsigned char* bytes, std::size_t length)
{
    preloadInput(reader.input, bytes, length);
}

bool scanNextToken(ValueReader& reader)
{
    clearToken(*reader.token);
    return scanToken(reader, *reader.token);
}

void skipByteOrderMark(ValueReader& reader)
{
    if (skipByteOrderMark(reader.input))
        reader.dataStart = reader.input.pos;
}

std::uint64_t consumedBytes(const ValueReader& reader)
{
    return reader.input.bufferOffset + reader.input.pos;
}
TextPosition positionOf(const ValueReader& reader, std::uint64_t offset)
{
    std::uint64_t line = reader.linesBefore + 1;
    std::uint64_t lineStart = reader.lineStartBefore;
    // Before the buffer, only the bytes of one token, which hold no line end.
    if (offset > reader.input.bufferOffset) {
        const std::size_t length = static_cast<std::size_t>(offset - reader.input.bufferOffset);
        for (std::size_t i = 0; i < length; ++i) {
            if (reader.input.buffer[i] == '\n') {
                ++line;
                lineStart = reader.input.bufferOffset + i + 1;
            }
        }
    }
    return {line, offset - lineStart + 1, offset};
}

std::string peekText(const ValueReader& reader, std::size_t length)
{
    const std::size_t available = std::min(length, reader.input.end - reader.input.pos);
    return std::string(reinterpret_cast<const char*>(reader.input.buffer + reader.input.pos), available);
}

}  // namespace calcgap
