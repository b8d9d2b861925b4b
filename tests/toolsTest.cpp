// The three classic tools run end to end on files the tests write, against
// a plain fscanf pass of the same files.
#include "testSupport.h"

#include "support/commandLine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace calcgap;

namespace {

const char* const kTools[] = {"calcGap_mean", "calcGap_rms", "calcGap_peak"};
const Measure kMeasures[] = {Measure::mean, Measure::rms, Measure::peak};

// The arguments of a run over the given value files, with k for the peak tool.
std::vector<std::string> argsFor(const std::string& tool, const std::string& a, const std::string& b,
                                 const std::string& points, const std::string& n)
{
    std::vector<std::string> args{a, b, points, n, "2"};
    if (tool == "calcGap_peak")
        args.push_back("3");
    return args;
}

void expectSuccess(const RunResult& run, const std::string& expected)
{
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.err, "");
}

void expectError(const RunResult& run, const std::string& message)
{
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, message);
}

// Each tool, given count as its #pts_in_test_file, prints what the plain
// fscanf pass prints for n pairs of the same files.
void expectPlainPassResults(const std::string& a, const std::string& b, const std::string& points,
                            const std::string& count, std::int32_t n)
{
    for (std::size_t i = 0; i < 3; ++i)
        expectSuccess(runTool(kTools[i], argsFor(kTools[i], a, b, points, count)), referencePass(kMeasures[i], a, b, n));
}

class Tools : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string points = dir.file("points.txt", "0.5 0.5\n1.5 2.5\n");
};

TEST_F(Tools, WorkedExamples)
{
    const std::string a = dir.file("a.txt", "1\n3\n");
    const std::string b = dir.file("b.txt", "2\n1\n");
    expectSuccess(runTool("calcGap_mean", {a, b, points, "2", "2"}), "1.500000\n");
    expectSuccess(runTool("calcGap_rms", {a, b, points, "2", "2"}), "1.581139\n");
    expectSuccess(runTool("calcGap_peak", {a, b, points, "2", "2", "1"}), "2.000000\n");
}

TEST_F(Tools, UsageWhenArgumentsAreMissing)
{
    const std::string a = dir.file("a.txt", "1\n");
    for (const char* tool : kTools) {
        const RunResult run = runTool(tool, {a, a, points, "1"});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out.rfind(std::string("Usage: ") + tool + " kde_from_allpts kde_from_sample", 0), 0u)
            << run.out;
    }
    const RunResult peak = runTool("calcGap_peak", {a, a, points, "1", "2"});
    expectSuccess({0, peak.out, peak.err}, "Usage: calcGap_peak kde_from_allpts kde_from_sample "
                                           "test_points_file #pts_in_test_file #values_per_point k\n");
    EXPECT_EQ(peak.status, 1);

    const RunResult invoked = runProgram(toolPath("calcGap_mean"), {"./somewhere/mean"});
    EXPECT_EQ(invoked.out, "Usage: ./somewhere/mean kde_from_allpts kde_from_sample "
                           "test_points_file #pts_in_test_file #values_per_point\n");
    // With no name to show, the tool shows its own.
    const RunResult unnamed = runProgram(toolPath("calcGap_rms"), {""});
    EXPECT_EQ(unnamed.out.rfind("Usage: calcGap_rms kde_from_allpts", 0), 0u) << unnamed.out;
    const RunResult noArgv = runProgram(toolPath("calcGap_rms"), {});
    EXPECT_EQ(noArgv.out.rfind("Usage: calcGap_rms kde_from_allpts", 0), 0u) << noArgv.out;
    EXPECT_EQ(noArgv.status, 1);
    // A name as invoked that holds control bytes shows quoted, in the usage
    // line and in the help alike.
    const std::string evil = "\x1b[31mEVIL\nx";
    const std::string quoted = "$'\\033''[31mEVIL'$'\\n''x'";
    EXPECT_EQ(runProgram(toolPath("calcGap_mean"), {evil}).out.rfind("Usage: " + quoted + " kde_from_allpts", 0), 0u);
    EXPECT_EQ(runProgram(toolPath("calcGap_peak"), {evil, "--help"}).out.rfind("Usage: " + quoted + " kde_from_allpts", 0),
              0u);
}

