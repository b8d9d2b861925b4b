// The command line of the classic tools: positions 1 to 5 (and 6, k, for the
// peak tool), the usage line, --help and --version.
#pragma once

#include <cstdint>

namespace calcgap {

// What one tool is, for its usage line and its help: the arguments it reads
// are positions 1 to 5 of every tool, and position 6 when readsK.
struct ToolTable {
    const char* name;
    // What the tool prints, for --help.
    const char* summary;
    bool readsK;
};

struct ToolArgs {
    const char* allptsPath = nullptr;
    const char* samplePath = nullptr;
    const char* testPointsPath = nullptr;
    std::int32_t n = 0;
    std::int32_t d = 0;
    std::int32_t k = 0;
};

// The version every program prints, from the project's version.
const char* calcGapVersion();

// What every program does first: names itself for messages, turns a failed
// allocation into a message, and lets a closed pipe surface as a write error.
void startProgram(const char* name);

// Prints "NAME (calcGap) VERSION" and exits with status 0; a failed write is
// an error.
[[noreturn]] void printVersionAndExit(const char* name);

// Prints the tool's usage line on standard output: the program as invoked,
// then the arguments the tool reads.
void usage(const ToolTable& tool, const char* programName);

// Starts the program, then checks and converts the command line: too few
// arguments print the usage line and exit with status 1; "--help" or
// "--version" alone prints that and exits with status 0.
ToolArgs startTool(const ToolTable& tool, int argc, char** argv);

// Converts a count the way atoi does (leading white space, sign, leading
// digits; no digits gives 0), but a value outside the signed 32-bit range
// ends the process instead of wrapping.
std::int32_t convertCount(const char* text, const char* name);

}  // namespace calcgap
