#include "readComparison.h"

#include "inputs/textDoubles.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/mman.h>
#include <unistd.h>

using namespace calcgap;
using namespace calcgap::report;

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

namespace {

// Long inputs are shown around the place where the two differ.
std::string around(const std::string& bytes, long position, std::size_t bufferSize, long reads)
{
    const std::size_t at = static_cast<std::size_t>(position < 0 ? 0 : position);
    const std::size_t from = bytes.size() > 300 && at > 100 ? at - 100 : 0;
    const std::string context = bytes.size() > 300 ? bytes.substr(from, 150) : bytes;
    std::ostringstream message;
    message << "read " << reads << " of \"" << shown(context) << "\" (from byte " << from << " of " << bytes.size()
            << ") with a " << bufferSize << "-byte buffer: ";
    return message.str();
}

std::uint64_t doubleBits(double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// The float reader against fscanf "%f".
void compareFloats(const std::string& bytes, const std::string& path, std::size_t bufferSize, long maxReads,
                   ReadComparison& result)
{
    std::FILE* reference = std::fopen(path.c_str(), "r");
    ValueReader reader;
    if (bufferSize == kOpenedByPath)
        openValueReader(reader, path.c_str());
    else
        attachValueReader(reader, ::open(path.c_str(), O_RDONLY), path.c_str(), bufferSize);
    int settled = 0;
    long previous = -1;
    long reads = 0;
    while (reads < maxReads && settled < 2) {
        float expected = -1234.5f;
        float actual = -1234.5f;
        const int status = std::fscanf(reference, "%f", &expected);
        const bool stored = readValue(reader, actual);
        const long expectedPosition = std::ftell(reference);
        ++reads;
        if (stored != (status == 1) || floatBits(actual) != floatBits(expected) ||
            consumedBytes(reader) != static_cast<std::uint64_t>(expectedPosition)) {
            std::ostringstream message;
            message << around(bytes, expectedPosition, bufferSize, reads) << "fscanf gave status " << status
                    << ", bits " << std::hex << floatBits(expected) << std::dec << ", position " << expectedPosition
                    << "; the reader gave " << (stored ? "a value" : "no value") << ", bits " << std::hex
                    << floatBits(actual) << std::dec << ", position " << consumedBytes(reader);
            result.mismatch = message.str();
            break;
        }
        settled = status != 1 && expectedPosition == previous ? settled + 1 : 0;
        previous = expectedPosition;
        result.mapped = result.mapped || reader.input.mapping != nullptr;
    }
    result.reads += reads;
    reader = ValueReader{};
    std::fclose(reference);
}

// The report's reader, a read at a time, against fscanf "%lf" for the double
// and "%f" for the float of the same token.
void compareDoubles(const std::string& bytes, const std::string& path, std::size_t bufferSize, long maxReads,
                    ReadComparison& result)
{
    std::FILE* reference = std::fopen(path.c_str(), "r");
    std::FILE* singles = std::fopen(path.c_str(), "r");
    ValueReader reader;
    attachValueReader(reader, ::open(path.c_str(), O_RDONLY), path.c_str(), bufferSize);
    ReadEvents events;
    float single = -1234.5f;
    double value = -1234.5;
    int settled = 0;
    long previous = -1;
    long reads = 0;
    while (reads < maxReads && settled < 2) {
        double expected = value;
        float expectedSingle = single;
        const int status = std::fscanf(reference, "%lf", &expected);
        std::fscanf(singles, "%f", &expectedSingle);
        events.anyFailed = false;
        events.failed[0] = 0;
        readTextDoubles(reader, events, &single, &value, 1, single, value, false);
        const bool stored = !readFailed(events, 0);
        const long expectedPosition = std::ftell(reference);
        ++reads;
        if (stored != (status == 1) || doubleBits(value) != doubleBits(expected) ||
            floatBits(single) != floatBits(expectedSingle) ||
            consumedBytes(reader) != static_cast<std::uint64_t>(expectedPosition)) {
            std::ostringstream message;
            message << around(bytes, expectedPosition, bufferSize, reads) << "fscanf gave status " << status
                    << ", double bits " << std::hex << doubleBits(expected) << ", float bits "
                    << floatBits(expectedSingle) << std::dec << ", position " << expectedPosition
                    << "; the double reader gave " << (stored ? "a value" : "no value") << ", double bits "
                    << std::hex << doubleBits(value) << ", float bits " << floatBits(single) << std::dec
                    << ", position " << consumedBytes(reader);
            result.mismatch = message.str();
            break;
        }
        settled = status != 1 && expectedPosition == previous ? settled + 1 : 0;
        previous = expectedPosition;
    }
    result.reads += reads;
    reader = ValueReader{};
    std::fclose(reference);
    std::fclose(singles);
}

}  // namespace

ReadComparison compareWithFscanf(const std::string& bytes, std::size_t bufferSize, long maxReads)
{
    ReadComparison result;
    // Every side reads one in-memory file through descriptors of its own.
    const int memory = memoryFile(bytes);
    const std::string path = pathOf(memory);
    compareFloats(bytes, path, bufferSize, maxReads, result);
    if (result.mismatch.empty() && bufferSize != kOpenedByPath)
        compareDoubles(bytes, path, bufferSize, maxReads, result);
    ::close(memory);
    return result;
}
