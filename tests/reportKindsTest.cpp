// What calcGap_report reads: text at full precision, comments, fields of
// lines, .npy, raw and HDF5 files, logarithms of densities, each against an
// independent computation in numpy, and the faults of each reported as
// such.  numpy and h5py write the binary files where Debian's python3-numpy
// and python3-h5py are installed; the tests that need them skip otherwise.
#include "reportSupport.h"

#include "support/quoting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace calcgap;

namespace {

using nlohmann::json;

// A Python that has numpy and h5py, or empty.
const std::string& python()
{
    static const std::string found = [] {
        for (const char* candidate : {"/usr/bin/python3", "python3"}) {
            const std::string probe = std::string(candidate) + " -c 'import numpy, h5py' >/dev/null 2>&1";
            if (std::system(probe.c_str()) == 0)
                return std::string(candidate);
        }
        return std::string();
    }();
    return found;
}

#define NEEDS_NUMPY()                                                                 \
    if (python().empty())                                                             \
    GTEST_SKIP() << "python3 with numpy and h5py is not installed (apt-get install " \
                    "python3-numpy python3-h5py)"

// Values a Python program starts with: densities over eight decades, and an
// estimate of them off by 1e-9 relative, far below a float's 6e-8, so that
// only a reader of every digit sees the error.  figures(a, b) prints a line
// of JSON with what the report must agree with, from numpy in extended
// precision.
const char* const kPrelude = R"(import numpy as np, h5py, json
rng = np.random.default_rng(5)
x = np.exp(rng.normal(-6, 2, 3000)); y = x * (1 + rng.normal(0, 1e-9, 3000))
def figures(a, b):
    a = np.asarray(a, np.longdouble); b = np.asarray(b, np.longdouble)
    e = np.abs(a - b); r = e / np.abs(a)
    print(json.dumps({'n': len(a), 'abs_mean': float(e.mean()), 'abs_max': float(e.max()),
                      'rel_mean': float(r.mean()), 'within': int((e <= 0.01 * np.abs(a)).sum())}))
)";

class ReportKinds : public ::testing::Test {
protected:
    ScratchDir dir;

    // Runs the program after the prelude in the scratch folder, where it
    // writes its files; each line it prints is one set of figures.
    std::vector<json> runPython(const std::string& program)
    {
        const std::string script = dir.file("make.py", std::string(kPrelude) + program);
        const RunResult run = runProgram("/bin/sh", {"sh", "-c", "cd '" + dir.path + "' && exec " + python() + " make.py"});
        EXPECT_EQ(run.status, 0) << run.err;
        std::vector<json> sets;
        std::istringstream lines(run.out);
        for (std::string line; std::getline(lines, line);)
            sets.push_back(json::parse(line));
        return sets;
    }

    std::string at(const std::string& name) const { return dir.path + "/" + name; }

    void expectError(const std::vector<std::string>& args, const std::string& message)
    {
        const RunResult run = runReport(args);
        EXPECT_EQ(run.status, 1) << message;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "calcGap_report: " + message + "\n");
    }
};

void expectRelative(double actual, double expected, double bound, const std::string& what)
{
    EXPECT_LE(std::fabs(actual - expected), bound * std::fabs(expected))
        << what << ": " << actual << " against " << expected;
}

void expectFigures(const json& report, const json& expected, const std::string& what)
{
    EXPECT_EQ(report["pairs"], expected["n"]) << what;
    expectRelative(report["abs_mean"], expected["abs_mean"], 1e-12, what + ", absolute mean");
    expectRelative(report["abs_max"], expected["abs_max"], 1e-15, what + ", absolute max");
    expectRelative(report["rel_mean"], expected["rel_mean"], 1e-12, what + ", relative mean");
    EXPECT_EQ(report["within"], expected["within"]) << what;
}

