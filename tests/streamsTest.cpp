// Value files that are not regular files: pipes, FIFOs and standard input,
// read once as they come, never waited on for nothing, and never given
// twice.
#include "testSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

namespace {

class Streams : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string points = dir.file("points.txt", "0.5 0.5\n");
};

TEST_F(Streams, PipesAndFifosAreReadLikeFiles)
{
    const std::string a = dir.file("a.txt", "1 3");
    const std::string fifo = dir.path + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const RunResult run = runScript("printf '2 1' > '" + fifo + "' & exec \"$1/calcGap_mean\" '" + a + "' '" + fifo +
                                    "' '" + points + "' 2 2");
    EXPECT_EQ(run.out, "1.500000\n") << run.err;
    const RunResult report = runScript("printf '2 1' | exec \"$1/calcGap_report\" --format=tsv '" + a + "' -");
    EXPECT_EQ(report.status, 0) << report.err;
    EXPECT_NE(report.out.find("\t2\t2\t1.5\t"), std::string::npos) << report.out;
}

// Two readers of one pipe would each take values the other never sees; the
// check comes before either is opened, so that a FIFO nobody writes to is
// not waited on.
TEST_F(Streams, OneStreamGivenAsBothValueFiles)
{
    const std::string fifo = dir.path + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string message = "cannot read '" + fifo + "' and '" + fifo +
                                "' as two value files: they are one stream, not a regular file\n";
    const RunResult classic =
        runScript("exec timeout 20 \"$1/calcGap_mean\" '" + fifo + "' '" + fifo + "' '" + points + "' 100000 2");
    EXPECT_EQ(classic.status, 1);
    EXPECT_EQ(classic.out, "");
    EXPECT_EQ(classic.err, "calcGap_mean: " + message);
    const RunResult report = runScript("exec timeout 20 \"$1/calcGap_report\" '" + fifo + "' '" + fifo + "'");
    EXPECT_EQ(report.status, 1);
    EXPECT_EQ(report.err, "calcGap_report: " + message);

    const RunResult stdinTwice = runScript("seq 1 10 | \"$1/calcGap_peak\" /dev/stdin /dev/stdin '" +
                                           points + "' 3 2 1");
    EXPECT_EQ(stdinTwice.status, 1);
    EXPECT_EQ(stdinTwice.out, "");
    EXPECT_NE(stdinTwice.err.find("they are one stream"), std::string::npos) << stdinTwice.err;
    // A regular file behind standard input is read twice, independently...
    const std::string values = dir.file("values.txt", "1 5 2");
    const RunResult file = runScript("exec \"$1/calcGap_peak\" /dev/stdin '" + values + "' '" + points +
                                     "' 3 2 1 < '" + values + "'");
    EXPECT_EQ(file.out, "0.000000\n") << file.err;
    // ...but standard input itself, as the report's "-", only once.
    const RunResult dashes = runScript("exec \"$1/calcGap_report\" - - < '" + values + "'");
    EXPECT_EQ(dashes.status, 1);
    EXPECT_EQ(dashes.err, "calcGap_report: cannot read '-' and '-' as two value files: they are both standard input\n");
}

// The report's "-" is standard input; "./-" is a file named -.
TEST_F(Streams, DashIsStandardInputInTheReport)
{
    const std::string b = dir.file("b.txt", "1 2");
    const RunResult piped = runScript("printf '1.5 2' | exec \"$1/calcGap_report\" --format=json - '" + b + "'");
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_NE(piped.out.find("\"path\": \"-\""), std::string::npos);
    EXPECT_NE(piped.out.find("\"abs_mean\": 0.25"), std::string::npos) << piped.out;
    dir.file("-", "3 2");
    const RunResult named = runScript("cd '" + dir.path + "' && exec \"$1/calcGap_report\" --format=json ./- b.txt");
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_NE(named.out.find("\"abs_mean\": 1.0"), std::string::npos) << named.out;
}

