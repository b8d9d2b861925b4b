// calcGap_report as an evaluation harness: several samples against one
// first file, the summary over them by group, the rows by decade of a, the
// requirements and their statuses, and where the worst points lie.
#include "support/quoting.h"
#include "reportSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace calcgap;

namespace {

using nlohmann::json;

class ReportSamples : public ::testing::Test {
protected:
    ScratchDir dir;

    // Values near a with relative noise of the given size, one a line.
    std::string noisy(const std::string& name, const std::vector<double>& as, double noise, std::uint64_t seed,
                      std::size_t count)
    {
        std::mt19937_64 random(seed);
        std::normal_distribution<double> normal(0.0, noise);
        std::string text;
        char line[64];
        for (std::size_t i = 0; i < count && i < as.size(); ++i) {
            std::snprintf(line, sizeof line, "%.17g\n", as[i] * (1.0 + normal(random)));
            text += line;
        }
        return dir.file(name, text);
    }

    static std::string readFile(const std::string& path)
    {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::vector<double> truth(std::size_t count)
    {
        std::vector<double> as;
        for (std::size_t i = 0; i < count; ++i)
            as.push_back(std::pow(10.0, -static_cast<double>(i % 7)) * (1.0 + static_cast<double>(i % 13) / 13.0));
        return as;
    }

    std::string truthFile(const std::vector<double>& as)
    {
        std::string text;
        char line[64];
        for (double a : as) {
            std::snprintf(line, sizeof line, "%.17g\n", a);
            text += line;
        }
        return dir.file("allpts.txt", text);
    }
};

// A report's figures, without what names its files.
json figuresOf(json report)
{
    report.erase("sample");
    report.erase("allpts");
    return report;
}

// Each sample's report among several is the report of that sample alone,
// whether the first file is a regular file or a FIFO read once in step
// with every sample, and with or without a count; samples may differ in
// length.
TEST_F(ReportSamples, EachSampleAsIfAlone)
{
    const std::vector<double> as = truth(3000);
    const std::string a = truthFile(as);
    const std::vector<std::string> samples = {noisy("s1.txt", as, 1e-3, 1, 3000), noisy("s2.txt", as, 1e-2, 2, 2500),
                                              noisy("s3.txt", as, 1e-1, 3, 1000)};
    for (const std::vector<std::string>& count : {std::vector<std::string>{}, std::vector<std::string>{"-n", "2800"}}) {
        std::vector<std::string> args = count;
        args.insert(args.end(), {"-k", "3", a});
        args.insert(args.end(), samples.begin(), samples.end());
        const json several = reportJson(args);
        ASSERT_EQ(several["samples"].size(), 3u);
        for (std::size_t s = 0; s < samples.size(); ++s) {
            std::vector<std::string> alone = count;
            alone.insert(alone.end(), {"-k", "3", a, samples[s]});
            EXPECT_EQ(figuresOf(several["samples"][s]), figuresOf(reportJson(alone))) << samples[s];
            EXPECT_EQ(several["samples"][s]["sample"]["path"], samples[s]);
        }
    }

    const std::string fifo = dir.path + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const RunResult run = runScript("cat '" + a + "' > '" + fifo + "' & exec \"$1/calcGap_report\" --format=json -k 3 '" +
                                    fifo + "' '" + samples[0] + "' '" + samples[1] + "' '" + samples[2] + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    const json piped = json::parse(run.out);
    for (std::size_t s = 0; s < samples.size(); ++s)
        EXPECT_EQ(figuresOf(piped["samples"][s]), figuresOf(reportJson({"-k", "3", a, samples[s]}))) << samples[s];
    EXPECT_EQ(piped["allpts"]["end"], "end") << "read to its end with the longest sample";
}

// The summary over the samples of each group: mean, sd (n - 1), se, min
// and max of every numeric column, against the sample rows themselves;
// groups of numbers in numeric order, of names in the order of names.
TEST_F(ReportSamples, SummaryByGroupAgainstTheSampleRows)
{
    const std::vector<double> as = truth(400);
    const std::string a = truthFile(as);
    std::vector<std::string> samples;
    std::uint64_t seed = 1;
    for (int n : {100, 20, 3})
        for (int s = 1; s <= 3; ++s)
            samples.push_back(noisy("kde_n" + std::to_string(n) + "_seed" + std::to_string(s) + ".txt", as,
                                    1.0 / n, seed++, 400));
    std::vector<std::string> args{"--format=tsv", "--group=_n([0-9]+)_", a};
    args.insert(args.end(), samples.begin(), samples.end());
    const TsvTable rows = parseTsv(runReport(args).out);
    ASSERT_EQ(rows.rows.size(), samples.size());
    const auto column = [](const TsvTable& table, const std::string& name) {
        return static_cast<std::size_t>(std::find(table.names.begin(), table.names.end(), name) - table.names.begin());
    };
    // The samples in natural order, whatever order they were given in.
    std::vector<std::string> sampleOrder;
    for (const std::vector<std::string>& row : rows.rows)
        sampleOrder.push_back(row[column(rows, "group")] + row[column(rows, "sample")].substr(
                                                               row[column(rows, "sample")].find("_seed")));
    EXPECT_EQ(sampleOrder, (std::vector<std::string>{"3_seed1.txt'", "3_seed2.txt'", "3_seed3.txt'", "20_seed1.txt'",
                                                     "20_seed2.txt'", "20_seed3.txt'", "100_seed1.txt'",
                                                     "100_seed2.txt'", "100_seed3.txt'"}));

    args.insert(args.begin(), "--summary");
    const TsvTable summary = parseTsv(runReport(args).out);
    ASSERT_EQ(summary.rows.size(), 3u);
    EXPECT_EQ(summary.names[0], "group");
    EXPECT_EQ(summary.names[1], "samples");
    std::vector<std::string> groups;
    for (const std::vector<std::string>& row : summary.rows)
        groups.push_back(row[0]);
    EXPECT_EQ(groups, (std::vector<std::string>{"3", "20", "100"}));
    for (const char* name : {"rel_mean", "rel_p99", "within_share", "bias", "abs_sd"}) {
        for (std::size_t g = 0; g < 3; ++g) {
            std::vector<double> values;
            for (const std::vector<std::string>& row : rows.rows)
                if (row[column(rows, "group")] == groups[g])
                    values.push_back(std::strtod(row[column(rows, name)].c_str(), nullptr));
            ASSERT_EQ(values.size(), 3u);
            double mean = 0;
            for (double value : values)
                mean += value / 3;
            double squares = 0;
            for (double value : values)
                squares += (value - mean) * (value - mean);
            const double sd = std::sqrt(squares / 2);
            const std::vector<std::string>& row = summary.rows[g];
            const auto at = [&](const std::string& statistic) {
                return std::strtod(row[column(summary, name + statistic)].c_str(), nullptr);
            };
            EXPECT_NEAR(at("_mean"), mean, 1e-12 * std::fabs(mean)) << name << " " << groups[g];
            EXPECT_NEAR(at("_sd"), sd, 1e-9 * sd + 1e-300) << name << " " << groups[g];
            EXPECT_NEAR(at("_se"), sd / std::sqrt(3.0), 1e-9 * sd + 1e-300) << name;
            EXPECT_EQ(at("_min"), *std::min_element(values.begin(), values.end())) << name;
            EXPECT_EQ(at("_max"), *std::max_element(values.begin(), values.end())) << name;
        }
    }
    EXPECT_EQ(std::atoi(summary.rows[0][column(summary, "samples")].c_str()), 3);

    // Names that are not all numbers are in natural order, their numbers
    // compared as numbers; without --group every sample is in one group,
    // "all".
    const TsvTable named = parseTsv(
        runReport({"--format=tsv", "--summary", "--group=kde_n([0-9]+_seed1)", a, samples[0], samples[6], samples[3]})
            .out);
    ASSERT_EQ(named.rows.size(), 3u);
    EXPECT_EQ(named.rows[0][0], "3_seed1");
    EXPECT_EQ(named.rows[1][0], "20_seed1");
    EXPECT_EQ(named.rows[2][0], "100_seed1");
    const TsvTable all = parseTsv(runReport({"--format=tsv", "--summary", a, samples[0], samples[1]}).out);
    ASSERT_EQ(all.rows.size(), 1u);
    EXPECT_EQ(all.rows[0][0], "all");
    EXPECT_EQ(all.rows[0][1], "2");

    // A sample the pattern does not name is an error naming it.
    const RunResult unmatched = runReport({"--group=_n([0-9]+)_", a, samples[0], a});
    EXPECT_EQ(unmatched.status, 1);
    EXPECT_EQ(unmatched.out, "");
    EXPECT_NE(unmatched.err.find("cannot group '" + a + "'"), std::string::npos) << unmatched.err;
    // It is found before any file is read: here the first file is a FIFO
    // that no one writes, on which a read would wait for ever.  A group
    // that is matched but empty is told as such.
    const RunResult early = runScript("cd '" + dir.path + "' && mkfifo first never && exec timeout 10 "
                                      "\"$1/calcGap_report\" --group='_n([0-9]+)_' first '" + samples[0] + "' never");
    EXPECT_EQ(early.status, 1);
    EXPECT_EQ(early.err, "calcGap_report: cannot group 'never': the pattern '_n([0-9]+)_' does not match its name\n");
    EXPECT_EQ(runReport({"--group=(x)?_n", a, samples[0]}).err,
              "calcGap_report: cannot group " + shellQuoted(samples[0]) +
                  ": the pattern '(x)?_n' matches its name, but its first group captures nothing there\n");
}

// Several keys: a column for each, in the order given, a summary row for
// each combination, ordered by the first key and then the next, each key's
// values in natural (or numeric) order; the JSON summary names them too.
// A name a key's pattern misses is an error before any file is read, and a
// key may not be named as a column is.
TEST_F(ReportSamples, SeveralKeysMakeARowPerCombination)
{
    const std::vector<double> as = truth(200);
    const std::string a = truthFile(as);
    std::vector<std::string> args{"--format=tsv", "--key=method=/([a-z]+)_n", "--key=n=_n([0-9]+)_", a};
    std::uint64_t seed = 7;
    for (const char* method : {"tree", "hash"})
        for (int n : {1600, 100, 400})
            for (int s = 1; s <= 2; ++s)
                args.push_back(noisy(std::string(method) + "_n" + std::to_string(n) + "_seed" + std::to_string(s) +
                                         ".txt",
                                     as, 1.0 / n, seed++, 200));
    const TsvTable rows = parseTsv(runReport(args).out);
    ASSERT_EQ(rows.rows.size(), 12u);
    ASSERT_GE(rows.names.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(rows.names.begin(), rows.names.begin() + 4),
              (std::vector<std::string>{"allpts", "sample", "method", "n"}));
    EXPECT_EQ(rows.rows[0][2] + rows.rows[0][3], "hash100");
    EXPECT_EQ(rows.rows[11][2] + rows.rows[11][3], "tree1600");

    args.insert(args.begin(), "--summary");
    const TsvTable summary = parseTsv(runReport(args).out);
    EXPECT_EQ(std::vector<std::string>(summary.names.begin(), summary.names.begin() + 3),
              (std::vector<std::string>{"method", "n", "samples"}));
    std::vector<std::string> combinations;
    for (const std::vector<std::string>& row : summary.rows)
        combinations.push_back(row[0] + "/" + row[1] + "/" + row[2]);
    EXPECT_EQ(combinations, (std::vector<std::string>{"hash/100/2", "hash/400/2", "hash/1600/2", "tree/100/2",
                                                      "tree/400/2", "tree/1600/2"}));
    // Each row's mean is over its own two samples.
    const auto columnOf = [](const TsvTable& table, const std::string& name) {
        return static_cast<std::size_t>(std::find(table.names.begin(), table.names.end(), name) - table.names.begin());
    };
    for (std::size_t r = 0; r < summary.rows.size(); ++r) {
        double sum = 0;
        for (const std::vector<std::string>& row : rows.rows)
            if (row[2] == summary.rows[r][0] && row[3] == summary.rows[r][1])
                sum += std::strtod(row[columnOf(rows, "rel_mean")].c_str(), nullptr);
        EXPECT_NEAR(std::strtod(summary.rows[r][columnOf(summary, "rel_mean_mean")].c_str(), nullptr), sum / 2,
                    1e-15 * sum)
            << combinations[r];
    }

    args[1] = "--format=json";
    const json document = json::parse(runReport(args).out);
    ASSERT_EQ(document["summary"].size(), 6u);
    EXPECT_EQ(document["summary"][2]["method"], "hash");
    EXPECT_EQ(document["summary"][2]["n"], "1600");
    EXPECT_EQ(document["samples"][0]["method"], "hash");

    // The text names a failing row by its keys.
    args[1] = "--require=rel_mean<=0.003";
    const RunResult gated = runReport(args);
    EXPECT_EQ(gated.status, 3);
    EXPECT_NE(gated.out.find("method=hash n=100 "), std::string::npos) << gated.out;
    EXPECT_NE(gated.out.find("\n  method  n    samples"), std::string::npos) << gated.out;

    const RunResult missed = runReport({"--key=method=/([a-z]+)_n", "--key=size=_s([0-9]+)", a, args.back()});
    EXPECT_EQ(missed.status, 1);
    EXPECT_EQ(missed.err, "calcGap_report: cannot find the size of " + shellQuoted(args.back()) +
                              ": the pattern '_s([0-9]+)' does not match its name\n");
    for (const auto& [option, reason] : std::vector<std::pair<std::string, std::string>>{
             {"--key=rel_mean=(x)", "'rel_mean' names a column of the report already: name the key otherwise"},
             {"--key=samples=(x)", "'samples' names a column of the report already: name the key otherwise"},
             {"--key=n=(x)", "a key named 'n' is given already"},
             {"--key=1n=(x)", "its name is not a word of letters, digits and _ that begins with a letter or _"},
             {"--key=(x)", "not NAME=RE"},
             {"--key=m=x", "it captures nothing: put the part that names the m in ( )"}}) {
        const RunResult refused = runReport({"--key=n=_n([0-9]+)_", option, a, args.back()});
        EXPECT_EQ(refused.status, 1) << option;
        EXPECT_EQ(refused.out, "");
        EXPECT_NE(refused.err.find(reason), std::string::npos) << option << ": " << refused.err;
    }
}

// --ci: a sample's quantiles bounded by the order statistics whose ranks
// the binomial gives, its means by the normal approximation, and each
// summary figure by Student's t over its samples; all against scipy and
// numpy, computed from the files themselves.
TEST_F(ReportSamples, IntervalsAgainstScipy)
{
    const std::vector<double> as = truth(1000);
    const std::string a = truthFile(as);
    std::vector<std::string> args{"--format=tsv", "--ci=0.9", a};
    for (std::uint64_t s = 1; s <= 4; ++s)
        args.push_back(noisy("m_seed" + std::to_string(s) + ".txt", as, 0.01 * static_cast<double>(s), s, 1000));
    const TsvTable rows = parseTsv(runReport(args).out);
    args.insert(args.begin(), "--summary");
    const TsvTable summary = parseTsv(runReport(args).out);
    ASSERT_EQ(rows.rows.size(), 4u);
    ASSERT_EQ(summary.rows.size(), 1u);

    const RunResult expected = runScript(R"(exec /usr/bin/python3 -c '
import sys
try:
    import numpy as np
    from scipy import stats
except ImportError:
    print("no scipy"); sys.exit(0)
a = np.loadtxt(sys.argv[2])
for path in sys.argv[3:]:
    b = np.loadtxt(path)
    rel = np.sort(np.abs(a - b) / np.abs(a))
    n = len(rel)
    z = stats.norm.ppf(0.95)
    se = rel.std(ddof=1) / np.sqrt(n)
    out = [rel.mean() - z * se, rel.mean() + z * se]
    for q in (0.5, 0.9, 0.99):
        lo = int(stats.binom.ppf(0.05, n, q))
        hi = int(stats.binom.ppf(0.95, n, q)) + 1
        out += [rel[lo - 1] if lo > 0 else 0.0, rel[hi - 1] if hi <= n else float("inf")]
    print(" ".join(repr(float(x)) for x in out))
print(repr(float(stats.t.ppf(0.95, len(sys.argv) - 4))))
' "$@")",
                                         std::vector<std::string>(args.begin() + 3, args.end()));
    ASSERT_EQ(expected.status, 0) << expected.err;
    if (expected.out == "no scipy\n")
        GTEST_SKIP() << "python3 with numpy and scipy is not installed";
    std::vector<std::vector<double>> reference;
    std::istringstream lines(expected.out);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream numbers(line);
        reference.emplace_back();
        for (std::string number; numbers >> number;)
            reference.back().push_back(std::strtod(number.c_str(), nullptr));
    }
    ASSERT_EQ(reference.size(), 5u);
    const auto columnOf = [](const TsvTable& table, const std::string& name) {
        const auto at = std::find(table.names.begin(), table.names.end(), name);
        EXPECT_NE(at, table.names.end()) << name;
        return static_cast<std::size_t>(at - table.names.begin());
    };
    const std::vector<std::string> columns = {"rel_mean_ci_lo",   "rel_mean_ci_hi", "rel_median_ci_lo",
                                              "rel_median_ci_hi", "rel_p90_ci_lo",  "rel_p90_ci_hi",
                                              "rel_p99_ci_lo",    "rel_p99_ci_hi"};
    for (std::size_t s = 0; s < 4; ++s)
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const double got = std::strtod(rows.rows[s][columnOf(rows, columns[c])].c_str(), nullptr);
            // Exact order statistics (fewer errors than the summary lists),
            // and the mean's ends to the accuracy of the two sums.
            EXPECT_NEAR(got, reference[s][c], 1e-13 * reference[s][c]) << columns[c] << " of sample " << s;
        }
    // Of 10 errors, no order statistic bounds p99 from above: the rank
    // past them is infinite.
    const TsvTable few = parseTsv(runReport({"--format=tsv", "--ci=0.9", "-n", "10", a, args.back()}).out);
    EXPECT_EQ(few.rows.at(0).at(columnOf(few, "rel_p99_ci_hi")), "inf");
    EXPECT_NE(few.rows.at(0).at(columnOf(few, "rel_p99_ci_lo")), "inf");