TEST_F(ReportKinds, TextAtFullPrecisionWithComments)
{
    NEEDS_NUMPY();
    const std::vector<json> expected = runPython(R"(
np.savetxt('a.txt', x, header='KDE from all points\nsecond line'); np.savetxt('b.txt', y, fmt='%.17g')
np.savetxt('plain.txt', x)
figures(x, y)
)");
    ASSERT_EQ(expected.size(), 1u);
    const json got = reportJson({at("a.txt"), at("b.txt")});
    expectFigures(got, expected[0], "text");
    EXPECT_EQ(got["allpts"]["comment_lines"], 2);
    EXPECT_EQ(got["allpts"]["kind"], "text");
    EXPECT_EQ(got["problems"], false);
    // The classic tools take a comment for text that is not a number and
    // stop there, so the report claims no line of theirs; without the
    // comment, its line is theirs.
    EXPECT_TRUE(got["classic_mean"].is_null());
    const RunResult mean = runTool("calcGap_mean", {at("plain.txt"), at("b.txt"), at("b.txt"), "3000", "1"});
    const json plain = reportJson({at("plain.txt"), at("b.txt")});
    EXPECT_EQ(plain["classic_mean"].get<std::string>() + "\n", mean.out);
}

TEST_F(ReportKinds, NpyFilesOfEveryLayout)
{
    NEEDS_NUMPY();
    const std::vector<json> expected = runPython(R"(
np.save('a.npy', x); np.save('b.npy', y); np.save('big.npy', x.astype('>f8'))
np.save('column.npy', x.reshape(-1, 1)); np.save('fortran.npy', np.asfortranarray(x.reshape(-1, 1)))
np.save('wide.npy', np.stack([y, x, y], axis=1)); np.save('pairs.npy', np.stack([x, y, x], axis=1))
np.save('single.npy', y.astype('<f4'))
np.save('ints.npy', np.arange(4)); np.save('cube.npy', np.zeros((2, 2, 2)))
np.save('fortranWide.npy', np.asfortranarray(np.stack([x, y], axis=1)))
np.lib.format.write_array(open('v2.npy', 'wb'), x, version=(2, 0))
np.lib.format.write_array(open('v3.npy', 'wb'), x, version=(3, 0))
open('short.npy', 'wb').write(open('a.npy', 'rb').read()[:1000])
open('bad.npy', 'wb').write(open('a.npy', 'rb').read()[:10] + b'{not a header}' + b' ' * 104)
figures(x, y)
figures(x, y.astype(np.float32))
)");
    ASSERT_EQ(expected.size(), 2u);
    for (const char* a : {"a.npy", "big.npy", "column.npy", "fortran.npy", "v2.npy", "v3.npy"})
        expectFigures(reportJson({at(a), at("b.npy")}), expected[0], a);
    expectFigures(reportJson({"--column=2", at("wide.npy"), at("pairs.npy")}), expected[0], "wide");
    const json single = reportJson({at("a.npy"), at("single.npy")});
    expectFigures(single, expected[1], "float32");
    EXPECT_EQ(single["allpts"]["kind"], ".npy <f8");
    EXPECT_EQ(single["sample"]["kind"], ".npy <f4");
    EXPECT_EQ(reportJson({"--column=2", at("wide.npy"), at("pairs.npy")})["allpts"]["kind"], ".npy <f8, column 2 of 3");
    // Text and .npy together.
    runPython("np.savetxt('b.txt', y, fmt='%.17g')\n");
    expectFigures(reportJson({at("a.npy"), at("b.txt")}), expected[0], ".npy against text");

    const auto read = [](const std::string& path) { return "cannot read " + shellQuoted(path) + ": "; };
    expectError({at("ints.npy"), at("b.npy")}, read(at("ints.npy")) + "dtype '<i8' is not float32 or float64");
    expectError({at("cube.npy"), at("b.npy")}, read(at("cube.npy")) + "its array has 3 dimensions, not 1 or 2");
    expectError({at("wide.npy"), at("b.npy")}, read(at("wide.npy")) + "its array has 3 columns: choose one with --column");
    expectError({"--column=4", at("wide.npy"), at("pairs.npy")},
                read(at("wide.npy")) + "its array has 3 columns; --column=4 is beyond them");
    expectError({"--column=2", at("fortranWide.npy"), at("pairs.npy")},
                read(at("fortranWide.npy")) + "its array is in Fortran order, which is read only for one column");
    expectError({at("short.npy"), at("b.npy")}, read(at("short.npy")) + "it ends after 109 of the 3000 rows its header declares");
    expectError({at("bad.npy"), at("b.npy")}, read(at("bad.npy")) + "its .npy header is malformed: '{not a header}'");
    // A stream shorter than its header says is found when it ends.
    const RunResult piped = runScript("exec \"$1/calcGap_report\" - '" + at("b.npy") + "' < '" + at("short.npy") + "'");
    EXPECT_EQ(piped.err, "calcGap_report: cannot read '-': it ends after 109 of the 3000 rows its header declares\n");

    // Headers numpy does not write but may read: the native byte order
    // '=', and a shape whose element count passes any file's.
    runPython(R"(
raw = open('a.npy', 'rb').read(); length = raw[8] | raw[9] << 8
def reheader(name, old, new):
    head = raw[10:10 + length].decode().replace(old, new).rstrip(' \n')
    open(name, 'wb').write(raw[:10] + (head + ' ' * (length - 1 - len(head)) + '\n').encode() + raw[10 + length:])
reheader('native.npy', "'<f8'", "'=f8'")
reheader('huge.npy', '(3000,)', '(576460752303423489, 16)')
np.save('points.npy', np.zeros((1600, 2))); open('cut.npy', 'wb').write(open('points.npy', 'rb').read()[:1000])
)");
    expectFigures(reportJson({at("native.npy"), at("b.npy")}), expected[0], "native byte order");
    EXPECT_EQ(reportJson({at("native.npy"), at("b.npy")})["allpts"]["kind"], ".npy =f8");
    const std::string huge = read(at("huge.npy")) + "its .npy header declares a shape (576460752303423489, 16) larger than any file";
    expectError({at("huge.npy"), at("b.npy")}, huge);
    expectError({"--points=" + at("huge.npy"), "--dim=16", at("a.npy"), at("b.npy")}, huge);
    // Test points are read value by value, and told of by their rows.
    expectError({"--points=" + at("cut.npy"), "--dim=2", at("a.npy"), at("b.npy")},
                read(at("cut.npy")) + "it ends after 54 of the 1600 rows its header declares");
}

