// Every failure of the tools ends here: one line on standard error, status 1.
// A warning is the same line, for the caller to choose its status.
#include "support/fail.h"

#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <cstring>
#include <new>
#include <sys/uio.h>
#include <unistd.h>

namespace calcgap {

namespace {

const char* gProgramName = "calcGap";
constexpr const char* kOutOfMemory = "out of memory";
const char* gAllocationWhat = kOutOfMemory;

// Runs when operator new finds no memory; it must not allocate itself.
void outOfMemory()
{
    fail(gAllocationWhat, std::strerror(ENOMEM));
}

}  // namespace

void setProgramName(const char* name)
{
    gProgramName = name;
}

void failOnOutOfMemory()
{
    std::set_new_handler(outOfMemory);
}

void describeAllocation(const char* what)
{
    gAllocationWhat = what != nullptr ? what : kOutOfMemory;
}

namespace {

// Assembled by the kernel from its pieces, so that the message needs no
// memory (it may report that there is none left) and leaves in one write.
void writeMessage(const char* what, const char* reason, const char* hint)
{
    const char* const pieces[] = {gProgramName, ": ", what, ": ", reason, "\n",
                                  hint != nullptr ? hint : "", hint != nullptr ? "\n" : ""};
    iovec vector[std::size(pieces)];
    for (std::size_t i = 0; i < std::size(pieces); ++i)
        vector[i] = {const_cast<char*>(pieces[i]), std::strlen(pieces[i])};
    while (::writev(STDERR_FILENO, vector, static_cast<int>(std::size(pieces))) < 0 && errno == EINTR) {
    }
}

}  // namespace

void failWithHint(const char* what, const char* reason, const char* hint)
{
    writeMessage(what, reason, hint);
    std::exit(1);
}

void fail(const char* what, const char* reason)
{
    failWithHint(what, reason, nullptr);
}

void failInHandler(const char* what, const char* reason)
{
    writeMessage(what, reason, nullptr);
    ::_exit(1);
}

void warn(const char* what, const char* reason)
{
    writeMessage(what, reason, nullptr);
}

}  // namespace calcgap
