// The test point file is named on every command line, but no printed result
// depends on its values, so it is only checked and never loaded: memory and
// time stay independent of n * d.
#include "classic/classicTool.h"

#include "support/fail.h"
#include "support/quoting.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace calcgap {

void checkTestPointFile(const char* path)
{
    const std::string what = "cannot open " + shellQuoted(path);
    std::FILE* file = std::fopen(path, "rt");
    if (file == nullptr)
        fail(what.c_str(), std::strerror(errno));
    struct stat status;
    if (::fstat(::fileno(file), &status) == 0 && S_ISDIR(status.st_mode)) {
        std::fclose(file);
        fail(what.c_str(), std::strerror(EISDIR));
    }
    std::fclose(file);
}

}  // namespace calcgap
