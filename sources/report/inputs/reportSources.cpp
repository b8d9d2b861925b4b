// Where the report's sources are chosen: from the operand, the options and
// the first bytes of the file.
#include "inputs/reportSources.h"

#include "reading/textSource.h"

#include "inputs/sourceKinds.h"

#include "inputs/textDoubles.h"

#include "reading/textReader.h"

#include "support/fail.h"
#include "support/quoting.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace calcgap::report {

namespace {

constexpr unsigned char kNpyMagic[] = {0x93, 'N', 'U', 'M', 'P', 'Y'};
constexpr unsigned char kHdf5Signature[] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1a, '\n'};

bool exists(const std::string& path)
{
    struct stat status;
    return ::stat(path.c_str(), &status) == 0;
}

// Where PATH ends in PATH:DATASET: the longest part before a colon that
// names a file, or 0 when the operand is no such thing.
std::size_t datasetPathLength(const char* operand)
{
    const std::string text(operand);
    if (exists(text))
        return 0;
    for (std::size_t colon = text.rfind(':'); colon != std::string::npos && colon > 0;
         colon = text.rfind(':', colon - 1))
        if (colon + 1 < text.size() && exists(text.substr(0, colon)))
            return colon;
    return 0;
}

constexpr std::size_t kPrefixSize = std::size_t{1} << 16;

// Reads the first bytes of the stream, at least as many as tell a .npy or
// HDF5 file from text, or fewer where it ends; a stream may give them a few
// at a time.
Prefix readPrefix(int fd, const char* path)
{
    Prefix prefix;
    prefix.bytes.resize(kPrefixSize);
    std::size_t length = 0;
    while (length < sizeof kHdf5Signature) {
        const std::size_t got = readRetrying(fd, path, prefix.bytes.data() + length, kPrefixSize - length);
        if (got == 0)
            break;
        length += got;
    }
    prefix.bytes.resize(length);
    return prefix;
}

bool startsWith(const Prefix& prefix, const unsigned char* magic, std::size_t length)
{
    return prefix.bytes.size() >= length && std::memcmp(prefix.bytes.data(), magic, length) == 0;
}

int openOperand(const char* operand)
{
    const std::string what = "cannot open " + shellQuoted(operand);
    if (std::strcmp(operand, "-") == 0) {
        const int fd = ::dup(STDIN_FILENO);
        if (fd < 0)
            fail(what.c_str(), std::strerror(errno));
        return fd;
    }
    return openValueFile(operand);
}

}  // namespace

void openReportSource(ValueSource& source, const char* operand, const SourceOptions& options)
{
    if (const std::size_t pathLength = datasetPathLength(operand)) {
        openHdf5Dataset(source, operand, pathLength, options);
        return;
    }
    const int fd = openOperand(operand);
    Prefix prefix = readPrefix(fd, operand);
    // A file that says what it holds is not read as raw values: its header
    // would be read as data.
    if (options.raw != RawType::none && startsWith(prefix, kNpyMagic, sizeof kNpyMagic))
        failSource(operand, "it is a .npy file, which says its own type: read it without --raw");
    if (options.raw != RawType::none && startsWith(prefix, kHdf5Signature, sizeof kHdf5Signature))
        failSource(operand, "it is an HDF5 file: read a dataset in it as " +
                                shellQuoted(std::string(operand) + ":DATASET") + ", without --raw");
    if (options.raw != RawType::none)
        openRawFile(source, fd, operand, prefix, options.raw);
    else if (startsWith(prefix, kNpyMagic, sizeof kNpyMagic))
        openNpyFile(source, fd, operand, prefix, options);
    else if (startsWith(prefix, kHdf5Signature, sizeof kHdf5Signature))
        failSource(operand, "it is an HDF5 file: name a dataset in it as " + shellQuoted(std::string(operand) + ":DATASET"));
    else if (options.column > 0 || options.columnName != nullptr || options.delimiterGiven || options.header)
        openColumnFile(source, fd, operand, prefix, options);
    else
        openTextFile(source, fd, operand, prefix, options);
}

std::vector<std::string> operandsMatching(const char* operand)
{
    const std::string text(operand);
    const std::size_t pathLength = datasetPathLength(operand);
    if (pathLength == 0 || text.find_first_of("*?[", pathLength + 1) == std::string::npos)
        return {text};
    const std::string path = text.substr(0, pathLength);
    std::vector<std::string> datasets = hdf5DatasetsMatching(path.c_str(), operand + pathLength + 1);
    if (datasets.empty())
        failSource(path.c_str(), "no dataset in it matches " + shellQuoted(operand + pathLength + 1));
    for (std::string& dataset : datasets)
        dataset = path + ":" + dataset;
    return datasets;
}

std::int64_t arrayColumnsOf(const char* operand, const SourceOptions& options)
{
    if (options.raw != RawType::none)
        return 0;
    if (datasetPathLength(operand) == 0) {
        // Only a regular file that begins as a .npy file is opened.
        struct stat status;
        if (::stat(operand, &status) != 0 || !S_ISREG(status.st_mode))
            return 0;
        const int fd = ::open(operand, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return 0;
        unsigned char magic[sizeof kNpyMagic] = {};
        const bool npy = ::read(fd, magic, sizeof magic) == static_cast<ssize_t>(sizeof magic) &&
                         std::memcmp(magic, kNpyMagic, sizeof magic) == 0;
        ::close(fd);
        if (!npy)
            return 0;
    }
    // Opened as every column in order, which any shape allows.
    SourceOptions flat = options;
    flat.flatArrays = true;
    flat.rowWidth = 0;
    flat.column = 0;
    ValueSource source;
    openReportSource(source, operand, flat);
    return source.arrayColumns;
}

void openTextFile(ValueSource& source, int fd, const char* path, const Prefix& prefix, const SourceOptions&)
{
    TextOptions text;
    text.positions = true;
    text.skipByteOrderMark = true;
    text.comments = true;
    attachTextSource(source, fd, path, text, prefix.bytes.data(), prefix.bytes.size());
    readTextAsDoubles(source);
}

}  // namespace calcgap::report
