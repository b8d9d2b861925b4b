// The tools at the edges of what a process is given: the largest count, a
// small stack, little memory, one stream named twice, and names made of any
// bytes.
#include "testSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

const char* const kTools[] = {"calcGap_mean", "calcGap_rms", "calcGap_peak"};

// Runs the shell script with the tools' directory as $1, then any arguments.
RunResult runScript(const std::string& script, const std::vector<std::string>& arguments = {})
{
    std::vector<std::string> argv{"sh", "-c", script, "sh", toolPath("")};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return runProgram("/bin/sh", argv);
}

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

// A C program runs under a 16 KiB stack; so must the tools, whatever they do.
TEST_F(Limits, SmallStack)
{
    if (kSanitized)
        GTEST_SKIP() << "the sanitizers' own runtime needs a larger stack";
    const std::string a = dir.file("a.txt", "1 3");
    const std::string b = dir.file("b.txt", "2 1");
    const RunResult run = runScript("ulimit -s 16 || exit 99\n"
                                    "for i in 1 2 3 4 5 6 7 8 9 10; do\n"
                                    "  \"$1/calcGap_mean\" >/dev/null; echo $?\n"
                                    "  \"$1/calcGap_peak\" '" + a + "' '" + b + "' '" + points + "' 2 2 1; echo $?\n"
                                    "done");
    std::string expected;
    for (int i = 0; i < 10; ++i)
        expected += "1\n2.000000\n0\n";
    EXPECT_EQ(run.out, expected) << run.err;
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

// Two readers of one pipe would each take values the other never sees.
TEST_F(Limits, OneStreamGivenAsBothValueFiles)
{
    const std::string fifo = dir.path + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const RunResult named = runScript("seq 1 100000 > '" + fifo + "' 2>/dev/null &\nexec \"$1/calcGap_mean\" '" +
                                      fifo + "' '" + fifo + "' '" + points + "' 100000 2");
    EXPECT_EQ(named.status, 1);
    EXPECT_EQ(named.out, "");
    EXPECT_EQ(named.err, "calcGap_mean: cannot read '" + fifo + "' and '" + fifo +
                             "' as two value files: they are one stream, not a regular file\n");
    const RunResult stdinTwice = runScript("seq 1 10 | \"$1/calcGap_peak\" /dev/stdin /dev/stdin '" +
                                           points + "' 3 2 1");
    EXPECT_EQ(stdinTwice.status, 1);
    EXPECT_EQ(stdinTwice.out, "");
    EXPECT_NE(stdinTwice.err.find("they are one stream"), std::string::npos) << stdinTwice.err;
    // A regular file behind standard input is read twice, independently.
    const std::string values = dir.file("values.txt", "1 5 2");
    const RunResult file = runScript("exec \"$1/calcGap_peak\" /dev/stdin '" + values + "' '" + points +
                                     "' 3 2 1 < '" + values + "'");
    EXPECT_EQ(file.out, "0.000000\n") << file.err;
}

// Names and arguments reach the message quoted: always one line, and no
// byte of theirs reaches the terminal as a control sequence.
TEST_F(Limits, NamesInMessagesAreQuoted)
{
    const std::string a = dir.file("a.txt", "1");
    const struct {
        std::string name;
        std::string shown;
    } cases[] = {
        {"plain.txt", "'plain.txt'"},
        {"it's", "\"it's\""},
        {"x\ny", "'x'$'\\n''y'"},
        {"\x1b[2J", "$'\\033''[2J'"},
        {"\x1b]0;title\a", "$'\\033'']0;title'$'\\a'"},
        {"ok\rfake", "'ok'$'\\r''fake'"},
        {"caf\xc3\xa9", "'caf\xc3\xa9'"},
        {"bad\xff\xfe", "'bad'$'\\377\\376'"},
        {"\xc2\x9b" "1m", "$'\\302\\233''1m'"},
        {"it's $\"x\"", "'it'\\''s $\"x\"'"},
    };
    for (const auto& c : cases) {
        const RunResult run = runScript("cd \"$2\" && exec \"$1/calcGap_mean\" \"$3\" a.txt points.txt 1 2",
                                        {dir.path, c.name});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "calcGap_mean: cannot open " + c.shown + ": No such file or directory\n");
    }
    const RunResult count = runTool("calcGap_rms", {a, a, points, "99999999999\x1b[2J", "2"});
    EXPECT_EQ(count.err, "calcGap_rms: invalid #pts_in_test_file '99999999999'$'\\033''[2J': "
                         "Numerical result out of range\n");
}

}  // namespace
