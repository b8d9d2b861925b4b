// The exact "%f" text reader as a value source.
#pragma once

#include "reading/valueSource.h"

#include <cstddef>

namespace calcgap {

// How the report reads text beyond what the classic tools do.
struct TextOptions {
    // Count lines, so that the events tell where reads failed.
    bool positions = false;
    // Pass over a UTF-8 byte-order mark at the start of the file.
    bool skipByteOrderMark = false;
    // Pass over lines whose first byte but for blanks is "#".
    bool comments = false;
};

// The kind of the text sources: floats only, as the "%f" reader reads them.
extern const SourceKind kTextSourceKind;

// The exact "%f" text reader as a source, on an open descriptor (of which
// the prefix bytes, when given, were read already), or on a path: a path
// that cannot be opened, or that names a directory, ends the process with
// "cannot open 'PATH': REASON".
void attachTextSource(ValueSource& source, int fd, const char* path, const TextOptions& options,
                      const unsigned char* prefix = nullptr, std::size_t prefixLength = 0);
void openTextSource(ValueSource& source, const char* path, const TextOptions& options);

}  // namespace calcgap
