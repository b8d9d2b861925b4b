// What the tools print on standard output, written in full or reported as an
// error: a failed write (a full disk, a closed output, a reader that went
// away) is never a silent success.
#pragma once

#include "support/fail.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace calcgap {

// Writes the bytes on standard output, straight to the descriptor; a failed
// write ends the process with "WHAT: REASON".
void writeOutput(const char* data, std::size_t length, const char* what);

// Prints the result as "%f\n"; a failed write ends the process.
void printResult(float result);

// Flushes what stdio holds for standard output; a failed write ends the
// process with "WHAT: REASON".
void flushOutput(const char* what);

// Output of any length through a fixed buffer from the free store, written
// whenever it fills, so that what a long report costs in memory is the
// buffer alone.
struct OutputBuffer {
    std::unique_ptr<char[], FreeMemory> data;
    std::size_t used = 0;
    const char* what = nullptr;
};

constexpr std::size_t kOutputBufferSize = 1 << 16;

// what is the "what failed" of a write that fails.
void startOutput(OutputBuffer& out, const char* what);
void writeRest(OutputBuffer& out, std::string_view text);

inline void put(OutputBuffer& out, std::string_view text)
{
    if (text.size() <= kOutputBufferSize - out.used) {
        std::memcpy(out.data.get() + out.used, text.data(), text.size());
        out.used += text.size();
        return;
    }
    writeRest(out, text);
}

// Writes what is left in the buffer and releases it.
void finishOutput(OutputBuffer& out);

}  // namespace calcgap
