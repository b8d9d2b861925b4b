// The exact "%f" text reader as a value source, and what every source
// shares: closing, and the check that two value files are not one stream.
#include "reading/valueSource.h"

#include "support/fail.h"
#include "support/quoting.h"
#include "reading/textReader.h"

#include <cstring>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Floats only: the classic tools read nothing else, and the report reads
// doubles through a kind of its own over the same reader.
std::int32_t readText(ValueSource& source, float* floats, double*, std::int32_t count, bool stopWhenSpent)
{
    auto& reader = *static_cast<ValueReader*>(source.state);
    const std::int32_t made = readTextValues(reader, source.events, floats, 0, count, source.lastFloat, stopWhenSpent);
    source.events.commentLines = reader.commentLines;
    return made;
}

void readTextPairs(ValueSource& first, ValueSource& second, float* as, float* bs, std::int32_t count)
{
    auto& firstReader = *static_cast<ValueReader*>(first.state);
    auto& secondReader = *static_cast<ValueReader*>(second.state);
    readTextValuePairs(firstReader, first.events, as, first.lastFloat, secondReader, second.events, bs,
                       second.lastFloat, count);
    first.events.commentLines = firstReader.commentLines;
    second.events.commentLines = secondReader.commentLines;
}

void closeText(ValueSource& source)
{
    auto* const reader = static_cast<ValueReader*>(source.state);
    closeValueReader(*reader);
    delete reader;
}

}  // namespace

const SourceKind kTextSourceKind = {"text", readText, closeText, readTextPairs};

namespace {

void startText(ValueSource& source, ValueReader* reader, const char* path, const TextOptions& options)
{
    source = ValueSource{};
    source.kind = &kTextSourceKind;
    source.path = path;
    source.description = "text";
    source.state = reader;
    struct stat status;
    source.regularFile = ::fstat(reader->fd, &status) == 0 && S_ISREG(status.st_mode);
    reader->countingLines = options.positions;
    reader->comments = options.comments;
    if (options.skipByteOrderMark) {
        skipByteOrderMark(*reader);
        source.events.byteOrderMark = reader->dataStart > 0;
    }
}

bool isStandardInput(const char* path, bool dashIsStandardInput)
{
    return dashIsStandardInput && std::strcmp(path, "-") == 0;
}

}  // namespace

void attachTextSource(ValueSource& source, int fd, const char* path, const TextOptions& options,
                      const unsigned char* prefix, std::size_t prefixLength)
{
    auto* const reader = new ValueReader;
    attachValueReader(*reader, fd, path);
    preloadValueReader(*reader, prefix, prefixLength);
    startText(source, reader, path, options);
}

void openTextSource(ValueSource& source, const char* path, const TextOptions& options)
{
    auto* const reader = new ValueReader;
    openValueReader(*reader, path);
    startText(source, reader, path, options);
}

void closeValueSource(ValueSource& source)
{
    source.kind->close(source);
    source = ValueSource{};
}

void checkDistinctStreams(const std::vector<const char*>& paths, bool dashIsStandardInput)
{
    // Only a stream that is not a regular file, or standard input, can be
    // two of the files; each path is looked at once, and only those are
    // compared with each other.
    struct Looked {
        const char* path;
        bool input;
        struct stat status;
    };
    std::vector<Looked> streams;
    for (const char* path : paths) {
        Looked looked{path, isStandardInput(path, dashIsStandardInput), {}};
        if ((looked.input ? ::fstat(STDIN_FILENO, &looked.status) : ::stat(path, &looked.status)) != 0)
            continue;
        if (looked.input || !S_ISREG(looked.status.st_mode))
            streams.push_back(looked);
    }
    for (std::size_t i = 0; i < streams.size(); ++i) {
        for (std::size_t j = i + 1; j < streams.size(); ++j) {
            const Looked& one = streams[i];
            const Looked& other = streams[j];
            const bool oneStream = one.status.st_dev == other.status.st_dev &&
                                   one.status.st_ino == other.status.st_ino &&
                                   (!S_ISREG(one.status.st_mode) || (one.input && other.input));
            if (!oneStream)
                continue;
            const std::string what =
                "cannot read " + shellQuoted(one.path) + " and " + shellQuoted(other.path) + " as two value files";
            fail(what.c_str(), one.input && other.input ? "they are both standard input"
                                                        : "they are one stream, not a regular file");
        }
    }
}