    const double t = reference[4][0];
    for (const char* name : {"rel_mean", "rel_p99", "abs_mean", "bias"}) {
        const std::string figure = name;
        const auto at = [&](const std::string& statistic) {
            return std::strtod(summary.rows[0][columnOf(summary, figure + statistic)].c_str(), nullptr);
        };
        EXPECT_NEAR(at("_ci_lo"), at("_mean") - t * at("_se"), 1e-12 * std::fabs(at("_mean")) + 1e-300) << name;
        EXPECT_NEAR(at("_ci_hi"), at("_mean") + t * at("_se"), 1e-12 * std::fabs(at("_mean")) + 1e-300) << name;
    }
    // The level is a fraction, not a percentage.
    for (const char* level : {"--ci=95", "--ci=0", "--ci=1", "--ci=x"}) {
        const RunResult refused = runReport({level, a, args.back()});
        EXPECT_EQ(refused.status, 1) << level;
        EXPECT_NE(refused.err.find("invalid confidence level"), std::string::npos) << refused.err;
    }
}

// --bootstrap: the same seed gives the same bytes and another seed other
// intervals; over 100 samples of errors with a known mean, the 95%
// percentile intervals hold it about 95 times, as wide as the normal
// approximation's, over pairs one by one and a repeated tail alike.
TEST_F(ReportSamples, BootstrapIsReproducibleAndCovers)
{
    constexpr std::size_t kPoints = 200;
    constexpr int kSamples = 100;
    std::string truthText;
    std::vector<double> as;
    for (std::size_t i = 0; i < kPoints; ++i) {
        as.push_back(1.0 + static_cast<double>(i % 5));
        truthText += std::to_string(1 + i % 5) + "\n";
    }
    const std::string a = dir.file("truth.txt", truthText);
    std::mt19937_64 random(2026);
    std::normal_distribution<double> error(0.5, 1.0);
    std::vector<std::string> args{"--format=tsv", "--ci=0.95", "--columns=bias*,rel_bias*", a};
    for (int s = 0; s < kSamples; ++s) {
        std::string text;
        char line[64];
        for (double value : as) {
            std::snprintf(line, sizeof line, "%.17g\n", value + error(random));
            text += line;
        }
        args.push_back(dir.file("s" + std::to_string(s) + ".txt", text));
    }
    const TsvTable normal = parseTsv(runReport(args).out);
    args.insert(args.begin(), "--bootstrap=200");
    const RunResult first = runReport(args);
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(runReport(args).out, first.out);
    args.insert(args.begin(), "--seed=2");
    const RunResult reseeded = runReport(args);
    args.erase(args.begin());
    const TsvTable rows = parseTsv(first.out);
    const TsvTable other = parseTsv(reseeded.out);
    ASSERT_EQ(rows.rows.size(), static_cast<std::size_t>(kSamples));
    ASSERT_EQ(rows.names, normal.names);
    const auto columnOf = [&](const std::string& name) {
        const auto at = std::find(rows.names.begin(), rows.names.end(), name);
        EXPECT_NE(at, rows.names.end()) << name;
        return static_cast<std::size_t>(at - rows.names.begin());
    };
    const auto value = [](const TsvTable& table, int row, std::size_t column) {
        return std::strtod(table.rows[static_cast<std::size_t>(row)][column].c_str(), nullptr);
    };
    double meanOfInverse = 0;
    for (double v : as)
        meanOfInverse += 1.0 / v / static_cast<double>(kPoints);
    const std::size_t lo = columnOf("bias_ci_lo");
    const std::size_t hi = columnOf("bias_ci_hi");
    const std::size_t relLo = columnOf("rel_bias_ci_lo");
    const std::size_t relHi = columnOf("rel_bias_ci_hi");
    int held = 0;
    int relHeld = 0;
    int reseededDiffers = 0;
    double widths = 0;
    for (int s = 0; s < kSamples; ++s) {
        held += value(rows, s, lo) <= 0.5 && 0.5 <= value(rows, s, hi);
        relHeld += value(rows, s, relLo) <= 0.5 * meanOfInverse && 0.5 * meanOfInverse <= value(rows, s, relHi);
        reseededDiffers += value(other, s, lo) != value(rows, s, lo);
        widths += (value(rows, s, hi) - value(rows, s, lo)) / (value(normal, s, hi) - value(normal, s, lo));
        EXPECT_EQ(rows.rows[static_cast<std::size_t>(s)][columnOf("bias")],
                  normal.rows[static_cast<std::size_t>(s)][columnOf("bias")]);
    }
    // 95 of 100, within three binomial spreads (2.2 each); a percentile
    // interval of 200 points is a little narrower than the normal one.
    EXPECT_GE(held, 88);
    EXPECT_LE(held, 100);
    EXPECT_GE(relHeld, 88);
    EXPECT_GT(reseededDiffers, kSamples - 5);
    EXPECT_NEAR(widths / kSamples, 1.0, 0.1);

    // 40 values and a count of 4000: the last pair weighs 3961 times, and
    // the interval narrows about that pair's error as the normal one does.
    std::string tailText;
    std::string onesText;
    for (int i = 0; i < 40; ++i)
        tailText += std::to_string(1.0 + (i % 3) * 0.25) + "\n";
    for (int i = 0; i < 4000; ++i)
        onesText += "1\n";
    std::vector<std::string> tailed{"--format=tsv",        "--ci=0.95", "--columns=abs_mean_ci*", "-n", "4000",
                                    dir.file("ones.txt", onesText), dir.file("tail.txt", tailText)};
    const TsvTable normalTail = parseTsv(runReport(tailed).out);
    tailed.insert(tailed.begin(), "--bootstrap=400");
    const TsvTable tail = parseTsv(runReport(tailed).out);
    ASSERT_EQ(tail.rows.size(), 1u);
    ASSERT_EQ(normalTail.rows.size(), 1u);
    EXPECT_NEAR((value(tail, 0, 3) - value(tail, 0, 2)) / (value(normalTail, 0, 3) - value(normalTail, 0, 2)), 1.0,
                0.15);

    // Replicates draw the intervals of --ci, and are counted.
    const std::vector<std::vector<std::string>> refused{{"--bootstrap=200", "missing --ci"},
                                                        {"--bootstrap=0", "--ci=0.9", "invalid number of replicates"},
                                                        {"--seed=-1", "invalid seed"},
                                                        {"--seed=18446744073709551616", "invalid seed"}};
    for (std::vector<std::string> run : refused) {
        const std::string message = run.back();
        run.back() = a;
        run.push_back(args.back());
        const RunResult result = runReport(run);
        EXPECT_EQ(result.status, 1) << run[0];
        EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    }
}

// --baseline: each sample against the one of the baseline's key value with
// its other keys, and of several such the one named as it is; every paired
// figure against numpy and scipy's binomtest, on errors with ties.
TEST_F(ReportSamples, PairedComparisonAgainstScipy)
{
    const std::vector<double> as = truth(700);
    const std::string a = truthFile(as);
    std::vector<std::string> args{"--format=tsv", "--key=method=/([a-z]+)_", "--key=n=_n([0-9]+)_",
                                  "--baseline=method=base", "--ci=0.95", a};
    std::vector<std::string> samples;
    std::uint64_t seed = 11;
    for (const char* method : {"base", "fast"})
        for (const char* n : {"10", "20"})
            for (const char* run : {"1", "2"}) {
                const std::string name = std::string(method) + "_n" + n + "_seed" + run + ".txt";
                // The fast method's errors are smaller; its first 100 values
                // are the baseline's own, so that they tie.
                std::string text = readFile(noisy(name, as, std::string(method) == "fast" ? 0.004 : 0.01,
                                                  std::string(method) == "fast" ? seed - 4 : seed, 700));
                if (std::string(method) == "fast") {
                    const std::string base = readFile(dir.path + "/base_n" + n + "_seed" + run + ".txt");
                    std::size_t cut = 0;
                    std::size_t baseCut = 0;
                    for (int line = 0; line < 100; ++line) {
                        cut = text.find('\n', cut) + 1;
                        baseCut = base.find('\n', baseCut) + 1;
                    }
                    text = base.substr(0, baseCut) + text.substr(cut);
                }
                samples.push_back(dir.file(name, text));
                ++seed;
            }
    args.insert(args.end(), samples.begin(), samples.end());
    const RunResult run = runReport(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const TsvTable rows = parseTsv(run.out);
    ASSERT_EQ(rows.rows.size(), 8u);
    const auto columnOf = [&](const std::string& name) {
        const auto at = std::find(rows.names.begin(), rows.names.end(), name);
        EXPECT_NE(at, rows.names.end()) << name;
        return static_cast<std::size_t>(at - rows.names.begin());
    };
    const RunResult expected = runScript(R"(exec /usr/bin/python3 -c '
import sys, math
try:
    import numpy as np
    from scipy import stats
except ImportError:
    print("no scipy"); sys.exit(0)
a = np.loadtxt(sys.argv[2])
def rel(path): return np.abs(a - np.loadtxt(path)) / np.abs(a)
for path in sys.argv[3:]:
    mine, theirs = rel(path), rel(path.replace("/fast_", "/base_"))
    wins, ties = int(np.sum(mine < theirs)), int(np.sum(mine == theirs))
    n = len(mine)
    ratio = np.sort(mine[(mine > 0) & (theirs > 0)] / theirs[(mine > 0) & (theirs > 0)])
    logs = np.log(mine[(mine > 0) & (theirs > 0)]) - np.log(theirs[(mine > 0) & (theirs > 0)])
    d = mine - theirs
    se = d.std(ddof=1) / math.sqrt(n)
    z = stats.norm.ppf(0.975)
    print(n, (wins + ties / 2) / n, ties, repr(stats.binomtest(wins, n - ties).pvalue),
          repr(ratio[math.ceil(0.5 * len(ratio)) - 1]), repr(math.exp(logs.mean())), repr(d.mean()), repr(se),
          repr(d.mean() - z * se), repr(d.mean() + z * se))
' "$@")",
                                         {a, samples[4], samples[5], samples[6], samples[7]});
    ASSERT_EQ(expected.status, 0) << expected.err;
    if (expected.out == "no scipy\n")
        GTEST_SKIP() << "python3 with numpy and scipy is not installed";
    std::istringstream lines(expected.out);
    const std::vector<std::string> columns = {"paired_points", "win_rate",         "ties",          "sign_p",
                                              "rel_ratio_median", "rel_ratio_geomean", "rel_diff_mean", "rel_diff_se",
                                              "rel_diff_mean_ci_lo", "rel_diff_mean_ci_hi"};
    for (std::size_t s = 4; s < 8; ++s) {
        const std::vector<std::string>& row = rows.rows[s];
        EXPECT_EQ(row[columnOf("vs")], shellQuoted(samples[s - 4]));
        EXPECT_EQ(row[columnOf("won")], "1");
        for (const std::string& column : columns) {
            double reference = 0;
            lines >> reference;
            const double got = std::strtod(row[columnOf(column)].c_str(), nullptr);
            // The ratio's median is exact below the summary's list length;
            // the sums are accurate to 1e-12 of their terms' magnitudes,
            // which a mean difference near 0 magnifies.
            EXPECT_NEAR(got, reference, column == "rel_diff_mean" ? 1e-9 * std::fabs(reference) : 1e-11 * std::fabs(reference))
                << column << " of " << samples[s];
        }
        EXPECT_EQ(row[columnOf("ties")], "100");
    }
    // A baseline's own row compares nothing.
    EXPECT_EQ(rows.rows[0][columnOf("vs")], "");
    EXPECT_EQ(rows.rows[0][columnOf("win_rate")], "");

    // The summary counts the seeds each combination won.
    args.insert(args.begin(), "--summary");
    const TsvTable summary = parseTsv(runReport(args).out);
    ASSERT_EQ(summary.rows.size(), 4u);
    EXPECT_EQ(summary.names[3], "won");
    EXPECT_EQ(summary.rows[2][3], "2");
    EXPECT_EQ(summary.rows[0][3], "");

    // No baseline, several (none named as the sample is), and a key that
    // no --key gives.
    const RunResult none = runReport({"--key=method=/([a-z]+)_", "--baseline=method=slow", a, samples[0], samples[4]});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "calcGap_report: cannot compare " + shellQuoted(samples[0]) +
                            " with its baseline: no sample has method=slow\n");
    const RunResult several = runReport(
        {"--key=method=/([a-z]+)_", "--baseline=method=base", a, samples[1], samples[2], samples[4]});
    EXPECT_EQ(several.status, 1);
    EXPECT_NE(several.err.find("several samples have method=base: "), std::string::npos) << several.err;
    const RunResult unknown = runReport({"--baseline=size=1", a, samples[0]});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("invalid baseline 'size=1': no key is named 'size': give it with --key"),
              std::string::npos)
        << unknown.err;
}