// Arrays tell their NaNs and infinities as they convert them: counted as
// of text holding the same values, block by block, in every element type.
TEST_F(ReportKinds, NonFiniteValuesOfArraysAreCounted)
{
    NEEDS_NUMPY();
    runPython(R"(
z = x.copy(); z[[7, 600, 601, 2999]] = [np.nan, np.inf, -np.inf, np.nan]
w = y.copy(); w[[1500, 2048]] = [np.inf, np.nan]
np.save('z.npy', z); np.save('z4.npy', z.astype(np.float32)); np.save('zbig.npy', z.astype('>f4'))
np.save('zwide.npy', np.stack([w, z], axis=1)); np.save('wwide.npy', np.stack([z, w], axis=1))
z.astype(np.float32).tofile('z.f4')
np.save('w.npy', w); w.astype(np.float32).tofile('w.f4')
np.savetxt('z.txt', z, fmt='%.17g'); np.savetxt('w.txt', w, fmt='%.17g')
)");
    const json text = reportJson({at("z.txt"), at("w.txt")});
    ASSERT_EQ(text["allpts"]["nans"], 2);
    ASSERT_EQ(text["allpts"]["infinities"], 2);
    ASSERT_EQ(text["sample"]["nans"], 1);
    ASSERT_EQ(text["sample"]["infinities"], 1);
    const auto expectCounts = [&](const json& got, const std::string& what) {
        for (const char* file : {"allpts", "sample"})
            for (const char* count : {"nans", "infinities"})
                EXPECT_EQ(got[file][count], text[file][count]) << what << ", " << file << " " << count;
        EXPECT_EQ(got["left_out"], text["left_out"]) << what;
    };
    expectCounts(reportJson({at("z.npy"), at("w.npy")}), ".npy f8");
    expectCounts(reportJson({at("z4.npy"), at("w.npy")}), ".npy f4");
    expectCounts(reportJson({at("zbig.npy"), at("w.npy")}), ".npy >f4");
    expectCounts(reportJson({"--raw=f4", at("z.f4"), at("w.f4")}), "raw f4");
    expectCounts(reportJson({"--column=2", at("zwide.npy"), at("wwide.npy")}), "column 2 of 2");
}

