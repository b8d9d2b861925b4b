// The one line a successful run prints.
#include "calcGap.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

void printResult(float result)
{
    // "%f" of the largest float is 46 characters.
    char line[64];
    const int length = std::snprintf(line, sizeof line, "%f\n", static_cast<double>(result));
    const char* next = line;
    const char* const end = line + length;
    while (next < end) {
        const ssize_t written = ::write(STDOUT_FILENO, next, static_cast<std::size_t>(end - next));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            fail("cannot write the result", written < 0 ? std::strerror(errno) : "nothing written");
        next += written;
    }
}
