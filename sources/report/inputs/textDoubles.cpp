// Text to double and float together: the plain decimals through the
// tokenizers and the double conversion, the rest through the "%f" reader's
// general scanner, to strtod's double and strtof's float.
#include "inputs/textDoubles.h"

#include "reading/decimalParts.h"
#include "reading/floatToken.h"
#include "inputs/doubleConversion.h"

#include <cfloat>
#include <cmath>

namespace calcgap::report {

namespace {

// Kept out of line so that the loop around the fast path stays small.
[[gnu::noinline]] bool scanGeneralDual(ValueReader& reader, float& single, double& value, ValueRange& range)
{
    if (!scanNextToken(reader))
        return false;
    FloatToken& token = *reader.token;
    value = doubleFromToken(token);
    single = floatFromToken(token);
    range = ValueRange::normal;
    if (std::isinf(value) && token.special == FloatToken::Special::none)
        range = ValueRange::overflow;
    else if (std::fabs(value) < DBL_MIN && hasNonzeroDigit(token))
        range = value == 0.0 ? ValueRange::underflowToZero : ValueRange::subnormal;
    return true;
}

[[gnu::always_inline]] inline bool readDualAt(ValueReader& reader, Cursor& cursor, float& single, double& value,
                                             ReadEvents& events, std::int32_t i)
{
    return readAtCursor(
        reader, cursor,
        [&](const unsigned char* p, const unsigned char* end) __attribute__((always_inline)) { return readDecimalDual(p, end, single, value); },
        [&]() __attribute__((always_inline)) {
            ValueRange range;
            const bool stored = scanGeneralDual(reader, single, value, range);
            if (stored && range != ValueRange::normal)
                noteRange(events, range, i);
            return stored;
        });
}

// Floats alone as the text kind reads them; with doubles, both at once.
std::int32_t readDoubleText(ValueSource& source, float* floats, double* doubles, std::int32_t count,
                            bool stopWhenSpent)
{
    if (doubles == nullptr)
        return kTextSourceKind.read(source, floats, nullptr, count, stopWhenSpent);
    auto& reader = stateOf<ValueReader>(source);
    const std::int32_t made = readTextDoubles(reader, source.events, floats, doubles, count, source.lastFloat,
                                              source.lastDouble, stopWhenSpent);
    source.events.commentLines = reader.commentLines;
    return made;
}

}  // namespace

std::int32_t readTextDoubles(ValueReader& reader, ReadEvents& events, float* floats, double* doubles,
                             std::int32_t count, float& lastFloat, double& lastDouble, bool stopWhenSpent)
{
    // Where one token ends is known only once it is parsed, so the reads
    // form one chain, held in registers through the cursor.
    Cursor cursor = cursorOf(reader);
    float single = lastFloat;
    double value = lastDouble;
    std::int32_t i = 0;
    while (i < count) {
        if (!readDualAt(reader, cursor, single, value, events, i)) {
            noteFailedRead(reader, events, i);
            if (reader.stuck) {
                // Every read from here on fails at the same place.
                i = repeatFailedReads(events, floats, doubles, i, count, stopWhenSpent, single, value);
                break;
            }
        }
        floats[i] = single;
        doubles[i++] = value;
    }
    reader.input.pos = static_cast<std::size_t>(cursor.p - reader.input.buffer);
    lastFloat = single;
    lastDouble = value;
    return i;
}

void readTextAsDoubles(ValueSource& source)
{
    // The text kind's paired reads, which read floats only.
    static const SourceKind kDoubleText = {readDoubleText, kTextSourceKind.readPairs};
    source.kind = &kDoubleText;
}

}  // namespace calcgap::report
