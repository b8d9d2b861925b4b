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
#include <sys/mman.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int kEnd = -1;

// Before the data, room for the fast paths' wide reads that end just after
// a token; after it, one byte that no token contains and room for their
// wide reads starting at any byte up to it.
constexpr std::size_t kFrontPadding = kFastReadWidth;
constexpr std::size_t kBackPadding = 1 + kFastReadWidth;

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
    fail(("cannot read " + shellQuoted(reader.path)).c_str(), std::strerror(error));
}

// Counts the line ends in the first length bytes of the buffer, which are
// about to leave it.
void countLines(ValueReader& reader, std::size_t length)
{
    const unsigned char* const bytes = reader.buffer;
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
    const auto* last = static_cast<const unsigned char*>(::memrchr(reader.buffer, '\n', length));
    reader.lineStartBefore = reader.bufferOffset + static_cast<std::uint64_t>(last - reader.buffer) + 1;
}

bool refill(ValueReader& reader)
{
    if (reader.atEof)
        return false;
    if (reader.countingLines)
        countLines(reader, reader.end);
    // The byte before the buffer's first stays in reach, to tell whether a
    // line begins there.
    if (reader.end > 0)
        reader.buffer[-1] = reader.buffer[reader.end - 1];
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
    // A byte that no token contains ends the fast paths' scans at the end of
    // the data without a bounds check in each of them.
    reader.buffer[reader.end] = '\0';
    return got > 0;
}

inline int nextChar(ValueReader& reader)
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
    return consumedBytes(reader) == reader.dataStart || reader.buffer[static_cast<std::ptrdiff_t>(reader.pos) - 1] == '\n';
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
    reader.textStart = reader.bufferOffset + reader.pos - (c == kEnd ? 0 : 1);
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
    reader.fd = fd;
    reader.path = path;
    reader.capacity = bufferSize;
    // Mapped rather than taken from the heap: zero, as the padding must be,
    // with only the pages the data reaches ever touched, where calloc may
    // clear the whole of a block it reuses, which a run of thousands of
    // short files pays for thousands of times.
    void* const mapped = ::mmap(nullptr, kFrontPadding + bufferSize + kBackPadding, PROT_READ | PROT_WRITE,
                                MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    auto* const memory = mapped == MAP_FAILED ? nullptr : static_cast<unsigned char*>(mapped);
    reader.token = static_cast<FloatToken*>(std::malloc(sizeof(FloatToken)));
    if (memory == nullptr || reader.token == nullptr)
        failRead(reader, ENOMEM);
    reader.buffer = memory + kFrontPadding;
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
}

void preloadValueReader(ValueReader& reader, const unsigned char* bytes, std::size_t length)
{
    if (length == 0)
        return;
    std::memcpy(reader.buffer, bytes, length);
    reader.end = length;
    reader.buffer[reader.end] = '\0';
}

void closeValueReader(ValueReader& reader)
{
    ::close(reader.fd);
    ::munmap(reader.buffer - kFrontPadding, kFrontPadding + reader.capacity + kBackPadding);
    std::free(reader.token);
    reader = ValueReader{};
}

bool scanNextToken(ValueReader& reader)
{
    clearToken(*reader.token);
    return scanToken(reader, *reader.token);
}

void skipByteOrderMark(ValueReader& reader)
{
    static const unsigned char kMark[] = {0xef, 0xbb, 0xbf};
    // A stream may deliver the mark a byte at a time.
    while (reader.end < std::size(kMark) && !reader.atEof &&
           std::memcmp(reader.buffer, kMark, reader.end) == 0) {
        ssize_t got;
        do
            got = ::read(reader.fd, reader.buffer + reader.end, reader.capacity - reader.end);
        while (got < 0 && errno == EINTR);
        if (got < 0)
            failRead(reader, errno);
        reader.atEof = got == 0;
        reader.end += static_cast<std::size_t>(got);
        reader.buffer[reader.end] = '\0';
    }
    if (reader.end >= std::size(kMark) && std::memcmp(reader.buffer, kMark, std::size(kMark)) == 0) {
        reader.pos = std::size(kMark);
        reader.dataStart = std::size(kMark);
    }
}

std::uint64_t consumedBytes(const ValueReader& reader)
{
    return reader.bufferOffset + reader.pos;
}
TextPosition positionOf(const ValueReader& reader, std::uint64_t offset)
{
    std::uint64_t line = reader.linesBefore + 1;
    std::uint64_t lineStart = reader.lineStartBefore;
    // Before the buffer, only the bytes of one token, which hold no line end.
    if (offset > reader.bufferOffset) {
        const std::size_t length = static_cast<std::size_t>(offset - reader.bufferOffset);
        for (std::size_t i = 0; i < length; ++i) {
            if (reader.buffer[i] == '\n') {
                ++line;
                lineStart = reader.bufferOffset + i + 1;
            }
        }
    }
    return {line, offset - lineStart + 1, offset};
}

std::string peekText(const ValueReader& reader, std::size_t length)
{
    const std::size_t available = std::min(length, reader.end - reader.pos);
    return std::string(reinterpret_cast<const char*>(reader.buffer + reader.pos), available);
}
