// What every value source shares: the check that two value
// files are not one stream.
#include "reading/valueSource.h"

#include "support/fail.h"
#include "support/quoting.h"

#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace calcgap {

namespace {

bool isStandardInput(const char* path, bool dashIsStandardInput)
{
    return dashIsStandardInput && std::strcmp(path, "-") == 0;
}

}  // namespace

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

}  // namespace calcgap
