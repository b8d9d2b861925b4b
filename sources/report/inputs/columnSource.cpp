// Text read line by line, the value of each line in one of its fields:
// --column=N (from 1, or a name from the --header line), fields split at
// --delimiter=C or at runs of blanks.  Comment lines (first non-blank byte
// "#") and blank lines are passed over; a line with too few fields, or
// whose field is not a number, is a read that stores nothing, noted with
// its line.  Lines of any length stream through a fixed buffer: only the
// chosen field is kept, and only its first kLongestField bytes.
#include "inputs/sourceKinds.h"

#include "inputs/doubleConversion.h"
#include "support/quoting.h"

#include <fast_float/fast_float.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace calcgap::report {

namespace {

constexpr std::size_t kColumnBufferSize = std::size_t{1} << 16;
// A field is kept up to this length, far past any number a program writes
// and as long as the numbers plain text reads (its digits stream through
// a fixed buffer, as a field's bytes do); a longer field is not read as
// one, and costs no more memory than this.
constexpr std::size_t kLongestField = std::size_t{1} << 20;
constexpr int kEnd = -1;

struct ColumnState {
    InputBuffer input;
    // The line about to be read, from 1, and the offset where it starts.
    std::uint64_t line = 1;
    std::uint64_t lineStart = 0;
    bool delimited = false;
    char delimiter = ',';
    // The bytes that end a field: the delimiter (or, without one, every
    // blank), the line end and the zero byte after the data.
    std::array<bool, 256> endsField{};
    // The blanks around fields that are not the delimiter (isPadding).
    std::array<bool, 256> padding{};
    // The field wanted, from 1; 0 until a name is found in the header.
    std::int64_t column = 0;
    std::string columnName;
    bool headerPending = false;
    std::string field;
    std::uint64_t fieldOffset = 0;
};

int nextByte(ColumnState& state)
{
    InputBuffer& input = state.input;
    if (input.pos == input.end && refillInput(input) == 0)
        return kEnd;
    return input.buffer[input.pos++];
}

std::uint64_t offsetOf(const ColumnState& state)
{
    return state.input.bufferOffset + state.input.pos;
}

bool isBlank(int c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// A blank that is not the delimiter: around fields, these are passed over,
// while every delimiter ends a field, so that an empty field is a field
// whatever the delimiter, a tab among them.
bool isPadding(const ColumnState& state, int c)
{
    return isBlank(c) && !(state.delimited && c == state.delimiter);
}

// Passes the rest of the line, its line end included.
void skipLine(ColumnState& state)
{
    int c;
    do
        c = nextByte(state);
    while (c != kEnd && c != '\n');
}

void startLine(ColumnState& state)
{
    ++state.line;
    state.lineStart = offsetOf(state);
}

// Reads the fields of one line from its first non-blank byte, given as c;
// keeps field number wanted (from 1, trimmed of blanks) in state.field, or
// every field in names when names is not null.  Returns how many fields the
// line has, and leaves the line read, its line end included.
std::int64_t readFields(ColumnState& state, int c, std::int64_t wanted,
                        std::vector<std::string>* names)
{
    const auto isBoundary = [&state](int b) { return state.delimited ? b == state.delimiter : isBlank(b); };
    state.field.clear();
    for (std::int64_t number = 1;; ++number) {
        const bool keep = names != nullptr || number == wanted;
        if (number == wanted)
            state.fieldOffset = offsetOf(state) - (c == kEnd ? 0 : 1);
        std::string text;
        for (; c != kEnd && c != '\n' && !isBoundary(c); c = nextByte(state))
            if (keep && text.size() <= kLongestField)
                text += static_cast<char>(c);
        if (keep) {
            while (!text.empty() && isPadding(state, static_cast<unsigned char>(text.back())))
                text.pop_back();
            if (names != nullptr)
                names->push_back(text);
            else
                state.field = text;
        }
        if (c == kEnd || c == '\n')
            return number;
        // Past the boundary and the blanks after it; blanks at the end of a
        // line begin no field.
        if (state.delimited)
            c = nextByte(state);
        while (isPadding(state, c))
            c = nextByte(state);
        if (!state.delimited && (c == kEnd || c == '\n'))
            return number;
    }
}

// Whether the digits of the number written are not all zeros.
bool writtenNonzero(const std::string& text)
{
    const bool hex = text.find_first_of("xX") != std::string::npos;
    for (char c : text) {
        if (hex ? (c == 'p' || c == 'P') : (c == 'e' || c == 'E'))
            break;
        if ((c >= '1' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))))
            return true;
    }
    return false;
}

