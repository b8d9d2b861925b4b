// The exact "%f" text reader as a value source.
#include "reading/textSource.h"

#include "reading/textReader.h"

#include <memory>
#include <utility>
#include <sys/stat.h>

namespace calcgap {

namespace {

// Floats only: the classic tools read nothing else, and the report reads
// doubles through a kind of its own over the same reader.
std::int32_t readText(ValueSource& source, float* floats, double*, std::int32_t count, bool stopWhenSpent)
{
    auto& reader = stateOf<ValueReader>(source);
    const std::int32_t made = readTextValues(reader, source.events, floats, 0, count, source.lastFloat, stopWhenSpent);
    source.events.commentLines = reader.commentLines;
    return made;
}

void readTextPairs(ValueSource& first, ValueSource& second, float* as, float* bs, std::int32_t count)
{
    auto& firstReader = stateOf<ValueReader>(first);
    auto& secondReader = stateOf<ValueReader>(second);
    readTextValuePairs(firstReader, first.events, as, first.lastFloat, secondReader, second.events, bs,
                       second.lastFloat, count);
    first.events.commentLines = firstReader.commentLines;
    second.events.commentLines = secondReader.commentLines;
}

}  // namespace

const SourceKind kTextSourceKind = {readText, readTextPairs};

namespace {

void startText(ValueSource& source, std::unique_ptr<ValueReader> owned, const char* path, const TextOptions& options)
{
    ValueReader* const reader = owned.get();
    source = ValueSource{};
    source.kind = &kTextSourceKind;
    source.path = path;
    source.description = "text";
    source.state = ownedState(std::move(owned));
    struct stat status;
    source.regularFile = ::fstat(reader->input.file.fd, &status) == 0 && S_ISREG(status.st_mode);
    reader->countingLines = options.positions;
    reader->comments = options.comments;
    if (options.skipByteOrderMark) {
        skipByteOrderMark(*reader);
        source.events.byteOrderMark = reader->dataStart > 0;
    }
}

}  // namespace

void attachTextSource(ValueSource& source, int fd, const char* path, const TextOptions& options,
                      const unsigned char* prefix, std::size_t prefixLength)
{
    auto reader = std::make_unique<ValueReader>();
    attachValueReader(*reader, fd, path);
    preloadValueReader(*reader, prefix, prefixLength);
    startText(source, std::move(reader), path, options);
}

void openTextSource(ValueSource& source, const char* path, const TextOptions& options)
{
    auto reader = std::make_unique<ValueReader>();
    openValueReader(*reader, path);
    startText(source, std::move(reader), path, options);
}

}  // namespace calcgap
