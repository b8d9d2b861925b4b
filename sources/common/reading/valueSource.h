// Where values come from: a source yields blocks of values, one read each,
// and notes on its slow path what went wrong in its reads.  Each kind of
// source (the exact "%f" text reader here; the report's others beside its
// parts) is one file that fills a SourceKind; the pair pass reads any of
// them alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>
#include <string>

namespace calcgap {

// The most reads of one block, which is also the pair pass's block.
constexpr std::int32_t kPairBlock = 512;

// A place in a text file: line and column from 1, byte offset from 0.
struct TextPosition {
    std::uint64_t line;
    std::uint64_t column;
    std::uint64_t offset;
};

enum class SourceEnd {
    // No read has found the source spent.
    notReached,
    endOfData,
    // At text that cannot begin a number: every later read fails there.
    notANumber,
};

// What reading a value to double lost of what was written.
enum class ValueRange {
    normal,
    // Nonzero, but below the smallest normal double.
    subnormal,
    // Not zero as written, but zero as read.
    underflowToZero,
    // Finite as written, but infinite as read.
    overflow,
};

// What went wrong in a source's reads.  A read that stores nothing is either
// skipped (the next read goes on after it) or finds the source spent (every
// later read stores nothing too).
struct ReadEvents {
    // The text began with a byte-order mark, passed over.
    bool byteOrderMark = false;
    // The first skipped read's text begins as a name does (a letter, _ or
    // a quote): a header line, where it is the first line of fields.
    bool firstSkipLooksNamed = false;
    // Reads made before the current block.
    std::int64_t reads = 0;
    // Which reads of the current block stored nothing, a bit a read.
    std::uint64_t failed[kPairBlock / 64] = {};
    bool anyFailed = false;
    std::int64_t skippedReads = 0;
    // Where the first skipped read's text starts (text sources that count
    // lines only).
    TextPosition firstSkip{};
    // The read that found the source spent, counted from 0; -1 until then.
    std::int64_t spentAt = -1;
    SourceEnd end = SourceEnd::notReached;
    // Where the source stopped, and the first bytes there already read.
    TextPosition stop{};
    std::string stopText;
    // Values whose range lost what was written: underflows (to zero or to a
    // subnormal) and overflows, and which values of the current block are
    // zero from a nonzero value written.
    std::int64_t underflows = 0;
    std::int64_t overflows = 0;
    std::uint64_t zeroFromNonzero[kPairBlock / 64] = {};
    bool anyZeroFromNonzero = false;
    // Whether the source found, as it converted them, that every value the
    // current block stored is finite; false where it did not look.
    bool allFinite = false;
    // Lines passed over as comments.
    std::int64_t commentLines = 0;
    // Lines without the field that holds their value, and the first of them
    // (read field by field); each is a read that stores nothing.
    std::int64_t shortLines = 0;
    std::uint64_t firstShortLine = 0;
};

struct ValueSource;

struct SourceKind {
    // Makes count reads into floats and, where doubles is not null, into
    // doubles: a read that stores nothing repeats the value before it
    // (lastFloat and lastDouble for the first) and is noted in the events.
    // With stopWhenSpent the reads stop after the one that finds the source
    // spent.  Returns the reads made; a read error ends the process.
    std::int32_t (*read)(ValueSource& source, float* floats, double* doubles, std::int32_t count,
                         bool stopWhenSpent);
    // Where the kind has it: count reads of first and of second, floats
    // only, as read would make them, the two sources' reads in turn.
    void (*readPairs)(ValueSource& first, ValueSource& second, float* as, float* bs, std::int32_t count) = nullptr;
};

// Frees a source's state as the kind made it.
struct StateDeleter {
    void (*destroy)(void*) = nullptr;
    void operator()(void* state) const
    {
        if (destroy != nullptr)
            destroy(state);
    }
};

// A kind's own state, owned by its source and freed with it, with what it
// holds beyond memory (a descriptor, a dataset): a source is closed by
// giving it another value.
using SourceState = std::unique_ptr<void, StateDeleter>;

template <typename T>
SourceState ownedState(std::unique_ptr<T> state)
{
    return SourceState(state.release(), StateDeleter{[](void* p) { std::unique_ptr<T> owner(static_cast<T*>(p)); }});
}

struct ValueSource {
    const SourceKind* kind = nullptr;
    const char* path = nullptr;
    SourceState state;
    // A regular file ends; a pipe, FIFO or device may not.
    bool regularFile = false;
    // What the file was read as, for the report: "text", ".npy <f8", ...
    std::string description;
    // Of a 2-D array, its columns; 0 for anything else.
    std::int64_t arrayColumns = 0;
    // The values a read that stores nothing repeats: the last stored.
    float lastFloat = 0.0f;
    double lastDouble = 0.0;
    ReadEvents events;
};

// The state of a source of the kind that made it as a T.
template <typename T>
T& stateOf(const ValueSource& source)
{
    return *static_cast<T*>(source.state.get());
}

// A block's events start empty but for what carries over.
inline void startBlockEvents(ReadEvents& events)
{
    if (events.anyFailed) {
        for (std::uint64_t& word : events.failed)
            word = 0;
        events.anyFailed = false;
    }
    if (events.anyZeroFromNonzero) {
        for (std::uint64_t& word : events.zeroFromNonzero)
            word = 0;
        events.anyZeroFromNonzero = false;
    }
    events.allFinite = false;
}

inline std::int32_t readValues(ValueSource& source, float* floats, double* doubles, std::int32_t count,
                               bool stopWhenSpent)
{
    startBlockEvents(source.events);
    const std::int32_t made = source.kind->read(source, floats, doubles, count, stopWhenSpent);
    source.events.reads += made;
    return made;
}

// Whether two sources can be read in turn by readValuePairs.
inline bool readInPairs(const ValueSource& first, const ValueSource& second)
{
    return first.kind == second.kind && first.kind->readPairs != nullptr;
}

// count reads of each, floats only, as readValues would make them: where one
// read ends is known only once it is parsed, so each source's reads form a
// chain, and reading the two in turn lets the processor work on both at
// once.
inline void readValuePairs(ValueSource& first, ValueSource& second, float* as, float* bs, std::int32_t count)
{
    startBlockEvents(first.events);
    startBlockEvents(second.events);
    first.kind->readPairs(first, second, as, bs, count);
    first.events.reads += count;
    second.events.reads += count;
}

inline bool isSpent(const ValueSource& source)
{
    return source.events.spentAt >= 0;
}

// Whether read i of the block just read stored nothing.
inline bool readFailed(const ReadEvents& events, std::int32_t i)
{
    return (events.failed[i / 64] >> (i % 64) & 1) != 0;
}

// Whether value i of the block just read is zero from a nonzero value
// written.
inline bool zeroFromNonzero(const ReadEvents& events, std::int32_t i)
{
    return events.anyZeroFromNonzero && (events.zeroFromNonzero[i / 64] >> (i % 64) & 1) != 0;
}

inline void noteRange(ReadEvents& events, ValueRange range, std::int32_t i)
{
    if (range == ValueRange::overflow) {
        ++events.overflows;
        return;
    }
    ++events.underflows;
    if (range == ValueRange::underflowToZero) {
        events.zeroFromNonzero[i / 64] |= std::uint64_t{1} << (i % 64);
        events.anyZeroFromNonzero = true;
    }
}

// Notes that read i of the current block stored nothing.
inline void markFailedRead(ReadEvents& events, std::int32_t i)
{
    events.failed[i / 64] |= std::uint64_t{1} << (i % 64);
    events.anyFailed = true;
}

// Reads i onwards of a block, made once every read fails (the data is
// spent, or stuck at text no read takes), store nothing and repeat the
// last value stored: up to count of them, or only the first where
// stopWhenSpent.  Returns the index after the last read made.
[[gnu::noinline]] inline std::int32_t repeatFailedReads(ReadEvents& events, float* floats, double* doubles, std::int32_t i,
                                                       std::int32_t count, bool stopWhenSpent, float lastFloat,
                                                       double lastDouble)
{
    const std::int32_t end = stopWhenSpent ? i + 1 : count;
    for (; i < end; ++i) {
        markFailedRead(events, i);
        floats[i] = lastFloat;
        if (doubles != nullptr)
            doubles[i] = lastDouble;
    }
    return i;
}

inline std::int32_t repeatSpentReads(ValueSource& source, float* floats, double* doubles, std::int32_t i,
                                     std::int32_t count, bool stopWhenSpent)
{
    return repeatFailedReads(source.events, floats, doubles, i, count, stopWhenSpent, source.lastFloat,
                             source.lastDouble);
}

// The values the source stored, of all the reads made of it.
inline std::int64_t storedValues(const ReadEvents& events)
{
    const std::int64_t beforeSpent = events.spentAt >= 0 ? events.spentAt : events.reads;
    return beforeSpent - events.skippedReads - events.shortLines;
}

// Two readers of one stream that is not a regular file would each take
// values the other never sees, so the same such stream given as two of the
// files is an error, reported before any is opened: a FIFO is never waited
// on for nothing.  Paths that cannot be looked at are left to be reported
// when they are opened.  Where dashIsStandardInput, "-" names standard
// input, which cannot be read twice even from a regular file.
void checkDistinctStreams(const std::vector<const char*>& paths, bool dashIsStandardInput);

}  // namespace calcgap
