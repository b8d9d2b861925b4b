// Every failure of the tools ends here: one line on standard error, status 1.
#include "calcGap.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
const char* gProgramName = "calcGap";
}

void setProgramName(const char* name)
{
    gProgramName = name;
}

void exitWithLine(const char* line)
{
    std::fputs(line, stderr);
    std::exit(1);
}

void fail(const char* what, const char* reason)
{
    const std::string line = std::string(gProgramName) + ": " + what + ": " + reason + "\n";
    exitWithLine(line.c_str());
}

void assertFailed(int line, const char* file)
{
    char text[64 + 4096];
    std::snprintf(text, sizeof text, "ASSERT failed on line %d, file %s.\n", line, file);
    exitWithLine(text);
}
