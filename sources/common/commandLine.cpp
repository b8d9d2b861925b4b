// The command line shared by the three tools.
#include "calcGap.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

std::int32_t convertCount(const char* text, const char* name)
{
    errno = 0;
    const long long value = std::strtoll(text, nullptr, 10);
    if (errno == ERANGE || value < INT32_MIN || value > INT32_MAX) {
        const std::string what = "invalid " + std::string(name) + " '" + text + "'";
        fail(what.c_str(), std::strerror(ERANGE));
    }
    return static_cast<std::int32_t>(value);
}

ToolArgs startTool(const ToolInfo& tool, int argc, char** argv)
{
    setProgramName(tool.name);
    // A reader that went away must show as a failed write, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);

    if (argc < 1 + tool.argumentsRead) {
        // Without a name as invoked, the tool's own name shows.
        const bool named = argc > 0 && argv[0] != nullptr && argv[0][0] != '\0';
        tool.usage(named ? argv[0] : tool.name);
        std::fflush(stdout);
        std::exit(1);
    }
    ToolArgs args;
    args.allptsPath = argv[1];
    args.samplePath = argv[2];
    args.testPointsPath = argv[3];
    args.n = convertCount(argv[4], "#pts_in_test_file");
    args.d = convertCount(argv[5], "#values_per_point");
    if (tool.argumentsRead > 5)
        args.k = convertCount(argv[6], "k");
    return args;
}