// The summary's spread over samples holds at any magnitude: figures of
// 1e200 and 1e180, or of 1e-170, 2e-170 and 3e-170, square to no infinity
// and no 0.
TEST_F(ReportSamples, SummaryAtEveryMagnitude)
{
    const std::string zeros = dir.file("zeros.txt", "0\n");
    const auto sdOf = [&](const std::vector<std::string>& values) {
        std::vector<std::string> args{"--format=tsv", "--summary", zeros};
        for (std::size_t i = 0; i < values.size(); ++i)
            args.push_back(dir.file("s" + std::to_string(i) + ".txt", values[i] + "\n"));
        const TsvTable summary = parseTsv(runReport(args).out);
        std::size_t column = 0;
        while (column < summary.names.size() && summary.names[column] != "abs_mean_sd")
            ++column;
        EXPECT_LT(column, summary.names.size());
        return column < summary.names.size() ? std::strtod(summary.rows.at(0).at(column).c_str(), nullptr) : 0.0;
    };
    EXPECT_NEAR(sdOf({"1e200", "1e180"}) / 7.0710678118654752e199, 1.0, 1e-14);
    EXPECT_NEAR(sdOf({"1e-170", "2e-170", "3e-170"}) / 1e-170, 1.0, 1e-14);
}

// --by-density: a row per decade of a, with the sample's columns over that
// decade's pairs, those of the whole run empty; pairs with a <= 0 in a row
// of their own; with --summary, a row per group and decade.
TEST_F(ReportSamples, RowsByDecadeOfTruth)
{
    const std::string a = dir.file("a.txt", "0.5 0.25 0.03 0.02 0 -1 4e-7\n");
    const std::string b = dir.file("b.txt", "0.55 0.25 0.033 0.02 0.1 -1 5e-7\n");
    const std::string c = dir.file("c.txt", "0.5 0.3 0.03 0.03 0 -2 4e-7\n");
    const TsvTable rows = parseTsv(runReport({"--format=tsv", "--by-density", a, b, c}).out);
    const auto column = [&](const std::string& name) {
        return static_cast<std::size_t>(std::find(rows.names.begin(), rows.names.end(), name) - rows.names.begin());
    };
    ASSERT_EQ(rows.rows.size(), 8u);
    std::vector<std::string> decades;
    for (std::size_t r = 0; r < 4; ++r)
        decades.push_back(rows.rows[r][column("decade")]);
    EXPECT_EQ(decades, (std::vector<std::string>{"-7", "-2", "-1", "none"}));
    const std::vector<std::string>& tenths = rows.rows[2];
    EXPECT_EQ(tenths[column("pairs")], "2");
    EXPECT_EQ(std::strtod(tenths[column("rel_max")].c_str(), nullptr), std::fabs(0.55 - 0.5) / 0.5);
    EXPECT_EQ(tenths[column("within_share")], "0.5");
    EXPECT_EQ(tenths[column("classic_mean")], "");
    EXPECT_EQ(tenths[column("allpts_values")], "");
    EXPECT_EQ(tenths[column("sample")], "'" + b + "'");
    EXPECT_EQ(rows.rows[3][column("pairs")], "2");
    EXPECT_EQ(rows.rows[3][column("rel_pairs")], "1") << "0 / 0 has no relative error";

    const TsvTable summary = parseTsv(runReport({"--format=tsv", "--by-density", "--summary", a, b, c}).out);
    ASSERT_EQ(summary.rows.size(), 4u);
    EXPECT_EQ(summary.names[1], "decade");
    EXPECT_EQ(summary.rows[1][1], "-2");
    const auto at = [&](std::size_t row, const std::string& name) {
        const auto k = std::find(summary.names.begin(), summary.names.end(), name) - summary.names.begin();
        return summary.rows[row][static_cast<std::size_t>(k)];
    };
    // In decade -2 the largest relative errors are b's 0.1 and c's 0.5.
    EXPECT_EQ(std::strtod(at(1, "rel_max_min").c_str(), nullptr), std::fabs(0.033 - 0.03) / 0.03);
    EXPECT_EQ(std::strtod(at(1, "rel_max_max").c_str(), nullptr), std::fabs(0.03 - 0.02) / 0.02);
    EXPECT_EQ(at(1, "samples"), "2");

    // In JSON a row's decade is a number, as in the table by decade, or null.
    const json document = json::parse(runReport({"--format=json", "--by-density", a, b}).out);
    const json& byDensity = document["by_density"];
    ASSERT_EQ(byDensity.size(), 4u);
    EXPECT_EQ(byDensity[0]["decade"], -7);
    EXPECT_TRUE(byDensity[3]["decade"].is_null());
    EXPECT_EQ(document["density"][0]["decade"], -7);
}