TEST_F(ReportKinds, RawArraysAndHdf5Datasets)
{
    NEEDS_NUMPY();
    const std::vector<json> expected = runPython(R"(
x.tofile('a.f8'); y.tofile('b.f8'); x.astype(np.float32).tofile('a.f4'); y.astype(np.float32).tofile('b.f4')
open('odd.f8', 'wb').write(open('a.f8', 'rb').read()[:20])
with h5py.File('d.h5', 'w') as f:
    f['/kde/exact'] = x; f['/kde/estimate'] = y
    f.create_dataset('chunked', data=y, chunks=(100,))
    f['reps'] = np.stack([x, y], axis=1); f['reversed'] = np.stack([y, x], axis=1)
    f['single'] = y.astype(np.float32)
    f['ints'] = np.arange(10); f['cube'] = np.zeros((2, 2, 2))
np.savetxt('y.txt', y, fmt='%.17g')
figures(x, y)
figures(x.astype(np.float32), y.astype(np.float32))
)");
    ASSERT_EQ(expected.size(), 2u);
    const std::string h5 = at("d.h5");
    expectFigures(reportJson({"--raw=f8", at("a.f8"), at("b.f8")}), expected[0], "raw f8");
    expectFigures(reportJson({"--raw=f4", at("a.f4"), at("b.f4")}), expected[1], "raw f4");
    expectFigures(reportJson({h5 + ":/kde/exact", h5 + ":/kde/estimate"}), expected[0], "HDF5");
    expectFigures(reportJson({h5 + ":/kde/exact", h5 + ":chunked"}), expected[0], "chunked HDF5");
    expectFigures(reportJson({"--column=2", h5 + ":reversed", h5 + ":reps"}), expected[0], "HDF5 column");
    expectFigures(reportJson({h5 + ":/kde/exact", at("y.txt")}), expected[0], "HDF5 against text");
    EXPECT_EQ(reportJson({h5 + ":/kde/exact", h5 + ":single"})["sample"]["kind"], "HDF5 dataset 'single', float32");
    EXPECT_EQ(reportJson({"--raw=f8", at("a.f8"), at("b.f8")})["allpts"]["kind"], "raw f8");

    const std::string read = "cannot read " + shellQuoted(h5) + ": ";
    expectError({"--raw=f8", at("odd.f8"), at("b.f8")},
                "cannot read " + shellQuoted(at("odd.f8")) + ": its length, 20 bytes, is not a whole number of 8-byte values");
    expectError({h5 + ":nothing", at("y.txt")}, read + "it has no dataset 'nothing'");
    expectError({h5 + ":ints", at("y.txt")}, read + "dataset 'ints' holds integers, not float32 or float64");
    expectError({h5 + ":cube", at("y.txt")}, read + "dataset 'cube' has rank 3, not 1 or 2");
    expectError({h5 + ":reps", at("y.txt")}, read + "dataset 'reps' has 2 columns: choose one with --column");
    expectError({h5, at("y.txt")}, read + "it is an HDF5 file: name a dataset in it as " + shellQuoted(h5 + ":DATASET"));
    // A file whose name holds a colon is that file.
    runPython("np.savetxt('odd:name', x, fmt='%.17g')\n");
    expectFigures(reportJson({at("odd:name"), at("y.txt")}), expected[0], "a name with a colon");

    // What a user likely meant: a group named as a dataset, a file that
    // says its own type read with --raw, one column that is not two.
    runPython(R"(
with h5py.File('g.h5', 'w') as f: f.create_group('grp'); f['x'] = x
np.save('a.npy', x); np.array([1e-310, 1.0]).tofile('sub.f8'); np.array([1.0, 1.0]).tofile('ones.f8')
)");
    expectError({at("g.h5") + ":/grp", at("y.txt")},
                "cannot read " + shellQuoted(at("g.h5")) + ": '/grp' in it is a group, not a dataset: name a dataset in it");
    expectError({"--raw=f8", at("a.npy"), at("b.f8")},
                "cannot read " + shellQuoted(at("a.npy")) + ": it is a .npy file, which says its own type: read it without --raw");
    expectError({"--column=2", at("a.npy"), at("a.npy")},
                "cannot read " + shellQuoted(at("a.npy")) + ": its array has 1 column; --column=2 is beyond them");
    // Subnormals in a binary file were written so.
    const std::string text = runReport({"--raw=f8", at("sub.f8"), at("ones.f8")}).out;
    EXPECT_NE(text.find("  a: underflow             1 value below the normal range (subnormal), with fewer digits"),
              std::string::npos)
        << text;
    // With no descriptor left, the library's "not an HDF5 file" is not the
    // reason given.
    runPython("for i in range(20):\n    with h5py.File('m%d.h5' % i, 'w') as f: f['x'] = x\n");
    std::string many;
    for (int i = 0; i < 20; ++i)
        many += " '" + at("m" + std::to_string(i) + ".h5") + ":x'";
    const RunResult limited = runScript("ulimit -n 12 || exit 99\nexec \"$1/calcGap_report\"" + many);
    EXPECT_EQ(limited.status, 1) << limited.err;
    EXPECT_NE(limited.err.find("Too many open files"), std::string::npos) << limited.err;
    EXPECT_EQ(limited.err.find("not an HDF5 file"), std::string::npos) << limited.err;
}

