// Shared support for the calcGap tools: the command line, the value reader,
// the single pass over paired values, the output line, the list of largest
// errors and the general support functions.  Each tool includes this header
// alone and supplies its measure to runTool.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// ---- Failure ------------------------------------------------------------

// Name used as the prefix of every message; each tool sets its own first.
void setProgramName(const char* name);

// Writes "program: what: reason" on standard error and exits with status 1.
[[noreturn]] void fail(const char* what, const char* reason);

// The same, with a second line that tells the user where to look.
[[noreturn]] void failWithHint(const char* what, const char* reason, const char* hint);

// From then on a failed allocation ends the process as fail does, naming
// what the memory was for (see describeAllocation) instead of aborting.
void failOnOutOfMemory();

// Names what the allocations that follow are for, as the "what failed" of
// their message should they fail; nullptr restores the general wording.
// The text must outlive the allocations it describes.
void describeAllocation(const char* what);

// Makes room in items for one more, doubling up to most; memory that cannot
// be had ends the run with "WHAT: Cannot allocate memory" rather than an
// abort.  Lists that grow only as entries come keep their cost to what
// they hold.
template <typename T>
void makeRoomForOne(std::vector<T>& items, std::size_t most, const char* what)
{
    if (items.size() < items.capacity())
        return;
    describeAllocation(what);
    items.reserve(std::min(std::max<std::size_t>(16, 2 * items.size()), most));
    describeAllocation(nullptr);
}

// The text quoted for a message: 'a.txt' as it stands, "it's" in double
// quotes, and anything holding a control byte or bytes that are not valid
// UTF-8 in the shell's $'...' form, so that a message is always one line and
// no byte of a name reaches the terminal as a control sequence.
std::string shellQuoted(std::string_view text);

[[noreturn]] void assertFailed(int line, const char* file);

#define ASSERT(condition)                          \
    do {                                           \
        if (!(condition))                          \
            assertFailed(__LINE__, __FILE__);      \
    } while (0)

// ---- Value reader -------------------------------------------------------

// Reads values from a file exactly as repeated fscanf(file, "%f", &x) reads
// them: the same values bit for bit, the same input consumed, the same reads
// failing.  It streams through a fixed buffer with read(2).
struct ValueReader {
    int fd = -1;
    const char* path = nullptr;
    unsigned char* buffer = nullptr;
    std::size_t capacity = 0;
    std::size_t pos = 0;
    std::size_t end = 0;
    // Bytes of the file that came before the buffer's first byte.
    std::uint64_t bufferOffset = 0;
    // read(2) returned 0 once; like stdio, end of file is then final.
    bool atEof = false;
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
};

// A place in a file: line and column from 1, byte offset from 0.
struct TextPosition {
    std::uint64_t line;
    std::uint64_t column;
    std::uint64_t offset;
};

constexpr std::size_t kReaderBufferSize = 1 << 16;

// Opens path for reading; a path that cannot be opened, or that names a
// directory, ends the process with "cannot open 'PATH': REASON".
void openValueReader(ValueReader& reader, const char* path,
                     std::size_t bufferSize = kReaderBufferSize);

// Reads from an already open descriptor (tests feed pipes and memory this way).
void attachValueReader(ValueReader& reader, int fd, const char* path,
                       std::size_t bufferSize = kReaderBufferSize);

void closeValueReader(ValueReader& reader);

// One "%f" read: true when a value was stored in value.  A read error ends
// the process with "cannot read 'PATH': REASON".
bool readValue(ValueReader& reader, float& value);

// Reads count pairs, one read from each file a pair, into as and bs: a read
// that stores nothing repeats that file's value before it, a or b for the
// first pair.  a and b end as the last pair.
void readPairs(ValueReader& first, ValueReader& second, float* as, float* bs, std::int32_t count,
               float& a, float& b);

// Reads values into values until count are stored or a read stores
// nothing; that read is made, consuming what fscanf would.  Returns how
// many were stored.
std::int32_t readUntilFailure(ValueReader& reader, float* values, std::int32_t count);

