// The tools at the edges of what a process is given: the largest count, a
// small stack, little memory, one stream named twice, and names made of any
// bytes.
#include "testSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

const char* const kTools[] = {"calcGap_mean", "calcGap_rms", "calcGap_peak"};

class Limits : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string points = dir.file("points.txt", "0.5 0.5\n");
    std::string empty = dir.file("empty.txt", "");
};

// A stream that never ends read to the last count there is: the pass's
// block index must not overflow on its last step.
TEST_F(Limits, LargestCountOverAStreamThatNeverEnds)
{
    if (kSanitized)
        GTEST_SKIP() << "two billion reads take minutes under the sanitizers";
    std::string script;
    for (const char* tool : kTools)
        script += std::string("(yes 1 | \"$1/") + tool + "\" /dev/stdin '" + empty + "' '" + points +
                  "' 2147483647 2 1; echo \"status $?\") >'" + dir.path + "/" + tool + "' 2>&1 &\n";
    runScript(script + "wait");
    // Errors of 1 from 0 settle the float sum at 2^24.
    char mean[64];
    std::snprintf(mean, sizeof mean, "%f\nstatus 0\n",
                  static_cast<double>(16777216.0f / static_cast<float>(2147483647)));
    char rms[64];
    std::snprintf(rms, sizeof rms, "%f\nstatus 0\n",
                  static_cast<double>(std::sqrt(16777216.0f / static_cast<float>(2147483647))));
    const std::string expected[] = {mean, rms, "1.000000\nstatus 0\n"};
    for (std::size_t i = 0; i < 3; ++i) {
        std::ifstream file(dir.path + "/" + kTools[i]);
        const std::string got((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        EXPECT_EQ(got, expected[i]) << kTools[i];
    }
}

// The lines of script under a 16 KiB stack, in an empty environment: the
// environment's strings take the same stack, and with a few KiB of them
// the dynamic loader of any program, the classic tools' too, runs out of
// it before main (seen in CI runs, 1 in 30), which is no fault of the
// program that would have run.
RunResult underSmallStack(const ScratchDir& dir, const std::string& lines)
{
    const std::string script = dir.file("small-stack.sh", "ulimit -s 16 || exit 99\n" + lines);
    return runScript("exec env -i PATH=/usr/bin:/bin /bin/sh '" + script + "' \"$1\"");
}

// A C program runs under a 16 KiB stack; so must the tools, whatever they do.
// Where the stack starts within its first pages varies from run to run, so
// each command runs thirty times.
TEST_F(Limits, SmallStack)
{
    if (kSanitized)
        GTEST_SKIP() << "the sanitizers' own runtime needs a larger stack";
    const std::string a = dir.file("a.txt", "1 3\nnan x");
    const std::string b = dir.file("b.txt", "2 1");
    const std::string files = " '" + a + "' '" + b + "'";
    const std::string commands[] = {
        "\"$1/calcGap_mean\" >/dev/null",
        "\"$1/calcGap_peak\"" + files + " '" + points + "' 2 2 1 >/dev/null",
        "\"$1/calcGap_report\"" + files + " >/dev/null",
        "\"$1/calcGap_report\" --format=json -k 3 --strict" + files + " >/dev/null",
        "\"$1/calcGap_report\" --format=tsv -n 5 --floor=1e-3" + files + " >/dev/null",
        "\"$1/calcGap_report\" --bogus >/dev/null 2>&1",
        "\"$1/calcGap_report\" --help >/dev/null",
        "\"$1/calcGap_report\" --format=tsv --group='([ab])[.]txt'" + files + files + " >/dev/null",
    };
    std::string script;
    for (const std::string& command : commands)
        script += "for i in $(seq 30); do " + command + "; echo $?; done | sort | uniq -c\n";
    const RunResult run = underSmallStack(dir, script);
    EXPECT_EQ(run.out, "     30 1\n     30 0\n     30 0\n     30 2\n     30 0\n     30 1\n     30 0\n     30 0\n")
        << run.err;
}

// HDF5 input under the same stack, where the library can be had.
TEST_F(Limits, SmallStackWithHdf5)
{
    if (kSanitized)
        GTEST_SKIP() << "the sanitizers' own runtime needs a larger stack";
    const std::string file = dir.path + "/d.h5";
    const RunResult made = runScript("/usr/bin/python3 -c \"import h5py, numpy; f = h5py.File('" + file +
                                     "', 'w'); f['a'] = numpy.arange(1.0, 2000.0); f['b'] = numpy.arange(2.0, 2001.0)\"");
    if (made.status != 0)
        GTEST_SKIP() << "python3 with numpy and h5py is not installed";
    const RunResult run = underSmallStack(dir, "for i in $(seq 30); do \"$1/calcGap_report\" --format=json '" + file +
                                                   ":/a' '" + file + ":/b' >/dev/null; echo $?; done | sort | uniq -c\n");
    EXPECT_EQ(run.out, "     30 0\n") << run.err;
}

// However many worst points are asked for, memory is 16 MiB plus what the
// points listed take, in every format: the report is written as it goes,
// and the tab-separated row, which lists none, keeps none.
TEST_F(Limits, ReportMemoryWithMillionsOfWorstPoints)
{
    if (kSanitized)
        GTEST_SKIP() << "the sanitizer's shadow memory would swamp the measure";
    // Distinct errors, written by the shell so that the test's own memory
    // stays small: a child's peak memory counts its parent's at the start.
    const std::string a = dir.path + "/a.txt";
    const std::string b = dir.path + "/b.txt";
    runScript("seq 1 300000 > '" + a + "'; seq 2 2 600000 > '" + b + "'");
    const long bound = 16 * 1024 + 2 * 300000 * 64 / 1024;
    for (const char* format : {"--format=text", "--format=json"}) {
        // Not kept here, lest this process grow by what it writes.
        const RunResult run = runProgram(toolPath("calcGap_report"), {"calcGap_report", format, "-k", "300000", a, b},
                                         Output::file, "/dev/null");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_LT(run.peakKilobytes, bound) << format;
    }
    const RunResult tsv = runScript("ulimit -v 30000 || exit 99\nexec \"$1/calcGap_report\" --format=tsv -k 2147483647 '" +
                                    a + "' '" + b + "' | wc -l");
    EXPECT_EQ(tsv.out, "2\n") << tsv.err;
}

// Every entry of a list of two billion must be paid for in memory; when it
// cannot be, the run ends with a message like any other error.
TEST_F(Limits, OutOfMemoryIsAnError)
{
    if (kSanitized)
        GTEST_SKIP() << "the sanitizers need far more address space than the limit";
    std::string ones;
    for (int i = 0; i < 2000000; ++i)
        ones += "1\n";
    const std::string many = dir.file("many.txt", ones);
    const std::string zero = dir.file("zero.txt", "0");
    const RunResult run = runScript("ulimit -v 20000 || exit 99\nexec \"$1/calcGap_peak\" '" + many +
                                    "' '" + zero + "' '" + points + "' 2000000 2 2147483647");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "calcGap_peak: cannot keep the 2147483647 largest errors: Cannot allocate memory\n");
}

// Memory grows with the samples and what each holds, no faster: a hundred
// samples of 20,000 pairs whose truths spread over 600 decades, with every
// figure by decade, within 400 MiB; three thousand of 300 pairs within
// 300 MiB.
TEST_F(Limits, ReportMemoryGrowsWithTheSamplesOnly)
{
    if (kSanitized)
        GTEST_SKIP() << "the sanitizer's shadow memory would swamp the measure";
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> decade(-300.0, 300.0);
    std::normal_distribution<double> noise(0.0, 1e-3);
    // Written a value at a time: a child's peak memory counts its parent's
    // at the time it was started.
    const auto write = [&](const std::string& path, const std::vector<double>& values, bool noisy) {
        std::FILE* file = std::fopen(path.c_str(), "w");
        ASSERT_NE(file, nullptr);
        for (double value : values)
            std::fprintf(file, "%.17g\n", noisy ? value * (1.0 + noise(random)) : value);
        std::fclose(file);
    };
    struct Run {
        int samples;
        std::size_t pairs;
        bool spread;
        std::vector<std::string> options;
        long boundKilobytes;
    };
    const Run runs[] = {{100, 20000, true, {"--format=json", "-k", "0", "--by-density"}, 400 * 1024},
                        {3000, 300, false, {}, 300 * 1024}};
    for (const Run& run : runs) {
        std::vector<double> truth(run.pairs);
        for (double& value : truth)
            value = run.spread ? std::pow(10.0, decade(random)) : std::ldexp(static_cast<double>(random() % 1000 + 1), -10);
        const std::string a = dir.path + "/truth.txt";
        write(a, truth, false);
        std::vector<std::string> args{"calcGap_report"};
        args.insert(args.end(), run.options.begin(), run.options.end());
        args.push_back(a);
        for (int s = 0; s < run.samples; ++s) {
            args.push_back(dir.path + "/s" + std::to_string(s) + ".txt");
            write(args.back(), truth, true);
        }
        const RunResult report = runProgram(toolPath("calcGap_report"), args, Output::file, "/dev/null");
        EXPECT_EQ(report.status, 0) << report.err;
        EXPECT_LT(report.peakKilobytes, run.boundKilobytes) << run.samples << " samples";
    }
}

// Memory stays within 16 MiB however widely the errors spread.
TEST_F(Limits, ReportMemoryStaysSmallWhateverTheErrors)
{
    if (kSanitized)
        GTEST_SKIP() << "the sanitizer's shadow memory would swamp the measure";
    // Written a value at a time: a child's peak memory counts its parent's
    // at the time it was started.
    std::mt19937 random(8);
    const std::string paths[2] = {dir.path + "/a.txt", dir.path + "/b.txt"};
    for (const std::string& path : paths) {
        std::FILE* file = std::fopen(path.c_str(), "w");
        ASSERT_NE(file, nullptr);
        for (int i = 0; i < 400000; ++i)
            std::fprintf(file, "%.9g\n",
                         std::ldexp(static_cast<double>(random()) / 2147483648.0, static_cast<int>(random() % 250) - 125));
        std::fclose(file);
    }
    const RunResult run = runTool("calcGap_report", {"-k", "1000", paths[0], paths[1]});
    EXPECT_EQ(run.status, 0);
    EXPECT_LT(run.peakKilobytes, 16 * 1024);
}

// Names and arguments reach every message quoted: always one line, and no
// byte of theirs reaches the terminal as a control sequence.
TEST_F(Limits, NamesInMessagesAreQuoted)
{
    const std::string a = dir.file("a.txt", "1");
    const RunResult name = runScript("cd \"$2\" && exec \"$1/calcGap_mean\" \"$3\" a.txt points.txt 1 2",
                                     {dir.path, "x\n\xe2\x80\xaey"});
    EXPECT_EQ(name.status, 1);
    EXPECT_EQ(name.err, "calcGap_mean: cannot open 'x'$'\\n\\342\\200\\256''y': No such file or directory\n");
    const RunResult count = runTool("calcGap_rms", {a, a, points, "99999999999\x1b[2J", "2"});
    EXPECT_EQ(count.err, "calcGap_rms: invalid #pts_in_test_file '99999999999'$'\\033''[2J': "
                         "Numerical result out of range\n");
    const RunResult option = runTool("calcGap_report", {"--floor=\xe2\x81\xa6x", a, a});
    EXPECT_EQ(option.err.substr(0, option.err.find('\n')),
              "calcGap_report: invalid floor $'\\342\\201\\246''x': not a finite number of 0 or more");
}

}  // namespace
