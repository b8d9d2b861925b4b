// What a successful run prints, written in full or reported as an error.
#include "support/output.h"

#include "support/fail.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace calcgap {

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

void flushOutput(const char* what)
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        fail(what, std::strerror(errno != 0 ? errno : EIO));
}

void startOutput(OutputBuffer& out, const char* what)
{
    out = OutputBuffer{};
    out.what = what;
    out.data.reset(static_cast<char*>(std::malloc(kOutputBufferSize)));
    if (out.data == nullptr)
        fail(what, std::strerror(ENOMEM));
}

void writeRest(OutputBuffer& out, std::string_view text)
{
    writeOutput(out.data.get(), out.used, out.what);
    out.used = 0;
    if (text.size() >= kOutputBufferSize) {
        writeOutput(text.data(), text.size(), out.what);
        return;
    }
    std::memcpy(out.data.get(), text.data(), text.size());
    out.used = text.size();
}

void finishOutput(OutputBuffer& out)
{
    writeOutput(out.data.get(), out.used, out.what);
    out = OutputBuffer{};
}

}  // namespace calcgap
