// What a successful run prints, written in full or reported as an error.
#include "calcGap.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

void writeOutput(const char* data, std::size_t length, const char* what)
{
    const char* next = data;
    const char* const end = data + length;
    while (next < end) {
        const ssize_t written = ::write(STDOUT_FILENO, next, static_cast<std::size_t>(end - next));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            fail(what, written < 0 ? std::strerror(errno) : "nothing written");
        next += written;
    }
}

void printResult(float result)
{
    // "%f" of the largest float is 46 characters.
    char line[64];
    const int length = std::snprintf(line, sizeof line, "%f\n", static_cast<double>(result));
    writeOutput(line, static_cast<std::size_t>(length), "cannot write the result");
}
