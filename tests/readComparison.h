// One input read both by the value reader and by the C library's fscanf
// "%f", read after read: whether a value is stored, its bits, and how far
// each has consumed the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Reader buffer sizes that put a buffer's end at every place in a token,
// and the reader's own.
constexpr std::size_t kBufferSizes[] = {1, 2, 3, 5, 7, 16, 17, 64, 65536};

// A file in memory holding the bytes, open for reading at its start; its
// descriptor, which the caller closes.
int memoryFile(const std::string& bytes);

// A path that opens the same file again, with an offset of its own.
std::string pathOf(int fd);

// In place of a buffer size: the float reader opens the file by its path, as
// the tools do, and so maps it where it is large enough; the double reader
// is not compared.
constexpr std::size_t kOpenedByPath = 0;

struct ReadComparison {
    long reads = 0;
    // The float reader read from a mapping of the file.
    bool mapped = false;
    // Empty when every read agreed; otherwise the first disagreement.
    std::string mismatch;
};

// Compares up to maxReads reads, or until both sides have settled at a place
// where every read fails without consuming anything: the float reader with
// fscanf "%f", then the report's double reader with fscanf "%lf", and its
// float of each token with "%f".  reads counts the reads of both.
ReadComparison compareWithFscanf(const std::string& bytes, std::size_t bufferSize, long maxReads);

std::uint32_t floatBits(float value);

// The bytes with anything unprintable escaped, for messages.
std::string shown(const std::string& bytes);
