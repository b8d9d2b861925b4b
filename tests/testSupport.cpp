#include "testSupport.h"

#include "classic/classicSums.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace calcgap;

extern char** environ;

ScratchDir::ScratchDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "calcGapTest.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        std::abort();
    path = pattern;
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string ScratchDir::file(const std::string& name, const std::string& contents) const
{
    const std::string full = path + "/" + name;
    std::ofstream(full, std::ios::binary) << contents;
    return full;
}

std::string toolPath(const std::string& tool)
{
    return std::string(CALCGAP_TOOL_DIR) + "/" + tool;
}

RunResult runProgram(const std::string& program, const std::vector<std::string>& argv,
                     Output output, const std::string& outputPath)
{
    int outPipe[2];
    int errPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0)
        std::abort();
    int deadPipe[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    switch (output) {
    case Output::captured:
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
        break;
    case Output::file:
        posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY, 0);
        break;
    case Output::closed:
        posix_spawn_file_actions_addclose(&actions, 1);
        break;
    case Output::brokenPipe:
        if (::pipe(deadPipe) != 0)
            std::abort();
        ::close(deadPipe[0]);
        posix_spawn_file_actions_adddup2(&actions, deadPipe[1], 1);
        break;
    }
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);

    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (deadPipe[1] >= 0)
        ::close(deadPipe[1]);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    RunResult result;
    if (spawned != 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        result.err = std::strerror(spawned);
        return result;
    }

    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char chunk[4096];
            const ssize_t got = ::read(fds[i].fd, chunk, sizeof chunk);
            if (got > 0) {
                sinks[i]->append(chunk, static_cast<std::size_t>(got));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    result.peakKilobytes = usage.ru_maxrss;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

RunResult runTool(const std::string& tool, const std::vector<std::string>& args)
{
    std::vector<std::string> argv{tool};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(toolPath(tool), argv);
}

RunResult runScript(const std::string& script, const std::vector<std::string>& arguments)
{
    std::vector<std::string> argv{"sh", "-c", script, "sh", toolPath("")};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return runProgram("/bin/sh", argv);
}

std::string referencePass(Measure measure, const std::string& allpts, const std::string& sample,
                          std::int32_t n)
{
    std::FILE* first = std::fopen(allpts.c_str(), "r");
    std::FILE* second = std::fopen(sample.c_str(), "r");
    float a = 0.0f;
    float b = 0.0f;
    float sum = 0.0f;
    for (std::int32_t i = 0; i < n; ++i) {
        if (std::fscanf(first, "%f", &a) < 0 && std::ferror(first))
            std::abort();
        if (std::fscanf(second, "%f", &b) < 0 && std::ferror(second))
            std::abort();
        // fabs by hand: the compiler would fold fabs(x) * fabs(x) into x * x,
        // which keeps a NaN's sign where the program as written clears it.
        const float error = absoluteDifference(a, b);
        if (measure == Measure::mean)
            sum = sum + error;
        else if (measure == Measure::rms)
            sum = sum + error * error;
        else if (error > sum)
            sum = error;
    }
    float result = sum;
    if (measure == Measure::mean)
        result = sum / static_cast<float>(n);
    else if (measure == Measure::rms)
        result = std::sqrt(sum / static_cast<float>(n));
    std::fclose(first);
    std::fclose(second);
    char line[64];
    std::snprintf(line, sizeof line, "%f\n", static_cast<double>(result));
    return line;
}
