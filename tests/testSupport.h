// Helpers shared by the tests: scratch files, running the built programs, and
// the plain fscanf pass that the tools must match.
#pragma once

#include "readComparison.h"

#include <cstdint>
#include <string>
#include <vector>

// Address sanitizer reserves terabytes of address space, runs slowly and
// needs a larger stack: tests of memory, stack and very long runs skip it.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// A fresh directory under the system's temporary directory, removed with its
// files when the object goes.
struct ScratchDir {
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string path;
    std::string file(const std::string& name, const std::string& contents) const;
};

struct RunResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
    long peakKilobytes = 0;  // the child's peak resident memory
};

// Where a program's standard output goes: captured, a file opened for
// writing, closed, or a pipe whose reading end is already closed.
enum class Output { captured, file, closed, brokenPipe };

// Runs program with argv as given (argv[0] included, may be empty); stdin is
// /dev/null.
RunResult runProgram(const std::string& program, const std::vector<std::string>& argv,
                     Output output = Output::captured, const std::string& outputPath = "");
RunResult runTool(const std::string& tool, const std::vector<std::string>& args);

std::string toolPath(const std::string& tool);

// Runs the shell script with the tools' directory as $1, then any arguments.
RunResult runScript(const std::string& script, const std::vector<std::string>& arguments = {});

enum class Measure { mean, rms, peak };

// What a plain C program prints for the tool: fscanf "%f" in lockstep, float
// arithmetic in pair order, printf "%f\n".
std::string referencePass(Measure measure, const std::string& allpts, const std::string& sample,
                          std::int32_t n);