// After the shorter file ends, a regular file is read on to count its
// values, but a stream that may never end is not.
TEST_F(Streams, TheReportStopsAStreamAtTheEndOfThePairs)
{
    const std::string b3 = dir.file("b3.txt", "1 2 3\n");
    const RunResult run = runScript("yes 1 | exec timeout 60 \"$1/calcGap_report\" --format=json '" + b3 + "' -");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("\"pairs\": 3,"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"end\": \"not-counted\""), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"problems\": true"), std::string::npos);
    const RunResult text = runScript("yes 1 | exec timeout 60 \"$1/calcGap_report\" '" + b3 + "' -");
    EXPECT_NE(text.out.find("then more, not counted: it is not a regular file"), std::string::npos) << text.out;
    const RunResult strict = runScript("yes 1 | exec timeout 60 \"$1/calcGap_report\" --strict '" + b3 + "' -");
    EXPECT_EQ(strict.status, 2);
    // The same values as a regular file are counted.
    const std::string many = dir.file("many.txt", "1\n1\n1\n1\n1\n1\n1\n");
    const RunResult file = runTool("calcGap_report", {"--format=json", b3, many});
    EXPECT_NE(file.out.find("\"values\": 7,"), std::string::npos) << file.out;
}

// Every kind of file reads the same from a stream that gives it one byte a
// read, as from the file itself: a byte-order mark split over reads is
// still passed over, and rows and lines that straddle reads keep their
// bytes.
TEST_F(Streams, EveryKindReadsTheSameOneByteAtATime)
{
    const std::string make =
        "cd '" + dir.path + "' && /usr/bin/python3 -c \""
        "import numpy as np\n"
        "a = np.array([[1, 1], [2, 2], [3, 3], [4, 4]], dtype='<f8')\n"
        "b = np.array([[1, 0.5], [2, 2.5], [3, 2.75], [4, 4.5]], dtype='<f8')\n"
        "np.save('a.npy', a); np.save('b.npy', b)\n"
        "a[:, 1].tofile('a.f8'); b[:, 1].tofile('b.f8')\n"
        "open('a.csv', 'w').write('x,y\\n' + ''.join('%g,%g\\n' % tuple(r) for r in a))\n"
        "open('b.csv', 'wb').write(b'\\xef\\xbb\\xbfx,y\\n' + ''.join('%g,%.17g\\n' % tuple(r) for r in b).encode())\n"
        "open('a.txt', 'w').write('1 2 3 4\\n')\n"
        "open('b.txt', 'wb').write(b'\\xef\\xbb\\xbf0.5 2.5\\n# a comment\\n2.75 4.5\\n')\n"
        "\"";
    const RunResult made = runScript(make);
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string trickle = "/usr/bin/python3 -c \"import os, sys, time\n"
                                "for x in open(sys.argv[1], 'rb').read():\n"
                                "    os.write(1, bytes([x])); time.sleep(0.001)\n\" ";
    struct Kind {
        std::string options;
        std::string extension;
    };
    for (const Kind& kind : {Kind{"", "txt"}, Kind{"--column=2 --delimiter=, --header", "csv"},
                             Kind{"--column=2", "npy"}, Kind{"--raw=f8", "f8"}}) {
        const std::string a = dir.path + "/a." + kind.extension;
        const std::string b = dir.path + "/b." + kind.extension;
        const std::string report = "\"$1/calcGap_report\" --format=json " + kind.options + " '" + a + "' ";
        const RunResult direct = runScript("exec " + report + "'" + b + "'");
        const RunResult streamed = runScript(trickle + "'" + b + "' | exec " + report + "-");
        ASSERT_EQ(direct.status, 0) << kind.extension << direct.err;
        ASSERT_EQ(streamed.status, 0) << kind.extension << streamed.err;
        // The same figures, the same file but for its name.
        std::string expected = direct.out;
        for (std::size_t at = expected.find("\"" + b + "\""); at != std::string::npos;
             at = expected.find("\"" + b + "\""))
            expected.replace(at, b.size() + 2, "\"-\"");
        EXPECT_EQ(streamed.out, expected) << kind.extension;
        EXPECT_NE(direct.out.find("\"abs_mean\": 0.4375"), std::string::npos) << kind.extension << direct.out;
    }
}

}  // namespace