TEST_F(Tools, ExtraArgumentsAreIgnored)
{
    const std::string a = dir.file("a.txt", "1 3");
    const std::string b = dir.file("b.txt", "2 1");
    expectSuccess(runTool("calcGap_mean", {a, b, points, "2", "2", "extra", "more"}), "1.500000\n");
    expectSuccess(runTool("calcGap_peak", {a, b, points, "2", "2", "1", "extra"}), "2.000000\n");
}

TEST_F(Tools, EmptyPassesPrintWhatTheMeasureGivesForNoPairs)
{
    const std::string a = dir.file("a.txt", "1 3");
    const std::string b = dir.file("b.txt", "2 1");
    for (const char* n : {"0", "-4", "abc", ""}) {
        const bool negative = n[0] == '-';
        expectSuccess(runTool("calcGap_mean", {a, b, points, n, "2"}),
                      negative ? "-0.000000\n" : "-nan\n");
        expectSuccess(runTool("calcGap_rms", {a, b, points, n, "2"}),
                      negative ? "-0.000000\n" : "-nan\n");
        expectSuccess(runTool("calcGap_peak", {a, b, points, n, "2", "4"}), "0.000000\n");
    }
    // Counts convert as atoi does: leading space, sign and digits count.
    expectSuccess(runTool("calcGap_mean", {a, b, points, " +1abc", "x"}), "1.000000\n");
    expectPlainPassResults(a, b, points, "12abc", 12);
}

// A NaN that comes from the data prints "nan" in every build, also where the
// pass ends through the repeated last pair; only the empty pass, 0/0, prints
// "-nan".  A plain C program can't be the reference here: its optimised
// build folds fabs(x) * fabs(x) into x * x and prints "-nan".
TEST_F(Tools, NansFromTheDataPrintAlikeInEveryBuild)
{
    const std::string inf = dir.file("inf.txt", "Inf");
    const std::string infinity = dir.file("infinity.txt", "infinity");
    const std::string minusNan = dir.file("minusnan.txt", "-nan");
    const std::string one = dir.file("one.txt", "1");
    const std::pair<std::string, std::string> files[] = {{inf, infinity}, {minusNan, one}, {one, minusNan}};
    for (const auto& [a, b] : files) {
        for (const char* n : {"1", "1000"}) {
            expectSuccess(runTool("calcGap_mean", {a, b, points, n, "2"}), "nan\n");
            expectSuccess(runTool("calcGap_rms", {a, b, points, n, "2"}), "nan\n");
            expectSuccess(runTool("calcGap_peak", {a, b, points, n, "2", "3"}), "0.000000\n");
        }
    }
}