// Reads pairs, one read from each file a pair, into as and bs until count
// pairs are stored or a read stores nothing; then both reads of that pair
// are made, and stored tells which of them stored a value.  Returns how many
// pairs were stored whole.
std::int32_t readPairsWhileStored(ValueReader& first, ValueReader& second, float* as, float* bs,
                                  std::int32_t count, bool stored[2]);

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

// ---- Command line and files ---------------------------------------------

struct ToolArgs {
    const char* allptsPath = nullptr;
    const char* samplePath = nullptr;
    const char* testPointsPath = nullptr;
    std::int32_t n = 0;
    std::int32_t d = 0;
    std::int32_t k = 0;
};

struct ToolInfo {
    const char* name;
    // Arguments after the program name that the tool reads: 5, or 6 with k.
    int argumentsRead;
    // Prints the tool's usage line on standard output.
    void (*usage)(const char* programName);
    // What the tool prints, one line for --help.
    const char* summary;
};

// What every program does first: names itself for messages, turns a failed
// allocation into a message, and lets a closed pipe surface as a write error.
void startProgram(const char* name);

// Prints "NAME (calcGap) VERSION" and exits with status 0; a failed write is
// an error.
[[noreturn]] void printVersionAndExit(const char* name);

// Starts the program, then checks and converts the command line: too few arguments print
// the usage line and exit with status 1; "--help" or "--version" alone
// prints that and exits with status 0.
ToolArgs startTool(const ToolInfo& tool, int argc, char** argv);

// Flushes standard output; a failed write ends the process with
// "WHAT: REASON".
void flushOutput(const char* what);

// Converts a count the way atoi does (leading white space, sign, leading
// digits; no digits gives 0), but a value outside the signed 32-bit range
// ends the process instead of wrapping.
std::int32_t convertCount(const char* text, const char* name);

// Opens the test point file with mode "rt", checks that it is a readable
// file and closes it again.
void checkTestPointFile(const char* path);

// Two readers of one stream that is not a regular file would each take
// values the other never sees, so the same such stream given as both value
// files is an error, reported before anything is read.
void checkDistinctStreams(const ValueReader& first, const ValueReader& second);

// Prints the result as "%f\n"; a failed write ends the process.
void printResult(float result);

// Writes the bytes on standard output, straight to the descriptor; a failed
// write ends the process with "WHAT: REASON".
void writeOutput(const char* data, std::size_t length, const char* what);

// ---- Arithmetic ---------------------------------------------------------

// |a - b| in single precision with the sign bit cleared by hand: compilers
// fold fabs(x) * fabs(x) into x * x, which keeps the sign of a NaN
// difference, so that optimised builds alone would print "-nan" where the
// data holds a NaN.
inline float absoluteDifference(float a, float b)
{
    return std::bit_cast<float>(std::bit_cast<std::uint32_t>(a - b) & 0x7fffffffu);
}

// ---- Repeated pairs -----------------------------------------------------

// Adds term to sum count times in single precision, in order, stopping as
// soon as an addition leaves the bits of sum unchanged: from then on every
// further addition would leave it unchanged too.
float addRepeatedly(float sum, float term, std::int64_t count);

// ---- The pass -----------------------------------------------------------

constexpr std::int32_t kPairBlock = 512;

// The values of one block of pairs.
struct PairBlock {
    float* as = nullptr;
    float* bs = nullptr;
};

void startPairBlock(PairBlock& block);
void releasePairBlock(PairBlock& block);