// The field's value as strtod and strtof read it, the whole field; false,
// with single and value as they were, when it is not a number: a field
// such as "0.5 kg" repeats the value before it, as a skipped read does.
bool fieldValue(const std::string& field, float& single, double& value, ValueRange& range)
{
    range = ValueRange::normal;
    if (field.empty() || field.size() > kLongestField)
        return false;
    const char* const begin = field.c_str();
    const char* const end = begin + field.size();
    // The common decimals through the exact conversion library, the rest
    // (signs written with +, hexadecimal, results out of the normal range)
    // through the C library.
    const char* const digits = *begin == '-' ? begin + 1 : begin;
    double converted = 0.0;
    const auto parsed = fast_float::from_chars(begin, end, converted);
    const bool fast = digits != end && *digits != '+' && parsed.ec == std::errc() && parsed.ptr == end &&
                      std::isfinite(converted) && std::fabs(converted) >= DBL_MIN;
    if (fast) {
        value = converted;
        if (!floatOfDouble(value, single))
            single = std::strtof(begin, nullptr);
        return true;
    }
    char* stop = nullptr;
    converted = std::strtod(begin, &stop);
    if (stop != end || stop == begin)
        return false;
    value = converted;
    single = std::strtof(begin, nullptr);
    const std::string lower = [&] {
        std::string text = field;
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    }();
    const bool spelledInfinite = lower.find("inf") != std::string::npos;
    if (std::isinf(value) && !spelledInfinite)
        range = ValueRange::overflow;
    else if (!std::isnan(value) && std::fabs(value) < DBL_MIN && writtenNonzero(field))
        range = value == 0.0 ? ValueRange::underflowToZero : ValueRange::subnormal;
    return true;
}

TextPosition positionOf(std::uint64_t offset, std::uint64_t line, std::uint64_t lineStart)
{
    return {line, offset - lineStart + 1, offset};
}

void noteSkipped(ReadEvents& events, const ColumnState& state, std::uint64_t line, std::uint64_t lineStart,
                 std::int32_t i)
{
    markFailedRead(events, i);
    if (events.skippedReads++ == 0) {
        events.firstSkip = positionOf(state.fieldOffset, line, lineStart);
        const char first = state.field.empty() ? '\0' : state.field.front();
        events.firstSkipLooksNamed = std::isalpha(static_cast<unsigned char>(first)) != 0 || first == '_' ||
                                     first == '"' || first == '\'';
    }
}

void noteShortLine(ReadEvents& events, std::uint64_t line, std::int32_t i)
{
    markFailedRead(events, i);
    if (events.shortLines++ == 0)
        events.firstShortLine = line;
}

// The common line, read in place: wholly in the buffer, not blank, a comment
// or the header, its field a plain decimal that the shared tokenizers take
// and the double conversion decides, in the normal range.  Such a field is
// what strtod and strtof read of it, so the line gives what the byte by
// byte path below would; any other line is left to that path, from its
// start.
[[gnu::always_inline]] inline bool readLineInPlace(ColumnState& state, float& single, double& value)
{
    if (state.headerPending)
        return false;
    // The zero byte after the data stops every scan, so that a line the
    // buffer does not hold whole is seen as such (as is one holding a zero
    // byte, which the byte by byte path reads as it does any other).
    const unsigned char* p = state.input.buffer + state.input.pos;
    const unsigned char* const dataEnd = state.input.buffer + state.input.end;
    const auto delimiter = static_cast<unsigned char>(state.delimiter);
    const auto skipPadding = [&] {
        while (state.padding[*p])
            ++p;
    };
    skipPadding();
    if (*p == '\n' || *p == '\0' || *p == '#')
        return false;
    for (std::int64_t number = 1; number < state.column; ++number) {
        while (!state.endsField[*p])
            ++p;
        if (*p == '\n' || *p == '\0')
            return false;
        ++p;
        skipPadding();
    }
    // The token must be the whole field: it starts the field (the
    // tokenizers would pass over a delimiter that is white space), and what
    // follows it is padding, then the field's end.
    if (state.endsField[*p])
        return false;
    double read = 0.0;
    float readSingle = 0.0f;
    const unsigned char* const next = readDecimalDual(p, dataEnd, readSingle, read);
    if (next == nullptr || next == p)
        return false;
    p = next;
    skipPadding();
    if (!(*p == '\n' || (state.delimited ? *p == delimiter : p > next)))
        return false;
    // Most often the field is the line's last.
    const auto* const lineEnd = *p == '\n' ? p
                                             : static_cast<const unsigned char*>(
                                                   std::memchr(p, '\n', static_cast<std::size_t>(dataEnd - p)));
    if (lineEnd == nullptr)
        return false;
    value = read;
    single = readSingle;
    state.input.pos = static_cast<std::size_t>(lineEnd + 1 - state.input.buffer);
    startLine(state);
    return true;
}

