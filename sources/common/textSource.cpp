// The exact "%f" text reader as a value source, and what every source
// shares: closing, and the check that two value files are not one stream.
#include "valueSource.h"

#include "fail.h"
#include "quoting.h"
#include "textReader.h"

#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::int32_t readText(ValueSource& source, float* floats, double* doubles, std::int32_t count, bool stopWhenSpent)
{
    auto& reader = *static_cast<ValueReader*>(source.state);
    const std::int32_t made =
        doubles == nullptr
            ? readTextValues(reader, source.events, floats, 0, count, source.lastFloat, stopWhenSpent)
            : readTextDoubles(reader, source.events, floats, doubles, count, source.lastFloat, source.lastDouble,
                              stopWhenSpent);
    source.events.commentLines = reader.commentLines;
    return made;
}

void closeText(ValueSource& source)
{
    auto* const reader = static_cast<ValueReader*>(source.state);
    closeValueReader(*reader);
    delete reader;
}

const SourceKind kTextKind = {"text", readText, closeText};

void startText(ValueSource& source, ValueReader* reader, const char* path, const TextOptions& options)
{
    source = ValueSource{};
    source.kind = &kTextKind;
    source.path = path;
    source.description = "text";
    source.state = reader;
    struct stat status;
    source.regularFile = ::fstat(reader->fd, &status) == 0 && S_ISREG(status.st_mode);
    reader->countingLines = options.positions;
    reader->comments = options.comments;
    if (options.skipByteOrderMark)
        skipByteOrderMark(*reader);
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

void checkDistinctStreams(const char* onePath, const char* otherPath, bool dashIsStandardInput)
{
    const bool oneIsInput = isStandardInput(onePath, dashIsStandardInput);
    const bool otherIsInput = isStandardInput(otherPath, dashIsStandardInput);
    struct stat one;
    struct stat other;
    if ((oneIsInput ? ::fstat(STDIN_FILENO, &one) : ::stat(onePath, &one)) != 0 ||
        (otherIsInput ? ::fstat(STDIN_FILENO, &other) : ::stat(otherPath, &other)) != 0)
        return;
    const bool oneStream = one.st_dev == other.st_dev && one.st_ino == other.st_ino &&
                           (!S_ISREG(one.st_mode) || (oneIsInput && otherIsInput));
    if (oneStream) {
        const std::string what =
            "cannot read " + shellQuoted(onePath) + " and " + shellQuoted(otherPath) + " as two value files";
        fail(what.c_str(), oneIsInput && otherIsInput ? "they are both standard input"
                                                         : "they are one stream, not a regular file");
    }
}