// Measure is a plain struct with free functions
//   void start(Measure&, const ToolArgs&);
//   void take(Measure&, float a, float b, std::int32_t i);
//   void takeRepeated(Measure&, float a, float b, std::int32_t first, std::int32_t count);
//   float finish(Measure&, std::int32_t n);
template <typename Measure>
int runTool(const ToolInfo& tool, int argc, char** argv)
{
    const ToolArgs args = startTool(tool, argc, argv);

    ValueReader allpts;
    ValueReader sample;
    openValueReader(allpts, args.allptsPath);
    openValueReader(sample, args.samplePath);
    checkDistinctStreams(allpts, sample);
    checkTestPointFile(args.testPointsPath);

    float a = 0.0f;
    float b = 0.0f;
    Measure measure;
    start(measure, args);
    // Values are read a block of pairs at a time, so that the measure's loop
    // and the reader's loop each stay tight.  The blocks live on the free
    // store: a tool must run under the smallest stack a C program runs in.
    PairBlock block;
    startPairBlock(block);
    // 64 bits, so that the last block's step past n cannot overflow.
    const std::int64_t n = args.n;
    for (std::int64_t i = 0; i < n; i += kPairBlock) {
        const auto count = static_cast<std::int32_t>(n - i < kPairBlock ? n - i : kPairBlock);
        readPairs(allpts, sample, block.as, block.bs, count, a, b);
        for (std::int32_t j = 0; j < count; ++j)
            take(measure, block.as[j], block.bs[j], static_cast<std::int32_t>(i + j));
        // Once neither file can yield another value, every remaining pair is
        // the last pair.
        if (allpts.stuck && sample.stuck) {
            takeRepeated(measure, a, b, static_cast<std::int32_t>(i + count),
                         static_cast<std::int32_t>(n - i - count));
            break;
        }
    }
    releasePairBlock(block);
    printResult(finish(measure, args.n));

    closeValueReader(allpts);
    closeValueReader(sample);
    return 0;
}

// ---- The list of largest errors -----------------------------------------

struct ErrorEntry {
    float kdeAll;
    float kdeSample;
    float absError;
    std::int32_t pointIndex;
};

// Consecutive pairs that are the same pair enter the list together; a run
// stands for count entries with point indices first.pointIndex upwards.
struct ErrorRun {
    ErrorEntry first;
    std::int32_t count;
};

// The k largest errors, ordered by absError from the largest down, a newer
// entry ahead of every kept entry with an equal error.  Slots not yet filled
// hold an error of 0, so only a positive error enters, never a NaN; a full
// list takes an error only when it is greater than its smallest, and then
// the oldest of the smallest drops out.  Kept as a min-heap of runs keyed by
// (absError, oldest point index), whose top is always the last entry.
struct ErrorList {
    std::int32_t capacity = 0;
    std::int64_t size = 0;
    // Error a pair must exceed to enter: the last entry's, 0 while there is
    // room, infinity when the list keeps nothing.
    float threshold = 0.0f;
    std::vector<ErrorRun> heap;
    // What a failed growth of the heap reports.
    std::string what;
};

void startErrorList(ErrorList& list, std::int32_t k);

// Offers count consecutive copies of entry, with point indices
// entry.pointIndex upwards, one after the other.
void admitErrors(ErrorList& list, const ErrorEntry& entry, std::int32_t count);

inline void offerError(ErrorList& list, const ErrorEntry& entry)
{
    if (entry.absError > list.threshold)
        admitErrors(list, entry, 1);
}

// The entries in list order, entry 0 the largest.
std::vector<ErrorEntry> listErrors(const ErrorList& list);

// ---- Support functions --------------------------------------------------

// Fills data[p * dim + j] with the values of a point file, point by point,
// as fscanf "%f" reads them; a slot whose read fails keeps its content.
void readDataSetFromFile(const char* path, float* data, std::int32_t dim,
                         std::int32_t numPoints);

// A float in [low, high] from one draw of random().
float genUniformRandom(float low, float high);

// An integer in [low, high] from one draw of random().
std::int32_t genRandomUns32(std::int32_t low, std::int32_t high);

// The arithmetic of the two draws for a given draw r in [0, 2^31 - 1], after
// the check that low <= high.
float uniformFromDraw(long r, float low, float high);
std::int32_t uns32FromDraw(long r, std::int32_t low, std::int32_t high);
