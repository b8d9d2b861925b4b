// What the kinds of source share: the first bytes read to tell a kind, and
// the failure of a read.
#include "inputs/sourceKinds.h"

#include "support/fail.h"
#include "support/quoting.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace calcgap::report {

bool readFromPrefix(Prefix& prefix, int fd, const char* path, unsigned char* out, std::size_t length)
{
    const std::size_t fromPrefix = std::min(length, prefix.bytes.size() - prefix.used);
    std::memcpy(out, prefix.bytes.data() + prefix.used, fromPrefix);
    prefix.used += fromPrefix;
    for (std::size_t done = fromPrefix; done < length;) {
        const std::size_t got = readRetrying(fd, path, out + done, length - done);
        if (got == 0)
            return false;
        done += got;
    }
    return true;
}

std::int64_t chooseArrayColumn(const SourceOptions& options, const std::string& subject, std::int64_t columns,
                               std::string& reason)
{
    const std::string has = subject + " has " + counted(columns, "column", "columns");
    if (options.flatArrays && columns > 1) {
        if (options.rowWidth > 0 && columns != options.rowWidth)
            reason = has + ", not the " + std::to_string(options.rowWidth) + " of --dim";
        return -1;
    }
    const std::int64_t chosen = options.column > 0 ? options.column : 1;
    if (chosen > columns)
        reason = has + "; --column=" + std::to_string(chosen) + " is beyond them";
    else if (columns > 1 && options.column == 0)
        reason = has + ": choose one with --column";
    return chosen - 1;
}

void failSource(const char* path, const std::string& reason)
{
    fail(("cannot read " + shellQuoted(path)).c_str(), reason.c_str());
}

}  // namespace calcgap::report