// Runs stored as one matrix of queries x repetitions, or as a group of
// datasets: each column, and each dataset a pattern matches, is a sample
// of its own, in natural order, with the figures the same runs give file by
// file; --truth-column reads the first file's column apart from the
// samples', and a pattern that matches nothing is an error naming it.
TEST_F(ReportKinds, RunsAsMatricesAndSets)
{
    NEEDS_NUMPY();
    runPython(R"(
runs = np.stack([x * (1 + rng.normal(0, 10.0 ** -k, 3000)) for k in (2, 4, 6)], axis=1)
np.save('runs.npy', runs); np.save('x.npy', x)
for j in range(3): np.savetxt('run%d.txt' % (j + 1), runs[:, j], fmt='%.17g')
with h5py.File('runs.h5', 'w') as f:
    f['truth'] = np.stack([y, x], axis=1); f['matrix'] = runs
    for j, name in enumerate(['r2', 'r10', 'r1']): f['runs/' + name] = runs[:, [1, 2, 0][j]]
    f['runs/deeper/r3'] = runs[:, 0]; f.create_group('runs/empty')
)");
    const auto figuresOf = [](const json& sample) {
        json kept = sample;
        for (const char* name : {"sample", "allpts"})
            kept.erase(name);
        return kept;
    };
    const json byFile = reportJson({"--format=json", "--summary", at("x.npy"), at("run1.txt"), at("run2.txt"), at("run3.txt")});
    const json matrix = reportJson({"--format=json", "--summary", at("x.npy"), at("runs.npy")});
    ASSERT_EQ(matrix["samples"].size(), 3u);
    for (std::size_t j = 0; j < 3; ++j) {
        EXPECT_EQ(matrix["samples"][j]["sample"]["path"], at("runs.npy") + "#" + std::to_string(j + 1));
        EXPECT_EQ(matrix["samples"][j]["sample"]["kind"], ".npy <f8, column " + std::to_string(j + 1) + " of 3");
        EXPECT_EQ(figuresOf(matrix["samples"][j]), figuresOf(byFile["samples"][j])) << j;
    }
    EXPECT_EQ(matrix["summary"][0]["figures"]["rel_mean"], byFile["summary"][0]["figures"]["rel_mean"]);

    // The datasets of a group, r1 < r2 < r10, and not those of a group
    // within it; the truth its column 2 while the samples have none.
    const std::string h5 = at("runs.h5");
    const TsvTable set = parseTsv(runReport({"--format=tsv", "--truth-column=2", h5 + ":/truth", h5 + ":/runs/*",
                                             h5 + ":/matrix"})
                                      .out);
    ASSERT_EQ(set.rows.size(), 6u);
    std::vector<std::string> names;
    for (const std::vector<std::string>& row : set.rows)
        names.push_back(row[1]);
    EXPECT_EQ(names, (std::vector<std::string>{shellQuoted(h5 + ":/matrix#1"), shellQuoted(h5 + ":/matrix#2"),
                                               shellQuoted(h5 + ":/matrix#3"), shellQuoted(h5 + ":/runs/r1"),
                                               shellQuoted(h5 + ":/runs/r2"), shellQuoted(h5 + ":/runs/r10")}));
    const auto relMean = std::find(set.names.begin(), set.names.end(), "rel_mean") - set.names.begin();
    for (std::size_t j = 0; j < 3; ++j)
        EXPECT_EQ(std::strtod(set.rows[j][static_cast<std::size_t>(relMean)].c_str(), nullptr),
                  std::strtod(set.rows[j + 3][static_cast<std::size_t>(relMean)].c_str(), nullptr))
            << j;
    EXPECT_EQ(std::strtod(set.rows[0][static_cast<std::size_t>(relMean)].c_str(), nullptr),
              matrix["samples"][0]["rel_mean"].get<double>());
    expectError({at("x.npy"), h5 + ":/runs/none*"}, "cannot read " + shellQuoted(h5) + ": no dataset in it matches '/runs/none*'");
    // With --column the matrix is one sample, as before, and the truth
    // keeps its own column.
    EXPECT_EQ(reportJson({"--column=3", "--truth-column=1", at("x.npy"), at("runs.npy")})["rel_mean"],
              byFile["samples"][2]["rel_mean"]);
}