// Groups are whole characters, and the text's tables line up names of any
// script by the columns they take on a terminal.
TEST_F(ReportSamples, NamesInAnyScript)
{
    const std::string a = dir.file("a.txt", "1 2\n");
    const std::vector<std::string> samples = {dir.file("kde_\xc3\xa9_1.txt", "1 2\n"),
                                              dir.file("kde_\xe6\x97\xa5\xe6\x9c\xac_2.txt", "1 2\n"),
                                              dir.file("kde_ab_3.txt", "1 2\n")};
    std::vector<std::string> args{"--group=kde_(.)", a};
    args.insert(args.end(), samples.begin(), samples.end());
    const std::string text = runReport(args).out;
    EXPECT_NE(text.find("\n  \xc3\xa9" + std::string(11, ' ') + "1"), std::string::npos) << text;
    EXPECT_NE(text.find("\n  \xe6\x97\xa5" + std::string(10, ' ') + "1"), std::string::npos) << text;
    EXPECT_NE(text.find("\n  a" + std::string(11, ' ') + "1"), std::string::npos) << text;
    // The sample names, quoted, end where the pairs' column starts: the
    // same number of columns after each.
    const auto columnsBeforePairs = [&](const std::string& name) {
        const std::size_t at = text.find("'" + name + "'");
        EXPECT_NE(at, std::string::npos) << name;
        const std::size_t lineStart = text.rfind('\n', at) + 1;
        const std::size_t pairs = text.find(" 2 ", at);
        std::size_t columns = 0;
        for (std::size_t i = lineStart; i < pairs; ++i)
            columns += (static_cast<unsigned char>(text[i]) & 0xc0) != 0x80 ? 1 : 0;
        return columns + (name.find("\xe6") != std::string::npos ? 2 : 0);
    };
    EXPECT_EQ(columnsBeforePairs(samples[0]), columnsBeforePairs(samples[2]));
    EXPECT_EQ(columnsBeforePairs(samples[1]), columnsBeforePairs(samples[2]));
}

