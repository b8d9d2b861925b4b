// Arrays of float32 or float64 values as a source, as .npy files and
// numpy's tofile write them: streamed through a fixed buffer, one value a
// row, in either byte order.  The doubles are the values; the floats, for
// the classic lines, are float32 values as they are and float64 values
// rounded to float.
#include "inputs/sourceKinds.h"

#include "support/fail.h"
#include "measures/laneClones.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>
#include <sys/stat.h>
#include <unistd.h>

namespace calcgap::report {

namespace {

struct ArrayState {
    InputBuffer input;
    ArrayLayout layout;
    std::size_t rowBytes = 0;
    std::int64_t rowsRead = 0;
};

// Bytes of the array read so far.
std::uint64_t bytesRead(const ArrayState& state)
{
    return state.input.bufferOffset + state.input.end;
}

constexpr std::size_t kArrayBufferSize = std::size_t{1} << 16;

template <typename T>
T loadElement(const unsigned char* bytes, bool swap)
{
    using Bits = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;
    Bits bits;
    std::memcpy(&bits, bytes, sizeof bits);
    if (swap)
        bits = sizeof bits == 4 ? static_cast<Bits>(__builtin_bswap32(static_cast<std::uint32_t>(bits)))
                                : static_cast<Bits>(__builtin_bswap64(bits));
    return std::bit_cast<T>(bits);
}

[[noreturn]] void failShort(const ValueSource& source, const ArrayState& state)
{
    const ArrayLayout& layout = state.layout;
    if (layout.rows >= 0)
        failSource(source.path, "it ends after " + std::to_string(state.rowsRead / layout.valuesPerRow) + " of the " +
                                    std::to_string(layout.rows / layout.valuesPerRow) + " rows its header declares");
    failSource(source.path, "its length, " + std::to_string(bytesRead(state)) + " bytes, is not a whole number of " +
                                std::to_string(layout.elementSize) + "-byte values");
}

// Makes room for at least one whole row in the buffer, reading more;
// false at the end of the data.
bool fillRow(ValueSource& source, ArrayState& state)
{
    if (fillInput(state.input, state.rowBytes))
        return true;
    if (state.input.end != state.input.pos)
        failShort(source, state);
    return false;
}

template <typename T>
[[gnu::always_inline]] inline std::int32_t convertRows(ValueSource& source, ArrayState& state, float* floats,
                                                       double* doubles, std::int32_t first, std::int32_t count,
                                                       std::int32_t& nonFinite)
{
    const ArrayLayout& layout = state.layout;
    const std::size_t available = (state.input.end - state.input.pos) / state.rowBytes;
    std::int64_t rows = std::min<std::int64_t>(count - first, static_cast<std::int64_t>(available));
    if (layout.rows >= 0)
        rows = std::min(rows, layout.rows - state.rowsRead);
    const unsigned char* bytes = state.input.buffer + state.input.pos + static_cast<std::size_t>(layout.column) * sizeof(T);
    // A subnormal's bits, its sign cleared, lie from 1 to those of the
    // smallest normal less 1, and only a subnormal's do: with 1 taken off,
    // zero wraps above the range.  As integers, in a count of at most a
    // block's values, the test vectorizes on every x86-64.
    using Bits = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;
    constexpr Bits kMagnitude = ~Bits{0} >> 1;
    constexpr Bits kSmallestNormalBits =
        std::bit_cast<Bits>(sizeof(T) == 4 ? static_cast<T>(FLT_MIN) : static_cast<T>(DBL_MIN));
    // An infinity's or a NaN's exponent field is all ones, and only theirs.
    constexpr Bits kExponentField = std::bit_cast<Bits>(std::numeric_limits<T>::infinity());
    Bits subnormals = 0;
    Bits infiniteOrNaN = 0;
    const auto take = [&](std::int64_t r, T value) {
        subnormals += (std::bit_cast<Bits>(value) & kMagnitude) - 1 < kSmallestNormalBits - 1 ? 1 : 0;
        infiniteOrNaN += (std::bit_cast<Bits>(value) & kExponentField) == kExponentField ? 1 : 0;
        const auto i = static_cast<std::size_t>(first + r);
        floats[i] = static_cast<float>(value);
        if (doubles != nullptr)
            doubles[i] = static_cast<double>(value);
    };
    // One column in the machine's byte order, as nearly every file is: a
    // loop the compiler vectorizes.
    if (state.rowBytes == sizeof(T) && !layout.swapBytes) {
        for (std::int64_t r = 0; r < rows; ++r) {
            T value;
            std::memcpy(&value, bytes + static_cast<std::size_t>(r) * sizeof(T), sizeof value);
            take(r, value);
        }
    } else {
        for (std::int64_t r = 0; r < rows; ++r, bytes += state.rowBytes)
            take(r, loadElement<T>(bytes, layout.swapBytes));
    }
    source.events.underflows += static_cast<std::int64_t>(subnormals);
    nonFinite += static_cast<std::int32_t>(infiniteOrNaN);
    state.input.pos += static_cast<std::size_t>(rows) * state.rowBytes;
    state.rowsRead += rows;
    return first + static_cast<std::int32_t>(rows);
}

// The conversions of each element size, built for AVX2 too.
CALCGAP_LANE_CLONES std::int32_t convertFloatRows(ValueSource& source, ArrayState& state, float* floats,
                                                  double* doubles, std::int32_t first, std::int32_t count,
                                                  std::int32_t& nonFinite)
{
    return convertRows<float>(source, state, floats, doubles, first, count, nonFinite);
}

CALCGAP_LANE_CLONES std::int32_t convertDoubleRows(ValueSource& source, ArrayState& state, float* floats,
                                                   double* doubles, std::int32_t first, std::int32_t count,
                                                   std::int32_t& nonFinite)
{
    return convertRows<double>(source, state, floats, doubles, first, count, nonFinite);
}

std::int32_t readArray(ValueSource& source, float* floats, double* doubles, std::int32_t count, bool stopWhenSpent)
{
    auto& state = stateOf<ArrayState>(source);
    ReadEvents& events = source.events;
    std::int32_t i = 0;
    // Infinities and NaNs among the values stored, which the conversion
    // sees at no cost, so that none of the block's values need looking at
    // again where there are none.
    std::int32_t nonFinite = 0;
    while (i < count && !isSpent(source)) {
        const bool more = (state.layout.rows < 0 || state.rowsRead < state.layout.rows) && fillRow(source, state);
        if (!more) {
            if (state.layout.rows >= 0 && state.rowsRead < state.layout.rows)
                failShort(source, state);
            events.spentAt = events.reads + i;
            events.end = SourceEnd::endOfData;
            break;
        }
        i = state.layout.elementSize == 4 ? convertFloatRows(source, state, floats, doubles, i, count, nonFinite)
                                          : convertDoubleRows(source, state, floats, doubles, i, count, nonFinite);
    }
    events.allFinite = nonFinite == 0;
    if (i > 0) {
        source.lastFloat = floats[i - 1];
        if (doubles != nullptr)
            source.lastDouble = doubles[i - 1];
    }
    // Reads past the end repeat the last value, as they do of text.
    if (i < count && isSpent(source))
        i = repeatSpentReads(source, floats, doubles, i, count, stopWhenSpent);
    return i;
}

const SourceKind kArrayKind = {readArray};

}  // namespace

void openArray(ValueSource& source, int fd, const char* path, const unsigned char* first, std::size_t firstLength,
               const ArrayLayout& layout)
{
    auto owned = std::make_unique<ArrayState>();
    ArrayState* const state = owned.get();
    state->layout = layout;
    state->rowBytes = static_cast<std::size_t>(layout.columns) * layout.elementSize;
    // Room for at least one row, however wide.
    startInputBuffer(state->input, fd, path, std::max({kArrayBufferSize, 2 * state->rowBytes, firstLength}));
    preloadInput(state->input, first, firstLength);
    source = ValueSource{};
    source.kind = &kArrayKind;
    source.path = path;
    source.state = ownedState(std::move(owned));
    source.description = layout.description;
    struct stat status;
    source.regularFile = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

void openRawFile(ValueSource& source, int fd, const char* path, const Prefix& prefix, RawType type)
{
    ArrayLayout layout;
    layout.elementSize = type == RawType::f4 ? 4 : 8;
    layout.swapBytes = std::endian::native != std::endian::little;
    layout.columns = 1;
    layout.column = 0;
    layout.rows = -1;
    layout.description = type == RawType::f4 ? "raw f4" : "raw f8";
    openArray(source, fd, path, prefix.bytes.data(), prefix.bytes.size(), layout);
}

}  // namespace calcgap::report