// One field of each line: CSV with an index column, a header naming the
// columns, lines without the field and fields that are not numbers.
// Fields read in place and fields read byte by byte (lines across the
// reader's 64 KiB buffer, empty fields, words, blanks around them) give
// the values the same numbers give as text, one a line: every figure of
// the row agrees but the files' kinds and, where fields are not numbers,
// what was skipped.
TEST_F(ReportKinds, FieldsReadInPlaceAreTheTextValues)
{
    std::mt19937_64 random(23);
    const char* const formats[] = {"%.17g", "%e", "%.3f", "+%.5g", "%a", "%.9g", "%g"};
    std::string allptsText, sampleText, allptsFields, sampleFields;
    for (int i = 0; i < 30000; ++i) {
        for (int side = 0; side < 2; ++side) {
            const double magnitude = std::ldexp(static_cast<double>(random() % 1000000 + 1), -static_cast<int>(random() % 60));
            const std::uint64_t pick = random() % 100;
            char number[64];
            if (pick == 0)
                std::snprintf(number, sizeof number, "4.9e-324");
            else if (pick == 1)
                std::snprintf(number, sizeof number, "1e400");
            else
                std::snprintf(number, sizeof number, formats[random() % std::size(formats)], magnitude);
            const std::string pad = random() % 5 == 0 ? " " : "";
            const std::string end = random() % 3 == 0 ? "\r\n" : "\n";
            const std::string third = random() % 2 == 0 ? ",x" : "";
            (side == 0 ? allptsText : sampleText) += std::string(number) + "\n";
            (side == 0 ? allptsFields : sampleFields) += std::to_string(i) + "," + pad + number + pad + third + end;
        }
    }
    const auto text = reportTsv({dir.file("a.txt", allptsText), dir.file("b.txt", sampleText)});
    const auto fields = reportTsv({"--delimiter=,", "--column=2", dir.file("a.csv", allptsFields),
                                   dir.file("b.csv", sampleFields)});
    ASSERT_FALSE(text.empty());
    for (const auto& [name, value] : text) {
        if (name == "allpts" || name == "sample" || name.find("_kind") != std::string::npos ||
            name.rfind("classic_", 0) == 0)
            continue;
        EXPECT_EQ(fields.at(name), value) << name;
    }
    EXPECT_EQ(fields.at("allpts_values"), "30000");
    EXPECT_NE(fields.at("allpts_overflows"), "0");
}

