// One input read both by the value reader and by the C library's fscanf
// "%f", read after read: whether a value is stored, its bits, and how far
// each has consumed the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct ReadComparison {
    long reads = 0;
    // Empty when every read agreed; otherwise the first disagreement.
    std::string mismatch;
};

// Compares up to maxReads reads, or until both sides have settled at a place
// where every read fails without consuming anything.
ReadComparison compareWithFscanf(const std::string& bytes, std::size_t bufferSize, long maxReads);

std::uint32_t floatBits(float value);

// The bytes with anything unprintable escaped, for messages.
std::string shown(const std::string& bytes);
