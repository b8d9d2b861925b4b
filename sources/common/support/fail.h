// The one way a tool fails: a line on standard error, "program: what failed:
// reason", and exit status 1; also when memory runs out.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <vector>

namespace calcgap {

// Name used as the prefix of every message; each tool sets its own first.
void setProgramName(const char* name);

// Writes "program: what: reason" on standard error and exits with status 1.
[[noreturn]] void fail(const char* what, const char* reason);

// The same line without exiting, where the run has a status of its own to
// give, as a failed requirement does.
void warn(const char* what, const char* reason);

// The same, with a second line that tells the user where to look.
[[noreturn]] void failWithHint(const char* what, const char* reason, const char* hint);

// The same line from a signal handler: nothing but the write and _exit, both
// safe there.
[[noreturn]] void failInHandler(const char* what, const char* reason);

// From then on a failed allocation ends the process as fail does, naming
// what the memory was for (see describeAllocation) instead of aborting.
void failOnOutOfMemory();

// Memory from malloc, freed with its owner.
struct FreeMemory {
    void operator()(void* memory) const
    {
        std::free(memory);
    }
};

// Names what the allocations that follow are for, as the "what failed" of
// their message should they fail; nullptr restores the general wording.
// The text must outlive the allocations it describes.
void describeAllocation(const char* what);

// Makes room in items for one more, doubling up to most; memory that cannot
// be had ends the run with "WHAT: Cannot allocate memory" rather than an
// abort.  Lists that grow only as entries come keep their cost to what
// they hold.
template <typename T>
void makeRoomForOne(std::vector<T>& items, std::size_t most, const char* what)
{
    if (items.size() < items.capacity())
        return;
    describeAllocation(what);
    items.reserve(std::min(std::max<std::size_t>(16, 2 * items.size()), most));
    describeAllocation(nullptr);
}

}  // namespace calcgap