TEST_F(ReportKinds, FieldsOfLines)
{
    NEEDS_NUMPY();
    const std::vector<json> expected = runPython(R"(
for name, values in (('a.csv', x), ('b.csv', y)):
    with open(name, 'w') as f:
        f.write('index,density\n')
        for i, v in enumerate(values): f.write('%d, %.17g\r\n' % (i, v))
np.savetxt('b.txt', np.stack([np.arange(len(y)), y], axis=1), fmt=['%d', '%.17g'], header='i kde')
np.savetxt('a.txt', np.stack([np.arange(len(x)), x], axis=1), fmt=['%d', '%.17g'])
figures(x, y)
)");
    ASSERT_EQ(expected.size(), 1u);
    expectFigures(reportJson({"--header", "--delimiter=,", "--column=density", at("a.csv"), at("b.csv")}),
                  expected[0], "by name");
    expectFigures(reportJson({"--header", "--delimiter=,", "--column=2", at("a.csv"), at("b.csv")}), expected[0],
                  "by number");
    // Fields split at blanks; the # line is a comment.
    const json blanks = reportJson({"--column=2", at("a.txt"), at("b.txt")});
    expectFigures(blanks, expected[0], "blank-separated");
    EXPECT_EQ(blanks["sample"]["comment_lines"], 1);
    EXPECT_EQ(blanks["allpts"]["kind"], "text, field 2 of blank-separated lines");

    const std::string odd = dir.file("odd.csv", "1,0.5\n2\n\n3,x\n# note\n4,0.25\n");
    const std::string four = dir.file("four.csv", "9,1\n9,1\n9,1\n9,1\n");
    const json got = reportJson({"--delimiter=,", "--column=2", odd, four});
    EXPECT_EQ(got["allpts"]["values"], 2);
    EXPECT_EQ(got["allpts"]["short_lines"], 1);
    EXPECT_EQ(got["allpts"]["first_short_line"], 2);
    EXPECT_EQ(got["allpts"]["skipped_reads"], 1);
    EXPECT_EQ(got["allpts"]["first_skip"], json({{"line", 4}, {"column", 3}, {"offset", 11}}));
    EXPECT_EQ(got["allpts"]["comment_lines"], 1);
    EXPECT_EQ(got["allpts"]["kind"], "text, field 2 of ','-separated lines");
    EXPECT_EQ(runReport({"--strict", "--delimiter=,", "--column=2", odd, four}).status, 2);
    expectError({"--header", "--delimiter=,", "--column=kde", at("a.csv"), at("b.csv")},
                "cannot read " + shellQuoted(at("a.csv")) + ": its header has no column 'kde'; it has 'index' 'density'");

    // A field that is not a number, whole, repeats the value before it in
    // the accurate figures as in the classic lines: 2 - 1 four times.
    const std::string units = dir.file("units.csv", "1,1\n2,NA\n3,0.5 kg\n4,12%\n");
    const std::string twos = dir.file("twos.csv", "0,2\n0,2\n0,2\n0,2\n");
    const auto repeated = reportTsv({"--delimiter=,", "--column=2", units, twos});
    EXPECT_EQ(repeated.at("abs_max"), "1");
    EXPECT_EQ(repeated.at("abs_mean"), "1");
    // The classic tools read no fields: the report claims no line of theirs.
    EXPECT_EQ(repeated.at("classic_mean"), "");
    EXPECT_EQ(repeated.at("allpts_skipped_reads"), "3");
    // A field as long as plain text reads: 5,000 digits of 0.000...01.
    const std::string longField = "0." + std::string(4998, '0') + "1";
    const std::string longs = dir.file("long.csv", "1,0.5\n2," + longField + "e4999\n");
    const std::string halves = dir.file("halves.csv", "0,0.5\n0,0.5\n");
    const auto read = reportTsv({"--delimiter=,", "--column=2", longs, halves});
    EXPECT_EQ(read.at("allpts_values"), "2");
    EXPECT_EQ(read.at("abs_max"), "0.5");
    // An empty field is a field, whatever the delimiter, a tab too: at the
    // start, between two delimiters and at the end.
    for (const char delimiter : {'\t', ',', ';'}) {
        const std::string d(1, delimiter);
        const std::string fields = dir.file("fields.txt", "1" + d + d + "3\n" + d + "5" + d + "6\n7" + d + "8" + d + "\n");
        const std::string line = "1" + d + "1" + d + "1\n";
        const std::string ones = dir.file("ones.txt", line + line + line);
        const auto second = reportTsv({"--delimiter=" + d, "--column=2", fields, ones});
        EXPECT_EQ(second.at("allpts_values"), "2") << delimiter;
        EXPECT_EQ(second.at("allpts_skipped_reads"), "1") << delimiter;
        EXPECT_EQ(second.at("abs_max"), "7") << delimiter;
        const auto third = reportTsv({"--delimiter=" + d, "--column=3", fields, ones});
        EXPECT_EQ(third.at("allpts_values"), "2") << delimiter;
        EXPECT_EQ(third.at("abs_max"), "5") << delimiter;
    }
}

