#include "readComparison.h"

#include "textReader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/mman.h>
#include <unistd.h>

std::uint32_t floatBits(float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

std::string shown(const std::string& bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        }
    }
    return out;
}

int memoryFile(const std::string& bytes)
{
    const int fd = ::memfd_create("calcGapTest", 0);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        std::abort();
    ::lseek(fd, 0, SEEK_SET);
    return fd;
}

std::string pathOf(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

ReadComparison compareWithFscanf(const std::string& bytes, std::size_t bufferSize, long maxReads)
{
    ReadComparison result;
    // Both sides read one in-memory file through descriptors of their own.
    const int memory = memoryFile(bytes);
    const std::string path = pathOf(memory);
    std::FILE* reference = std::fopen(path.c_str(), "r");
    ValueReader reader;
    attachValueReader(reader, ::open(path.c_str(), O_RDONLY), path.c_str(), bufferSize);

    int settled = 0;
    long previous = -1;
    while (result.reads < maxReads && settled < 2) {
        float expected = -1234.5f;
        float actual = -1234.5f;
        const int status = std::fscanf(reference, "%f", &expected);
        const bool stored = readValue(reader, actual);
        const long expectedPosition = std::ftell(reference);
        ++result.reads;
        if (stored != (status == 1) || floatBits(actual) != floatBits(expected) ||
            consumedBytes(reader) != static_cast<std::uint64_t>(expectedPosition)) {
            // Long inputs are shown around the place where the two differ.
            const std::size_t at = static_cast<std::size_t>(expectedPosition < 0 ? 0 : expectedPosition);
            const std::size_t from = bytes.size() > 300 && at > 100 ? at - 100 : 0;
            const std::string context = bytes.size() > 300 ? bytes.substr(from, 150) : bytes;
            std::ostringstream message;
            message << "read " << result.reads << " of \"" << shown(context) << "\" (from byte "
                    << from << " of " << bytes.size() << ") with a " << bufferSize
                    << "-byte buffer: fscanf gave status " << status << ", bits " << std::hex
                    << floatBits(expected) << std::dec << ", position " << expectedPosition
                    << "; the reader gave " << (stored ? "a value" : "no value") << ", bits "
                    << std::hex << floatBits(actual) << std::dec << ", position "
                    << consumedBytes(reader);
            result.mismatch = message.str();
            break;
        }
        settled = status != 1 && expectedPosition == previous ? settled + 1 : 0;
        previous = expectedPosition;
    }
    closeValueReader(reader);
    std::fclose(reference);
    ::close(memory);
    return result;
}
