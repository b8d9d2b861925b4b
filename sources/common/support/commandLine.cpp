// The command line shared by the three tools.
#include "support/commandLine.h"

#include "support/fail.h"
#include "support/output.h"
#include "support/quoting.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

namespace calcgap {

namespace {

struct Argument {
    const char* name;
    const char* help;
};

// Positions 1 to 6, in order; the peak tool alone reads the last.
const Argument kArguments[] = {
    {"kde_from_allpts", "file of KDE values computed from all points, one per test point\n"},
    {"kde_from_sample", "file of KDE values computed from a sample, in the same order\n"},
    {"test_points_file", "file of the test points: it must be a readable file, but its\n"
                         "                     values change nothing\n"},
    {"#pts_in_test_file", "n, the number of test points and so of value pairs compared\n"},
    {"#values_per_point", "values per test point: changes nothing, but must be a valid count\n"},
    {"k", "how many of the largest errors to keep beside the maximum:\n"
          "                     changes nothing printed, but must be a valid count\n"},
};

int argumentsRead(const ToolTable& tool)
{
    return static_cast<int>(std::size(kArguments)) - (tool.readsK ? 0 : 1);
}

void printHelp(const ToolTable& tool, const char* shownName)
{
    usage(tool, shownName);
    std::printf("%s\n", tool.summary);
    for (int i = 0; i < argumentsRead(tool); ++i)
        std::printf("  %-18s %s", kArguments[i].name, kArguments[i].help);
    std::fputs("Counts convert as atoi(3) converts them; one outside the signed 32-bit range\n"
               "is an error.  Exit status: 0 after a result, 1 after the usage line or an error.\n",
               stdout);
    flushOutput("cannot write the help");
}

}  // namespace

const char* calcGapVersion()
{
    return CALCGAP_VERSION;
}

void usage(const ToolTable& tool, const char* programName)
{
    std::printf("Usage: %s", programName);
    for (int i = 0; i < argumentsRead(tool); ++i)
        std::printf(" %s", kArguments[i].name);
    std::printf("\n");
}

std::int32_t convertCount(const char* text, const char* name)
{
    errno = 0;
    const long long value = std::strtoll(text, nullptr, 10);
    if (errno == ERANGE || value < INT32_MIN || value > INT32_MAX) {
        const std::string what = "invalid " + std::string(name) + " " + shellQuoted(text);
        fail(what.c_str(), std::strerror(ERANGE));
    }
    return static_cast<std::int32_t>(value);
}

void startProgram(const char* name)
{
    setProgramName(name);
#if defined(__SSSE3__) && defined(__x86_64__)
    if (!__builtin_cpu_supports("ssse3"))
        fail("cannot run", "this processor lacks SSSE3, which this build needs; build with -DCALCGAP_SSSE3=OFF");
#endif
    failOnOutOfMemory();
    // A reader that went away must show as a failed write, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
}

void printVersionAndExit(const char* name)
{
    std::printf("%s (calcGap) %s\n", name, calcGapVersion());
    flushOutput("cannot write the version");
    std::exit(0);
}

ToolArgs startTool(const ToolTable& tool, int argc, char** argv)
{
    startProgram(tool.name);

    // Without a name as invoked, the tool's own name shows; a name that
    // holds a control byte shows quoted, so that none reaches the terminal.
    const bool named = argc > 0 && argv[0] != nullptr && argv[0][0] != '\0';
    const std::string quotedName = named && !isPrintable(argv[0]) ? shellQuoted(argv[0]) : "";
    const char* const shownName = !named ? tool.name : quotedName.empty() ? argv[0] : quotedName.c_str();
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        printHelp(tool, shownName);
        std::exit(0);
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0)
        printVersionAndExit(tool.name);
    if (argc < 1 + argumentsRead(tool)) {
        usage(tool, shownName);
        std::fflush(stdout);
        std::exit(1);
    }
    ToolArgs args;
    args.allptsPath = argv[1];
    args.samplePath = argv[2];
    args.testPointsPath = argv[3];
    args.n = convertCount(argv[4], "#pts_in_test_file");
    args.d = convertCount(argv[5], "#values_per_point");
    if (tool.readsK)
        args.k = convertCount(argv[6], "k");
    return args;
}

}  // namespace calcgap