// Natural logarithms of densities as small as 1e-560: the relative and
// ratio errors come from the logarithms, exact at any scale; the absolute
// ones from exp, which underflows, and says so.
TEST_F(ReportKinds, LogDensities)
{
    NEEDS_NUMPY();
    const std::vector<json> expected = runPython(R"(
lx = np.concatenate([np.log(x), rng.uniform(-1300, -700, 1000)])
ly = lx + rng.normal(0, 1e-6, len(lx))
np.savetxt('la.txt', lx, fmt='%.17g'); np.savetxt('lb.txt', ly, fmt='%.17g')
d = np.asarray(ly, np.longdouble) - np.asarray(lx, np.longdouble)
print(json.dumps({'n': len(lx), 'rel_mean': float(np.abs(np.expm1(d)).mean()), 'log_mean': float(np.abs(d).mean()),
                  'log_max': float(np.abs(d).max()), 'within': int((np.abs(np.expm1(d)) <= 1e-6).sum()),
                  'tiny': int((lx < -708.39).sum())}))
)");
    ASSERT_EQ(expected.size(), 1u);
    const json& e = expected[0];
    const json got = reportJson({"--log", "--rtol=1e-6", at("la.txt"), at("lb.txt")});
    EXPECT_EQ(got["pairs"], e["n"]);
    EXPECT_EQ(got["logs"], true);
    expectRelative(got["rel_mean"], e["rel_mean"], 1e-12, "relative mean");
    expectRelative(got["log_ratio_mean"], e["log_mean"], 1e-12, "mean |ln(b/a)|");
    expectRelative(got["log_ratio_max"], e["log_max"], 1e-15, "largest |ln(b/a)|");
    EXPECT_EQ(got["within"], e["within"]);
    EXPECT_GE(got["abs_underflows"].get<long>(), e["tiny"].get<long>());
    EXPECT_TRUE(got["classic_mean"].is_null());
    const std::string text = runReport({"--log", at("la.txt"), at("lb.txt")}).out;
    EXPECT_NE(text.find("the classic tools read densities, not their logarithms"), std::string::npos) << text;
    EXPECT_NE(text.find("whose absolute errors fall below the normal doubles"), std::string::npos) << text;
    // A least truth below the doubles is what it says with --log: the
    // pairs whose a is below e^-1000 (about 5e-435) are left out.
    runPython("np.savetxt('deep.txt', [-1001, -999, -10])\n");
    const json deep = reportJson({"--log", "--min-truth=5e-435", at("deep.txt"), at("deep.txt")});
    EXPECT_EQ(deep["below_min_truth"], 1);
    const std::string deepText = runReport({"--log", "--min-truth=5e-435", at("deep.txt"), at("deep.txt")}).out;
    EXPECT_NE(deepText.find("1 pair with a < 5e-435,"), std::string::npos) << deepText;
    EXPECT_EQ(runReport({"--min-truth=5e-435", at("deep.txt"), at("deep.txt")}).status, 1) << "without --log";
}

}  // namespace
