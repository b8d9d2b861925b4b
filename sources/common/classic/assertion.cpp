// The assertion report of the support functions.
#include "classic/support.h"

#include <cstdio>
#include <cstdlib>

namespace calcgap {

void assertFailed(int line, const char* file)
{
    std::fprintf(stderr, "ASSERT failed on line %d, file %s.\n", line, file);
    std::exit(1);
}

}  // namespace calcgap
