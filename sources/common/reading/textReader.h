// The exact "%f" text reader: values read from a file exactly as repeated
// fscanf(file, "%f", &x) reads them, the same values bit for bit, the same
// input consumed, the same reads failing, streamed through a fixed buffer
// with read(2).
#pragma once

#include "reading/inputBuffer.h"
#include "reading/valueSource.h"

#include "reading/floatToken.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace calcgap {

struct ValueReader {
    InputBuffer input;
    // The last read failed without consuming anything, so every later read
    // fails at the same place and stores nothing.
    bool stuck = false;
    // Where the text of the last read that went past the fast paths starts:
    // for a failed read, the text that failed.
    std::uint64_t textStart = 0;
    // Line ends are counted as the buffer refills only when asked for, so
    // that positions can be told as lines and columns.
    bool countingLines = false;
    std::uint64_t linesBefore = 0;
    std::uint64_t lineStartBefore = 0;
    // Where the values begin: after a byte-order mark, when one was passed.
    std::uint64_t dataStart = 0;
    // Lines whose first byte but for blanks is "#" are comments, passed over
    // and counted, where asked for.
    bool comments = false;
    std::int64_t commentLines = 0;
    // Where the general path scans a token.
    std::unique_ptr<FloatToken> token;
};

constexpr std::size_t kReaderBufferSize = 1 << 16;

// A reader's position, held in registers while a block is read.
struct Cursor {
    const unsigned char* p;
    const unsigned char* end;
};

inline Cursor cursorOf(const ValueReader& reader)
{
    return {reader.input.buffer + reader.input.pos, reader.input.buffer + reader.input.end};
}

// One read at the cursor: fast(p, end) where it can tell the outcome, which
// it returns as where the token ends, or nullptr to leave it to general(),
// the scanner at the reader's position.  No fast path takes a token where
// the reader is stuck (at the end of the data, or at a byte that cannot
// start a number), so the check for being stuck waits until it has
// declined.
template <typename Fast, typename General>
[[gnu::always_inline]] inline bool readAtCursor(ValueReader& reader, Cursor& cursor, Fast fast, General general)
{
    const unsigned char* const next = fast(cursor.p, cursor.end);
    if (__builtin_expect(next != nullptr, 1)) {
        cursor.p = next;
        return true;
    }
    if (reader.stuck)
        return false;
    reader.input.pos = static_cast<std::size_t>(cursor.p - reader.input.buffer);
    const bool stored = general();
    cursor = cursorOf(reader);
    return stored;
}

// Opens a value file for reading and returns its descriptor; a path that
// cannot be opened, or that names a directory, ends the process with
// "cannot open 'PATH': REASON".
int openValueFile(const char* path);

// Opens path for reading as openValueFile does.
void openValueReader(ValueReader& reader, const char* path,
                     std::size_t bufferSize = kReaderBufferSize);

// Reads from an already open descriptor (tests feed pipes and memory this way).
void attachValueReader(ValueReader& reader, int fd, const char* path,
                       std::size_t bufferSize = kReaderBufferSize);

// Hands the reader the first length bytes of its file, read already.
void preloadValueReader(ValueReader& reader, const unsigned char* bytes, std::size_t length);

// One "%f" read: true when a value was stored in value.  A read error ends
// the process with "cannot read 'PATH': REASON".
bool readValue(ValueReader& reader, float& value);

// Makes reads into values[first] up to values[count - 1] as the text source
// does: a read that stores nothing repeats the value before it (last for
// the first) and is noted in events as read i of the block; with
// stopWhenSpent, the reads stop after the one that finds the file spent.
// Returns the index after the last read made.
std::int32_t readTextValues(ValueReader& reader, ReadEvents& events, float* values, std::int32_t first,
                            std::int32_t count, float& last, bool stopWhenSpent);

// count reads of first into as and of second into bs, each as
// readTextValues makes them without stopping, the two files in turn.
void readTextValuePairs(ValueReader& first, ReadEvents& firstEvents, float* as, float& lastA, ValueReader& second,
                        ReadEvents& secondEvents, float* bs, float& lastB, std::int32_t count);

// For readers of the same text to other types: the general path's scan
// of the next token into reader.token, as the "%f" scanner scans it, true
// where it holds a value; and the note of read i of a block that stored
// nothing: skipped, or the one that found the file spent, with where and at
// what text (when lines are counted).
bool scanNextToken(ValueReader& reader);
void noteFailedRead(ValueReader& reader, ReadEvents& events, std::int32_t i);

// Passes over a UTF-8 byte-order mark at the start of the file, reading
// its first bytes to look; the buffer must hold at least three bytes.
void skipByteOrderMark(ValueReader& reader);

// Bytes consumed so far, as ftell would tell after the same fscanf calls.
std::uint64_t consumedBytes(const ValueReader& reader);

// The line and column of offset, which lies no earlier than the text of the
// last read; the reader must have counted lines from the start.
TextPosition positionOf(const ValueReader& reader, std::uint64_t offset);

// Up to length of the bytes that the next read would look at, of those
// already read: nothing is read for them, so that a look at where a stream
// stopped never waits for more of it.  A reader stuck at text that cannot
// begin a number always has that text's first byte.
std::string peekText(const ValueReader& reader, std::size_t length);

}  // namespace calcgap