// Requirements: each is checked for every sample and, with several, for
// each group's mean; one that fails is listed in the report, counted in
// one line on standard error, and gives status 3, over --strict's 2; a
// figure without a value fails; a name that is no column is an option
// error.
TEST_F(ReportSamples, RequirementsAndTheirStatuses)
{
    const std::string a = dir.file("a.txt", "1 2 3 4");
    const std::string close = dir.file("close.txt", "1 2 3 4.001");
    const std::string far = dir.file("far.txt", "1 2 3 5");
    const std::string shorter = dir.file("short.txt", "1 2 3");
    EXPECT_EQ(runReport({"--require=rel_max<=0.01", a, close}).status, 0);

    const RunResult failed = runReport({"--require=rel_max<=0.01", "--require=within_share>=0.5", a, close, far});
    EXPECT_EQ(failed.status, 3);
    EXPECT_EQ(failed.err, "calcGap_report: requirements not met: 2 of 6 checks failed (2 requirements, each on 2 "
                          "samples and 1 group's mean)\n");
    EXPECT_EQ(runReport({"--require=rel_max<=0.01", a, far}).err,
              "calcGap_report: requirements not met: 1 of 1 checks failed (1 requirement on 1 sample)\n");
    EXPECT_NE(failed.out.find("'" + far + "'"), std::string::npos);
    EXPECT_NE(failed.out.find("rel_max<=0.01 failed: it is 0.25"), std::string::npos) << failed.out;
    EXPECT_NE(failed.out.find("group all"), std::string::npos) << "the group's mean, 0.125, fails too";

    const json document = json::parse(runReport({"--format=json", "--require=rel_max<=0.01", a, close, far}).out);
    EXPECT_EQ(document["failed_checks"], 2);
    EXPECT_EQ(document["samples"][0]["failed_requirements"].size(), 0u);
    EXPECT_EQ(document["samples"][1]["failed_requirements"][0]["value"], 0.25);
    EXPECT_EQ(document["summary"][0]["failed_requirements"][0]["requirement"], "rel_max<=0.01");
    const TsvTable rows = parseTsv(runReport({"--format=tsv", "--require=rel_max<=0.01", a, close, far}).out);
    EXPECT_EQ(rows.names.back(), "failed");
    EXPECT_EQ(rows.rows[0].back(), "");
    EXPECT_EQ(rows.rows[1].back(), "rel_max<=0.01");

    // An input problem alone is 2 with --strict; with a failed gate too, 3.
    EXPECT_EQ(runReport({"--strict", "--require=rel_max<=1", a, shorter}).status, 2);
    EXPECT_EQ(runReport({"--strict", "--require=rel_max<=0.01", a, far}).status, 3);
    const std::string shortFar = dir.file("shortFar.txt", "1 2 5");
    const RunResult both = runReport({"--strict", "--require=rel_max<=0.01", a, shortFar});
    EXPECT_EQ(both.status, 3);
    EXPECT_NE(both.out.find("unequal lengths"), std::string::npos) << both.out;
    // A figure exactly on its bound meets it, either way.
    EXPECT_EQ(runReport({"--require=rel_max<=0.25", a, far}).status, 0);
    EXPECT_EQ(runReport({"--require=rel_max>=0.25", a, far}).status, 0);
    EXPECT_EQ(runReport({"--require=rel_max<=0.2499999", a, far}).status, 3);
    // No pairs: no value, which meets no requirement.
    const std::string empty = dir.file("empty.txt", "");
    const RunResult none = runReport({"--require=rel_max<=1", empty, empty});
    EXPECT_EQ(none.status, 3);
    EXPECT_NE(none.out.find("rel_max<=1 failed: the figure has no value"), std::string::npos) << none.out;

    for (const char* bad : {"--require=rel_maximum<=1", "--require=rel_max<1", "--require=rel_max<=x",
                            "--require=problems<=1"}) {
        const RunResult run = runReport({bad, a, close});
        EXPECT_EQ(run.status, 1) << bad;
        EXPECT_EQ(run.out, "") << bad;
        EXPECT_NE(run.err.find("invalid"), std::string::npos) << bad << ": " << run.err;
    }
}

