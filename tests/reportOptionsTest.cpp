// calcGap_report's command line: its options and operands, and every way
// they can be wrong.
#include "reportSupport.h"

#include "support/commandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace calcgap;

namespace {

class ReportCommandLine : public ::testing::Test {
protected:
    ScratchDir dir;
};

TEST_F(ReportCommandLine, OptionsAndTheirErrors)
{
    const std::string a = dir.file("a.txt", "1 2 3");
    const std::string hint = "Try 'calcGap_report --help' for more information.\n";
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--count=-1", a, a}, "invalid count '-1': not a whole number from 0 to 2147483647"},
        {{"-n", "2147483648", a, a}, "invalid count '2147483648': not a whole number from 0 to 2147483647"},
        {{"-k", "3x", a, a}, "invalid number of worst points '3x': not a whole number from 0 to 2147483647"},
        {{"--floor=nan", a, a}, "invalid floor 'nan': not a finite number of 0 or more"},
        {{"--rtol=-0.1", a, a}, "invalid relative tolerance '-0.1': not a finite number of 0 or more"},
        {{"--format=xml", a, a}, "invalid format 'xml': not one of text, tsv, json, markdown, latex"},
        {{"--bogus\x1b[2J", a, a}, "invalid option '--bogus'$'\\033''[2J': no such option"},
        {{"-z", a, a}, "invalid option '-z': no such option"},
        {{a, "--count"}, "invalid option '--count': it needs a value"},
        {{a, a, "-n"}, "invalid option '-n': it needs a value"},
        // Named as written, with what is wrong with it.
        {{"--strict=1", a, a}, "invalid option '--strict=1': doesn't allow an argument"},
        {{"--version=2", a, a}, "invalid option '--version=2': doesn't allow an argument"},
        {{"--help=x", a, a}, "invalid option '--help=x': doesn't allow an argument"},
        {{"--f=json", a, a}, "invalid option '--f=json': is ambiguous; possibilities: '--floor' '--format'"},
        {{"--group=(", a, a}, "invalid group pattern '(': missing ): ("},
        {{"--group=(a*)*\\1b", a, a},
         "invalid group pattern '(a*)*\\1b': invalid escape sequence: \\1 (backreferences are not taken: their matching "
         "time has no bound)"},
        {{"--group=_n[0-9]+_", a, a},
         "invalid group pattern '_n[0-9]+_': it captures nothing: put the part that names the group in ( )"},
        {{"--require=rel_p100<=1", a, a},
         "invalid requirement 'rel_p100<=1': no numeric column is named 'rel_p100'; the TSV header names them"},
        {{"--require=problems<=1", a, a},
         "invalid requirement 'problems<=1': no numeric column is named 'problems'; the TSV header names them"},
        {{"--require=rel_max<1", a, a}, "invalid requirement 'rel_max<1': not NAME<=VALUE or NAME>=VALUE"},
        {{"--points=" + a, a, a}, "missing --dim: --points and --dim go together"},
        {{"--dim=10001", a, a}, "invalid number of values per point '10001': not a whole number from 1 to 10000"},
        {{"--digits=18", a, a}, "invalid number of digits '18': not a whole number from 1 to 17"},
        {{"--table=rel_mean,", a, a}, "invalid table's figure list 'rel_mean,': it has an empty name"},
        {{"--table=rel_mean", "--format=json", a, a},
         "invalid option '--table': a table to paste is text, markdown or latex: TSV and JSON hold every figure of "
         "the summary"},
        // Out of range is an error, never a silent 0 or infinity.
        {{"--floor=1e-400", a, a}, "invalid floor '1e-400': Numerical result out of range"},
        {{"--atol=1e400", a, a}, "invalid absolute tolerance '1e400': Numerical result out of range"},
        {{"--floor= ", a, a}, "invalid floor ' ': not a finite number of 0 or more"},
        {{a}, "missing value file: at least two value files are needed, KDE_FROM_ALLPTS and KDE_FROM_SAMPLE"},
    };
    for (const auto& c : cases) {
        const RunResult run = runReport(c.args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "calcGap_report: " + c.message + "\n" + hint);
    }
    const RunResult help = runReport({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: calcGap_report [OPTION]... KDE_FROM_ALLPTS KDE_FROM_SAMPLE...\n", 0), 0u);
    EXPECT_EQ(runReport({"--version"}).out, std::string("calcGap_report (calcGap) ") + calcGapVersion() + "\n");
    // Options go anywhere; the values given are the ones used.
    const nlohmann::json got = reportJson({a, "--floor", "5", a, "-k0", "--rtol=0", "--atol=1e-9"});
    EXPECT_EQ(got["floor"], 5.0);
    EXPECT_EQ(got["rtol"], 0.0);
    EXPECT_EQ(got["atol"], 1e-9);
    EXPECT_TRUE(got["worst"]["absolute"].empty());
    const std::string missing = dir.path + "/missing";
    const RunResult absent = runReport({a, missing});
    EXPECT_EQ(absent.status, 1);
    EXPECT_EQ(absent.err, "calcGap_report: cannot open '" + missing + "': No such file or directory\n");
    const RunResult full = runProgram(toolPath("calcGap_report"), {"calcGap_report", a, a}, Output::file, "/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "calcGap_report: cannot write the report: No space left on device\n");
}

// White space on either side of a number reads alike; a unique prefix of a
// long option is that option; -0 is 0.
TEST_F(ReportCommandLine, ValuesReadAsTheyWereMeant)
{
    const std::string a = dir.file("a.txt", "1 2 3");
    const std::string b = dir.file("b.txt", "1 2 4");
    const nlohmann::json plain = reportJson({"--floor=1", "-n", "3", a, b});
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--floor= 1", "-n", " 3", a, b}, {"--floor=1 ", "-n", "3 ", a, b},
          {"--fl=1", "--cou=3", a, b}, {"--floor", "1", "-n3", a, b}}) {
        const nlohmann::json got = reportJson(args);
        for (const char* name : {"floor", "rel_pairs", "rel_mean", "rel_max", "rel_median"})
            EXPECT_EQ(got[name], plain[name]) << args[0] << ", " << name;
        EXPECT_EQ(got["pairs"], 3) << args[0];
    }
    EXPECT_EQ(reportJson({"--floor=-0", a, b})["floor"].dump(), "0.0");
    EXPECT_NE(runReport({"--floor=-0", a, b}).out.find("max(|a|, 0), over"), std::string::npos);
}

}  // namespace
