// The quantiles the intervals are drawn from: Student's t and the normal to
// 1e-12 of the values found to 40 digits (scipy's own t quantiles are off
// by up to 1e-9 in the tails), the binomial's ranks exactly as scipy gives
// them, and the incomplete beta function they rest on, over the levels,
// degrees of freedom and counts that reports meet.
#include "summaries/distributions.h"
#include "testSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

using namespace calcgap;
using namespace calcgap::report;

namespace {

// Each line of cases through scipy and mpmath: "t P DF", "z P",
// "binom P N Q" or "beta A B X", a line of the reference back for each.
std::vector<std::string> scipyOf(const ScratchDir& dir, const std::string& cases)
{
    const RunResult run = runScript(R"(exec /usr/bin/python3 -c '
import sys
try:
    from scipy import stats
    import mpmath
except ImportError:
    print("no scipy"); sys.exit(0)
mpmath.mp.dps = 40
def t_tail(t, df):
    return mpmath.betainc(mpmath.mpf(df) / 2, 0.5, 0, df / (df + t * t), regularized=True) / 2
for line in open(sys.argv[1]):
    f = line.split()
    if f[0] == "t":
        p, df = mpmath.mpf(f[1]), mpmath.mpf(f[2])
        tail = min(p, 1 - p)
        t = mpmath.findroot(lambda t: t_tail(t, df) - tail, abs(stats.t.ppf(float(tail), float(df))))
        print(mpmath.nstr(-t if p < 0.5 else t, 25))
    elif f[0] == "z":
        print(mpmath.nstr(-mpmath.sqrt(2) * mpmath.erfinv(1 - 2 * mpmath.mpf(f[1])), 25))
    elif f[0] == "binom": print(int(stats.binom.ppf(float(f[1]), int(f[2]), float(f[3]))))
    elif f[0] == "beta":
        a, b, x = mpmath.mpf(f[1]), mpmath.mpf(f[2]), mpmath.mpf(f[3])
        if a == int(a) and b == int(b) and a > 100:
            # As a binomial tail, summed term by term: the series of mpmath
            # does not converge for large a and b.
            n = int(a + b) - 1
            term = x ** n
            tail = mpmath.mpf(0)
            for j in range(n, int(a) - 1, -1):
                tail += term
                term = term * j / (n - j + 1) * (1 - x) / x
            print(mpmath.nstr(tail, 25))
        else:
            print(mpmath.nstr(mpmath.betainc(a, b, 0, x, regularized=True), 25))
' "$2")",
                                    {dir.file("cases.txt", cases)});
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> lines;
    std::istringstream in(run.out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(Distributions, QuantilesAgainstScipy)
{
    ScratchDir dir;
    const std::vector<double> ps = {1e-9, 0.0005, 0.005, 0.025, 0.05, 0.1, 0.4, 0.6, 0.9, 0.95, 0.975, 0.995, 0.9995};
    const std::vector<double> dfs = {1, 2, 3, 4, 5, 7, 9, 14, 29, 99, 999, 123456};
    std::string cases;
    char line[128];
    for (double p : ps) {
        for (double df : dfs) {
            std::snprintf(line, sizeof line, "t %.17g %.17g\n", p, df);
            cases += line;
        }
        std::snprintf(line, sizeof line, "z %.17g\n", p);
        cases += line;
    }
    const std::vector<std::string> expected = scipyOf(dir, cases);
    if (!expected.empty() && expected.front() == "no scipy")
        GTEST_SKIP() << "python3 with scipy and mpmath is not installed (Debian's python3-scipy, python3-mpmath)";
    std::size_t at = 0;
    for (double p : ps) {
        for (double df : dfs) {
            ASSERT_LT(at, expected.size());
            const double reference = std::strtod(expected[at++].c_str(), nullptr);
            EXPECT_NEAR(studentQuantile(p, df), reference, 1e-12 * std::fabs(reference)) << "t p=" << p << " df=" << df;
        }
        const double reference = std::strtod(expected[at++].c_str(), nullptr);
        EXPECT_NEAR(normalQuantile(p), reference, 1e-12 * std::fabs(reference)) << "z p=" << p;
    }
    EXPECT_EQ(studentQuantile(0.5, 3), 0.0);
    EXPECT_EQ(normalQuantile(0.5), 0.0);
}

TEST(Distributions, BinomialRanksAgainstScipy)
{
    ScratchDir dir;
    const std::vector<std::int64_t> ns = {1, 2, 3, 7, 20, 100, 999, 32768, 1000003, 50000000};
    const std::vector<double> qs = {0.001, 0.1, 0.5, 0.9, 0.99, 0.999};
    const std::vector<double> ps = {0.005, 0.025, 0.05, 0.95, 0.975, 0.995};
    std::string cases;
    char line[128];
    for (std::int64_t n : ns)
        for (double q : qs)
            for (double p : ps) {
                std::snprintf(line, sizeof line, "binom %.17g %lld %.17g\n", p, static_cast<long long>(n), q);
                cases += line;
            }
    // The function they rest on, in both tails and at large a and b.
    const std::vector<std::vector<double>> betas = {
        {0.5, 0.5, 0.3}, {2, 3, 0.99}, {10, 0.5, 0.01}, {1e4, 1e4, 0.49}, {3e3, 7e3, 0.301}, {0.5, 60, 1e-3}, {0.5, 1e5, 3e-5}};
    for (const std::vector<double>& beta : betas) {
        std::snprintf(line, sizeof line, "beta %.17g %.17g %.17g\n", beta[0], beta[1], beta[2]);
        cases += line;
    }
    const std::vector<std::string> expected = scipyOf(dir, cases);
    if (!expected.empty() && expected.front() == "no scipy")
        GTEST_SKIP() << "python3 with scipy and mpmath is not installed (Debian's python3-scipy, python3-mpmath)";
    std::size_t at = 0;
    for (std::int64_t n : ns)
        for (double q : qs)
            for (double p : ps) {
                ASSERT_LT(at, expected.size());
                EXPECT_EQ(binomialQuantile(p, n, q), std::atoll(expected[at++].c_str()))
                    << "p=" << p << " n=" << n << " q=" << q;
            }
    for (const std::vector<double>& beta : betas) {
        const double reference = std::strtod(expected[at++].c_str(), nullptr);
        const BetaTails tails = incompleteBeta(beta[0], beta[1], beta[2], 1.0 - beta[2]);
        EXPECT_NEAR(tails.lower, reference, 1e-11 * reference) << beta[0] << " " << beta[1] << " " << beta[2];
        EXPECT_NEAR(tails.upper, 1.0 - reference, 1e-11 * (1.0 - reference) + 1e-16);
    }

    // The ranks of the median of 100 values at 95%: the 40th and 61st, the
    // textbook pair; a bound beyond the values is rank 0 or n + 1.
    const RankInterval median = quantileRanks(0.95, 100, 0.5);
    EXPECT_EQ(median.low, 40);
    EXPECT_EQ(median.high, 61);
    EXPECT_EQ(quantileRanks(0.95, 10, 0.99).high, 11);
    EXPECT_EQ(quantileRanks(0.95, 10, 0.01).low, 0);
}

}  // namespace