// A requirement on a quantile is decided exactly, whether the summary lists
// the errors (1,000 pairs) or counts them in buckets (40,000): 99% of the
// pairs have a relative error of exactly 0.25 and 1% of 0.5.  A value that
// many pairs share is printed as it is, listed or in a bucket of its own.
TEST_F(ReportSamples, RequirementsOnQuantilesAreExact)
{
    for (const int pairs : {1000, 40000}) {
        std::string as;
        std::string bs;
        for (int i = 0; i < pairs; ++i) {
            as += "1\n";
            bs += i < pairs / 100 * 99 ? "1.25\n" : "1.5\n";
        }
        const std::string a = dir.file("a.txt", as);
        const std::string b = dir.file("b.txt", bs);
        const struct {
            const char* requirement;
            int status;
        } gates[] = {{"rel_p99<=0.25", 0},     {"rel_p99<=0.2499999", 3}, {"rel_p99>=0.25", 0},
                     {"rel_p99>=0.2500001", 3}, {"abs_p999<=0.5", 0},      {"abs_p999<=0.4999999", 3},
                     {"rtol_for_all<=0.5", 0},  {"rtol_for_all<=0.4999", 3}, {"rel_median<=-1", 3}};
        for (const auto& gate : gates)
            EXPECT_EQ(runReport({std::string("--require=") + gate.requirement, a, b}).status, gate.status)
                << gate.requirement << ", " << pairs << " pairs";
        const auto row = reportTsv({"--format=tsv", a, b});
        EXPECT_EQ(row.at("rel_p99"), "0.25") << pairs << " pairs";
        EXPECT_EQ(row.at("abs_median"), "0.25") << pairs << " pairs";
        EXPECT_EQ(row.at("rtol_for_99"), "0.25") << pairs << " pairs";
    }
}