TEST_F(Tools, HelpAndVersion)
{
    for (const char* tool : kTools) {
        const std::string name(tool);
        expectSuccess(runTool(tool, {"--version"}), name + " (calcGap) " + calcGapVersion() + "\n");
        const RunResult help = runTool(tool, {"--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.err, "");
        EXPECT_EQ(help.out.rfind("Usage: " + name + " kde_from_allpts", 0), 0u) << help.out;
        for (const char* argument : {"kde_from_allpts", "kde_from_sample", "test_points_file",
                                     "#pts_in_test_file", "#values_per_point"})
            EXPECT_NE(help.out.find(std::string("\n  ") + argument + " "), std::string::npos) << argument;
        EXPECT_EQ(help.out.find("\n  k ") != std::string::npos, name == "calcGap_peak");
        for (const char* option : {"--help", "--version"})
            expectError(runProgram(toolPath(tool), {tool, option}, Output::file, "/dev/full"),
                        name + ": cannot write the " + (option + 2) + ": No space left on device\n");
        // Anything else short is a short command line, as before.
        const RunResult other = runTool(tool, {"--help", "--version"});
        EXPECT_EQ(other.status, 1);
        EXPECT_EQ(other.out.rfind("Usage: " + name, 0), 0u) << other.out;
    }
}

TEST_F(Tools, CountsBeyondThirtyTwoBitsAreErrors)
{
    const std::string a = dir.file("a.txt", "1");
    expectError(runTool("calcGap_mean", {a, a, points, "4294967297", "2"}),
                "calcGap_mean: invalid #pts_in_test_file '4294967297': Numerical result out of range\n");
    expectError(runTool("calcGap_rms", {a, a, points, "1", "-2147483649"}),
                "calcGap_rms: invalid #values_per_point '-2147483649': Numerical result out of range\n");
    expectError(runTool("calcGap_peak", {a, a, points, "1", "2", "99999999999999999999999"}),
                "calcGap_peak: invalid k '99999999999999999999999': Numerical result out of range\n");
    expectSuccess(runTool("calcGap_peak", {a, a, points, "2147483647", "-2147483648", "2147483647"}),
                  "0.000000\n");
}

TEST_F(Tools, FilesThatCannotBeOpenedAreErrors)
{
    const std::string a = dir.file("a.txt", "1");
    const std::string missing = dir.path + "/missing.txt";
    expectError(runTool("calcGap_mean", {missing, a, points, "1", "2"}),
                "calcGap_mean: cannot open '" + missing + "': No such file or directory\n");
    expectError(runTool("calcGap_rms", {a, missing, points, "1", "2"}),
                "calcGap_rms: cannot open '" + missing + "': No such file or directory\n");
    // The test point file is checked even when no pair is read.
    expectError(runTool("calcGap_peak", {a, a, missing, "0", "2", "1"}),
                "calcGap_peak: cannot open '" + missing + "': No such file or directory\n");
    for (int position = 0; position < 3; ++position) {
        std::vector<std::string> args{a, a, points, "1", "2"};
        args[static_cast<std::size_t>(position)] = dir.path;
        expectError(runTool("calcGap_mean", args),
                    "calcGap_mean: cannot open '" + dir.path + "': Is a directory\n");
    }
    const std::string locked = dir.file("locked.txt", "1");
    ::chmod(locked.c_str(), 0);
    if (::geteuid() != 0)
        expectError(runTool("calcGap_mean", {locked, a, points, "1", "2"}),
                    "calcGap_mean: cannot open '" + locked + "': Permission denied\n");
}

// Reading a process's own memory from address 0 fails with an I/O error: a
// read error, which must not pass for the end of the data.
TEST_F(Tools, ReadErrorsAreErrors)
{
    const std::string a = dir.file("a.txt", "1 3");
    for (std::size_t i = 0; i < 3; ++i) {
        const std::string name(kTools[i]);
        expectError(runTool(kTools[i], argsFor(kTools[i], "/proc/self/mem", a, points, "2")),
                    name + ": cannot read '/proc/self/mem': Input/output error\n");
        expectError(runTool(kTools[i], argsFor(kTools[i], a, "/proc/self/mem", points, "2")),
                    name + ": cannot read '/proc/self/mem': Input/output error\n");
    }
}

TEST_F(Tools, FailedWritesOfTheResultAreErrors)
{
    const std::string a = dir.file("a.txt", "1 3");
    const std::string b = dir.file("b.txt", "2 1");
    for (const char* tool : kTools) {
        const std::vector<std::string> argv = [&] {
            std::vector<std::string> all{tool};
            for (const std::string& arg : argsFor(tool, a, b, points, "2"))
                all.push_back(arg);
            return all;
        }();
        const std::string name(tool);
        expectError(runProgram(toolPath(tool), argv, Output::file, "/dev/full"),
                    name + ": cannot write the result: No space left on device\n");
        expectError(runProgram(toolPath(tool), argv, Output::closed),
                    name + ": cannot write the result: Bad file descriptor\n");
        expectError(runProgram(toolPath(tool), argv, Output::brokenPipe),
                    name + ": cannot write the result: Broken pipe\n");
    }
}

TEST_F(Tools, OddInputsMatchThePlainPass)
{
    struct Case {
        const char* allpts;
        const char* sample;
        int n;
    };
    const Case cases[] = {
        {"1 2 3", "1 2 3", 3},                     // identical files
        {"1\n2\n3\n4", "0.5 0.5\n\n 0.5\t0.25", 4},  // values spread over lines
        {"1 2", "3 4 5 6", 6},                     // short files repeat their last value
        {"1 2 3 4 5 6 7 8", "0 0", 3},             // surplus values are never read
        {"1.5-2.5 3", "0 0 0", 3},                 // a value ends where %f stops
        {"0x1.8p1 -0x.8 0X1P-3", "INF -Infinity nan", 3},
        {"1 x 2 3", "1 1 1 1", 4},                 // text that stops a file for good
        {"- 3 4", "0 0 0", 3},                     // a sign alone fails once
        {"1e+x", "2", 3},
        {"1e50 -1e50 1e-50", "0 0 0", 3},
        {"nan(1) 5", "1 1", 2},
        {"", "", 2},
    };
    for (const Case& c : cases) {
        const std::string a = dir.file("odd_a.txt", c.allpts);
        const std::string b = dir.file("odd_b.txt", c.sample);
        expectPlainPassResults(a, b, points, std::to_string(c.n), c.n);
    }
    // One file given twice is read twice, independently.
    const std::string same = dir.file("same.txt", "1 5 -2 inf 7");
    expectPlainPassResults(same, same, points, "4", 4);
}

// n far beyond the data: once both files are spent, every remaining pair is
// the last one, and the pass may stop as soon as the measure stops changing.
TEST_F(Tools, CountsFarBeyondTheDataEndQuicklyWithTheFullPassResult)
{
    // The sum reaches 2^24 after 216 more pairs of error 1 and stays there.
    const std::string a = dir.file("a.txt", "16777000 5");
    const std::string b = dir.file("b.txt", "0 4");
    expectPlainPassResults(a, b, points, "300000", 300000);

    const auto started = std::chrono::steady_clock::now();
    char expected[64];
    std::snprintf(expected, sizeof expected, "%f\n",
                  static_cast<double>(16777216.0f / static_cast<float>(2000000000)));
    expectSuccess(runTool("calcGap_mean", {a, b, points, "2000000000", "2"}), expected);
    // From 0 by error 1 the sum settles at 2^24 after 2^24 pairs.
    const std::string ones = dir.file("ones.txt", "1");
    std::snprintf(expected, sizeof expected, "%f\n",
                  static_cast<double>(std::sqrt(16777216.0f / static_cast<float>(2147483647))));
    expectSuccess(runTool("calcGap_rms", {ones, dir.file("zero.txt", "0"), points, "2147483647", "2"}),
                  expected);
    // Every remaining pair enters a list this long; it must not cost memory.
    expectSuccess(runTool("calcGap_peak", {a, b, points, "2147483647", "2", "2147483647"}),
                  "16777000.000000\n");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_LT(seconds, 10.0);
    // A repeated tail short enough that one pair more or less shows in the
    // sum: 1000 pairs of error 1 are 1.000000, 999 of them 0.999000.
    const std::string shortA = dir.file("shortA.txt", "1 5");
    expectSuccess(runTool("calcGap_mean", {shortA, b, points, "1000", "2"}), "1.000000\n");
    expectSuccess(runTool("calcGap_rms", {shortA, b, points, "1000", "2"}), "1.000000\n");
    expectPlainPassResults(shortA, b, points, "1000", 1000);
}

// Writes the pieces one after another, each repeated as often as asked,
// without holding the whole file in memory.
std::string writeRepeated(const std::string& path, const std::vector<std::pair<std::string, int>>& pieces)
{
    std::ofstream file(path, std::ios::binary);
    for (const auto& [piece, times] : pieces)
        for (int i = 0; i < times; ++i)
            file << piece;
    return path;
}

// Inputs built to hurt: a token of 50 MB of digits, long runs of zeros, NUL
// bytes, one line of a million values.  The results must be exact and memory must stay small.
// The tools run before anything here grows: a child's peak memory counts
// its parent's at the time it was started.
TEST_F(Tools, HostileInputsGiveExactResultsInSmallMemory)
{
    const std::string tenDigits = "7777777777";
    const std::string huge = writeRepeated(dir.path + "/huge.txt",
                                           {{"12345.", 1}, {tenDigits, 5000000}, {" 0.5 ", 1}});
    const std::string zeros = writeRepeated(dir.path + "/zeros.txt",
                                            {{"0.", 1}, {"0000000000", 100000}, {"1 ", 1},
                                             {tenDigits, 100000}, {" 3 -4", 1}});
    const std::string wide = writeRepeated(dir.path + "/wide.txt", {{"123.5 0.25\t", 500000}});
    const std::string nul = dir.file("nul.txt", std::string("1 2\0 3 4", 8));
    struct Case {
        std::string allpts;
        std::string sample;
        int n;
    };
    const Case cases[] = {{huge, zeros, 4}, {wide, nul, 1000000}, {zeros, wide, 5}};
    std::vector<RunResult> runs;
    for (const Case& c : cases)
        for (std::size_t i = 0; i < 3; ++i)
            runs.push_back(runTool(kTools[i], argsFor(kTools[i], c.allpts, c.sample, points, std::to_string(c.n))));
    std::size_t run = 0;
    for (const Case& c : cases) {
        for (std::size_t i = 0; i < 3; ++i, ++run) {
            expectSuccess(runs[run], referencePass(kMeasures[i], c.allpts, c.sample, c.n));
            if (!kSanitized) {
                EXPECT_LT(runs[run].peakKilobytes, 8 * 1024) << kTools[i];
            }
        }
    }
    const std::string empty = dir.file("empty.txt", "");
    expectSuccess(runTool("calcGap_peak", {empty, empty, empty, "2147483647", "2", "2147483647"}), "0.000000\n");
}

// Random value files full of odd tokens, each tool against the plain pass.
TEST_F(Tools, RandomFilesMatchThePlainPass)
{
    static const char* const tokens[] = {
        "0.5",  "1",   "-2.25", "3e2",    "1e-3", ".5",  "5.",  "0x1p-2", "inf", "-INF",
        "nan",  "NaN", "1e40",  "-1e-45", "+7",   "1.5-2.5", "0.000123456789", "12345678.9",
        "1e+",  "-",   "x",     "0x",     "infin", "..", "1..2", "3.4028235e38", "-0"};
    std::mt19937 random(99);
    for (int round = 0; round < 40; ++round) {
        std::string contents[2];
        for (std::string& text : contents) {
            const int count = static_cast<int>(random() % 15000);
            for (int i = 0; i < count; ++i) {
                if (random() % 50 == 0) {
                    text += tokens[random() % std::size(tokens)];
                } else {
                    char value[32];
                    std::snprintf(value, sizeof value, "%.*g", static_cast<int>(random() % 10 + 1),
                                  std::ldexp(static_cast<double>(random()) / 2147483648.0,
                                             static_cast<int>(random() % 40) - 30));
                    text += value;
                }
                text += " \n\t"[random() % 3];
            }
        }
        const std::string a = dir.file("random_a.txt", contents[0]);
        const std::string b = dir.file("random_b.txt", contents[1]);
        const std::string n = std::to_string(random() % 18000);
        expectPlainPassResults(a, b, points, n, std::stoi(n));
        if (HasFailure())
            break;
    }
}

}  // namespace
