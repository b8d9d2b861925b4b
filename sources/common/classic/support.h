// The support functions the shared library offers beside the tools' frame,
// which no tool calls: the point file reader, two uniform random draws and
// the assertion report they use.
#pragma once

#include <cstdint>

namespace calcgap {

[[noreturn]] void assertFailed(int line, const char* file);

#define ASSERT(condition)                          \
    do {                                           \
        if (!(condition))                          \
            assertFailed(__LINE__, __FILE__);      \
    } while (0)

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

}  // namespace calcgap