// The worst lists show each point's coordinates, read in step from the
// test points (all in JSON, the first three in text); a points file that
// runs short is a problem, and --points needs --dim.
TEST_F(ReportSamples, WorstPointsWithTheirCoordinates)
{
    const std::string a = dir.file("a.txt", "1 1 1 1 1");
    const std::string b = dir.file("b.txt", "1 1.5 1 1.1 1");
    std::string points;
    for (int i = 0; i < 5; ++i)
        points += std::to_string(i) + ".5 " + std::to_string(10 * i) + " -" + std::to_string(i) + " 7\n";
    const std::string pts = dir.file("pts.txt", points);
    const json got = reportJson({"--points=" + pts, "--dim=4", "-k", "2", a, b});
    const json& worst = got["worst"]["absolute"];
    ASSERT_EQ(worst.size(), 2u);
    EXPECT_EQ(worst[0]["point"], 1);
    EXPECT_EQ(worst[0]["coordinates"], json({1.5, 10.0, -1.0, 7.0}));
    EXPECT_EQ(worst[1]["point"], 3);
    EXPECT_EQ(worst[1]["coordinates"], json({3.5, 30.0, -3.0, 7.0}));
    EXPECT_EQ(got["points"]["values"], 20);

    const RunResult text = runReport({"--points=" + pts, "--dim=4", "-k", "1", a, b});
    EXPECT_NE(text.out.find("at (1.5, 10, -1, ...)"), std::string::npos) << text.out;

    const std::string few = dir.file("few.txt", "0 0 1 1 2 2");
    EXPECT_EQ(runReport({"--strict", "--points=" + few, "--dim=2", a, b}).status, 2);
    // Points of exactly the pairs' number are no problem, and they are
    // counted in rows, without the read that found the first file spent.
    const std::string five = dir.file("five.txt", "0 0 1 1 2 2 3 3 4 4");
    EXPECT_EQ(runReport({"--strict", "--points=" + five, "--dim=2", a, b}).status, 0);
    EXPECT_EQ(reportJson({"--points=" + five, "--dim=2", a, b})["points"]["short_pairs"], 0);
    EXPECT_EQ(reportJson({"--points=" + few, "--dim=2", a, b})["points"]["short_pairs"], 2);
    // With a count past every file, the points spent too, the rest is one
    // repeated pair at the last coordinates read, as each pair would be.
    const std::string shortA = dir.file("shortA.txt", "1 5");
    const std::string shortB = dir.file("shortB.txt", "0 0");
    const std::string two = dir.file("two.txt", "0 0 1 2");
    const json repeated = reportJson({"--points=" + two, "--dim=2", "-n", "1000000", "-k", "3", shortA, shortB});
    EXPECT_EQ(repeated["pairs"], 1000000);
    const json& tail = repeated["worst"]["absolute"];
    ASSERT_EQ(tail.size(), 3u);
    EXPECT_EQ(tail[0]["point"], 1);
    EXPECT_EQ(tail[0]["coordinates"], json({1.0, 2.0}));
    EXPECT_EQ(tail[1]["point"], 2);
    EXPECT_EQ(tail[1]["coordinates"], json({2.0, 2.0}));
    EXPECT_EQ(tail[2]["point"], 3);
    EXPECT_EQ(repeated["abs_mean"], (1.0 + 5.0 * 999999) / 1e6);
    EXPECT_EQ(runReport({"--points=" + pts, a, b}).status, 1);
    EXPECT_EQ(runReport({"--dim=3", a, b}).status, 1);
}

}  // namespace
