// Block reads as repeated fscanf "%f" reads make them: the plain decimals
// straight from the buffer through the tokenizers of decimalParts.h and the
// conversion of decimalConversion.h where it can prove the float, the rest
// through the reader's general scanner.
#include "reading/textReader.h"

#include "reading/decimalConversion.h"
#include "reading/floatToken.h"

namespace calcgap {

namespace {

// Kept out of line so that the loops around the fast paths stay small.
[[gnu::noinline]] bool scanGeneral(ValueReader& reader, float& value)
{
    if (!scanNextToken(reader))
        return false;
    value = floatFromToken(*reader.token);
    return true;
}

// The fast paths read from memory and take a token only when they are sure of
// the outcome; anything else goes to the general path.
[[gnu::always_inline]] inline const unsigned char* readFast(const unsigned char* p,
                                                          const unsigned char* end, float& value)
{
    DecimalParts parts;
    const unsigned char* next = readWindowedDecimal(p, end, parts);
    if (next == nullptr) {
        parts = DecimalParts{};
        next = readPlainDecimal(p, end, parts);
    }
    return next != nullptr && floatFromParts(parts, value) ? next : nullptr;
}

[[gnu::always_inline]] inline bool readAt(ValueReader& reader, Cursor& cursor, float& value)
{
    return readAtCursor(
        reader, cursor, [&](const unsigned char* p, const unsigned char* end) __attribute__((always_inline)) { return readFast(p, end, value); },
        [&]() __attribute__((always_inline)) { return scanGeneral(reader, value); });
}

}  // namespace

bool readValue(ValueReader& reader, float& value)
{
    Cursor cursor = cursorOf(reader);
    const bool stored = readAt(reader, cursor, value);
    reader.input.pos = static_cast<std::size_t>(cursor.p - reader.input.buffer);
    return stored;
}

void readTextValuePairs(ValueReader& first, ReadEvents& firstEvents, float* as, float& lastA, ValueReader& second,
                        ReadEvents& secondEvents, float* bs, float& lastB, std::int32_t count)
{
    // Each file's reads form one chain, held in registers through its
    // cursor; the two chains in turn keep the processor busy with both.
    Cursor firstCursor = cursorOf(first);
    Cursor secondCursor = cursorOf(second);
    float a = lastA;
    float b = lastB;
    std::int32_t i = 0;
    bool gotA = true;
    bool gotB = true;
    for (; i < count; ++i) {
        gotA = readAt(first, firstCursor, a);
        gotB = readAt(second, secondCursor, b);
        as[i] = a;
        bs[i] = b;
        if (__builtin_expect(!(gotA && gotB), 0))
            break;
    }
    first.input.pos = static_cast<std::size_t>(firstCursor.p - first.input.buffer);
    second.input.pos = static_cast<std::size_t>(secondCursor.p - second.input.buffer);
    lastA = a;
    lastB = b;
    if (i == count)
        return;
    // Read i stored nothing in one file or both: each goes on alone from
    // there, the failed one noted as its own reads would note it.
    if (!gotA)
        noteFailedRead(first, firstEvents, i);
    if (!gotB)
        noteFailedRead(second, secondEvents, i);
    readTextValues(first, firstEvents, as, i + 1, count, lastA, false);
    readTextValues(second, secondEvents, bs, i + 1, count, lastB, false);
}

std::int32_t readTextValues(ValueReader& reader, ReadEvents& events, float* values, std::int32_t first,
                            std::int32_t count, float& last, bool stopWhenSpent)
{
    // Where one token ends is known only once it is parsed, so the reads
    // form one chain, held in registers through the cursor.
    Cursor cursor = cursorOf(reader);
    float value = last;
    std::int32_t i = first;
    while (i < count) {
        if (!readAt(reader, cursor, value)) {
            noteFailedRead(reader, events, i);
            if (reader.stuck) {
                // Every read from here on fails at the same place.
                i = repeatFailedReads(events, values, nullptr, i, count, stopWhenSpent, value, 0.0);
                break;
            }
        }
        values[i++] = value;
    }
    reader.input.pos = static_cast<std::size_t>(cursor.p - reader.input.buffer);
    last = value;
    return i;
}

}  // namespace calcgap
