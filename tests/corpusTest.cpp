// Every input of the fuzzing corpus, findings included, read by the value
// reader and by fscanf with every buffer size the fuzz target uses.
#include "readComparison.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

TEST(FuzzCorpus, EveryInputReadsAsFscanfReadsIt)
{
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(CALCGAP_CORPUS_DIR)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (bytes.empty())
            continue;
        ++inputs;
        for (std::size_t bufferSize : kBufferSizes) {
            const ReadComparison comparison = compareWithFscanf(bytes.substr(1), bufferSize, 4096);
            EXPECT_EQ(comparison.mismatch, "") << entry.path();
        }
    }
    EXPECT_GT(inputs, 10);
}

}  // namespace
