// libFuzzer target: arbitrary bytes read by the value reader and by fscanf
// "%f", read after read.  The first byte picks the reader's buffer size, so
// that tokens cross buffer boundaries at every offset.
#include "readComparison.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t bufferSize = kBufferSizes[data[0] % std::size(kBufferSizes)];
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const ReadComparison comparison = compareWithFscanf(bytes, bufferSize, 4096);
    if (!comparison.mismatch.empty()) {
        std::fprintf(stderr, "%s\n", comparison.mismatch.c_str());
        std::abort();
    }
    return 0;
}