// The header line's fields, read for the column's name.
void readHeader(ValueSource& source, ColumnState& state, int c)
{
    std::vector<std::string> names;
    readFields(state, c, 0, &names);
    state.headerPending = false;
    startLine(state);
    if (state.columnName.empty())
        return;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (names[i] == state.columnName) {
            state.column = static_cast<std::int64_t>(i) + 1;
            return;
        }
    std::string known;
    for (const std::string& name : names)
        known += " " + shellQuoted(name);
    failSource(source.path, "its header has no column " + shellQuoted(state.columnName) + "; it has" + known);
}

std::int32_t readColumns(ValueSource& source, float* floats, double* doubles, std::int32_t count, bool stopWhenSpent)
{
    auto& state = stateOf<ColumnState>(source);
    ReadEvents& events = source.events;
    float single = source.lastFloat;
    double value = source.lastDouble;
    std::int32_t i = 0;
    while (i < count && !isSpent(source)) {
        if (readLineInPlace(state, single, value)) {
            floats[i] = single;
            if (doubles != nullptr)
                doubles[i] = value;
            ++i;
            continue;
        }
        int c;
        while (isPadding(state, c = nextByte(state))) {
        }
        if (c == kEnd) {
            events.spentAt = events.reads + i;
            events.end = SourceEnd::endOfData;
            break;
        }
        if (c == '\n') {
            startLine(state);
            continue;
        }
        if (c == '#') {
            skipLine(state);
            startLine(state);
            ++events.commentLines;
            continue;
        }
        if (state.headerPending) {
            readHeader(source, state, c);
            continue;
        }
        const std::uint64_t line = state.line;
        const std::uint64_t lineStart = state.lineStart;
        const std::int64_t fields = readFields(state, c, state.column, nullptr);
        startLine(state);
        ValueRange range;
        if (fields < state.column) {
            noteShortLine(events, line, i);
        } else if (fieldValue(state.field, single, value, range)) {
            if (range != ValueRange::normal)
                noteRange(events, range, i);
        } else {
            noteSkipped(events, state, line, lineStart, i);
        }
        floats[i] = single;
        if (doubles != nullptr)
            doubles[i] = value;
        ++i;
    }
    if (i < count && isSpent(source))
        i = repeatFailedReads(events, floats, doubles, i, count, stopWhenSpent, single, value);
    source.lastFloat = single;
    source.lastDouble = value;
    return i;
}

const SourceKind kColumnKind = {readColumns};

}  // namespace

void openColumnFile(ValueSource& source, int fd, const char* path, const Prefix& prefix, const SourceOptions& options)
{
    auto owned = std::make_unique<ColumnState>();
    ColumnState* const state = owned.get();
    startInputBuffer(state->input, fd, path, kColumnBufferSize);
    preloadInput(state->input, prefix.bytes.data(), prefix.bytes.size());
    skipByteOrderMark(state->input);
    state->lineStart = state->input.pos;
    state->delimited = options.delimiterGiven;
    state->delimiter = options.delimiter;
    for (int b = 0; b < 256; ++b) {
        state->padding[static_cast<std::size_t>(b)] = isPadding(*state, b);
        state->endsField[static_cast<std::size_t>(b)] =
            b == '\n' || b == '\0' || (state->delimited ? b == static_cast<unsigned char>(options.delimiter) : isBlank(b));
    }
    state->column = options.columnName != nullptr ? 0 : std::max<std::int64_t>(options.column, 1);
    if (options.columnName != nullptr)
        state->columnName = options.columnName;
    state->headerPending = options.header;
    source = ValueSource{};
    source.kind = &kColumnKind;
    source.path = path;
    source.state = ownedState(std::move(owned));
    std::string how = options.delimiterGiven ? shellQuoted(std::string(1, options.delimiter)) + "-separated"
                                             : "blank-separated";
    source.description = "text, field " +
                         (options.columnName != nullptr ? shellQuoted(options.columnName)
                                                        : std::to_string(state->column)) +
                         " of " + how + " lines";
    struct stat status;
    source.regularFile = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace calcgap::report
