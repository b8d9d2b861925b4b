// calcGap_report end to end: its classic lines against the classic tools,
// what it says about faulty input, its options and its three formats.
#include "testSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using nlohmann::json;

RunResult report(const std::vector<std::string>& args)
{
    return runTool("calcGap_report", args);
}

json reportJson(std::vector<std::string> args)
{
    args.insert(args.begin(), "--format=json");
    const RunResult run = report(args);
    EXPECT_EQ(run.err, "");
    return json::parse(run.out);
}

std::string strip(const std::string& line)
{
    return line.substr(0, line.find('\n'));
}

class Report : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string points = dir.file("points.txt", "0 0\n");
};

// One run gives the three tools' lines, with a count and without.
TEST_F(Report, ClassicLinesAreTheClassicToolsOwn)
{
    std::mt19937 random(3);
    static const char* const odd[] = {"nan", "inf", "-", "1e40", "x", "0x1p-3", "-0", "1e-45"};
    for (int round = 0; round < 12; ++round) {
        std::string contents[2];
        for (std::string& text : contents) {
            const int count = static_cast<int>(random() % 3000);
            for (int i = 0; i < count; ++i) {
                char value[32];
                std::snprintf(value, sizeof value, "%.9g ", std::ldexp(static_cast<double>(random()), -40));
                text += random() % 400 == 0 ? std::string(odd[random() % std::size(odd)]) + " " : value;
            }
        }
        const std::string a = dir.file("a.txt", contents[0]);
        const std::string b = dir.file("b.txt", contents[1]);
        for (const bool counted : {false, true}) {
            const json got = counted ? reportJson({"-n", std::to_string(round * 500), a, b}) : reportJson({a, b});
            const std::string n = std::to_string(got["pairs"].get<long long>());
            EXPECT_EQ(got["classic"]["calcGap_mean"], strip(runTool("calcGap_mean", {a, b, points, n, "2"}).out));
            EXPECT_EQ(got["classic"]["calcGap_rms"], strip(runTool("calcGap_rms", {a, b, points, n, "2"}).out));
            EXPECT_EQ(got["classic"]["calcGap_peak"], strip(runTool("calcGap_peak", {a, b, points, n, "2", "1"}).out));
        }
    }
}

TEST_F(Report, WhatWentWrongInTheInput)
{
    const std::string a = dir.file("a.txt", "1 2\n- 4 nan\n5 inf x9 7\n");
    const std::string b = dir.file("b.txt", "1 1 1 1 1 1 1 1 1");
    const json got = reportJson({a, b});
    const json& allpts = got["allpts"];
    EXPECT_EQ(allpts["values"], 6);
    EXPECT_EQ(allpts["skipped_reads"], 1);
    EXPECT_EQ(allpts["first_skip"], json({{"line", 2}, {"column", 1}, {"offset", 4}}));
    EXPECT_EQ(allpts["nans"], 1);
    EXPECT_EQ(allpts["infinities"], 1);
    EXPECT_EQ(allpts["end"], "not a number");
    EXPECT_EQ(allpts["stop"], json({{"line", 3}, {"column", 7}, {"offset", 18}, {"text", "'x9 7'$'\\n'"}}));
    EXPECT_EQ(got["sample"]["values"], 9);
    EXPECT_EQ(got["sample"]["end"], "end of file");
    // Seven reads before a is stopped: the skipped one repeats the 2.
    EXPECT_EQ(got["pairs"], 7);
    EXPECT_EQ(got["left_out"], 2);
    EXPECT_EQ(got["problems"], true);

    // With a count, the files that run short repeat their last values.
    const json counted = reportJson({"--count=12", a, b});
    EXPECT_EQ(counted["pairs"], 12);
    EXPECT_EQ(counted["allpts"]["short_pairs"], 5);
    EXPECT_EQ(counted["sample"]["short_pairs"], 3);

    const RunResult text = report({a, b});
    EXPECT_NE(text.out.find("then text that is not a number at line 3, column 7 (byte 18): 'x9 7'$'\\n'"),
              std::string::npos)
        << text.out;
    EXPECT_EQ(report({"--strict", a, b}).status, 2);
    // Far into a file, past many refills of the reader's buffer.
    std::string many;
    for (int i = 0; i < 100000; ++i)
        many += i % 3 == 0 ? "1\n" : "22 ";
    const std::string far = dir.file("far.txt", many + "  )");
    const json stopped = reportJson({far, far});
    EXPECT_EQ(stopped["allpts"]["stop"],
              json({{"line", 33335}, {"column", 3}, {"offset", many.size() + 2}, {"text", "')'"}}));
    const std::string clean = dir.file("clean.txt", "1 2 3");
    EXPECT_EQ(report({"--strict", clean, clean}).status, 0);
    EXPECT_EQ(report({"--strict", clean, b}).status, 2) << "files of unequal length";
}

TEST_F(Report, OptionsAndTheirErrors)
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
        {{"--format=xml", a, a}, "invalid format 'xml': not one of text, tsv, json"},
        {{"--bogus\x1b[2J", a, a}, "invalid option '--bogus'$'\\033''[2J': no such option"},
        {{"-z", a, a}, "invalid option '-z': no such option"},
        {{a, "--count"}, "invalid option '--count': it needs a value"},
        {{a}, "missing value file: two value files are needed, KDE_FROM_ALLPTS and KDE_FROM_SAMPLE"},
        {{a, a, a}, "extra operand '" + a + "': two value files are needed"},
    };
    for (const auto& c : cases) {
        const RunResult run = report(c.args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "calcGap_report: " + c.message + "\n" + hint);
    }
    const RunResult help = report({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: calcGap_report [OPTION]... KDE_FROM_ALLPTS KDE_FROM_SAMPLE\n", 0), 0u);
    EXPECT_EQ(report({"--version"}).out, std::string("calcGap_report (calcGap) ") + CALCGAP_VERSION + "\n");
    // Options go anywhere; the values given are the ones used.
    const json got = reportJson({a, "--floor", "5", a, "-k0", "--rtol=0", "--atol=1e-9"});
    EXPECT_EQ(got["relative"]["floor"], 5.0);
    EXPECT_EQ(got["tolerance"]["rtol"], 0.0);
    EXPECT_EQ(got["tolerance"]["atol"], 1e-9);
    EXPECT_TRUE(got["worst"]["absolute"].empty());
    const std::string missing = dir.path + "/missing";
    const RunResult absent = report({a, missing});
    EXPECT_EQ(absent.status, 1);
    EXPECT_EQ(absent.err, "calcGap_report: cannot open '" + missing + "': No such file or directory\n");
    const RunResult full = runProgram(toolPath("calcGap_report"), {"calcGap_report", a, a}, Output::file, "/dev/full");
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "calcGap_report: cannot write the report: No space left on device\n");
}

// The three formats carry the same figures; names of any bytes stay in one
// field, and JSON stays valid.
TEST_F(Report, FormatsAgree)
{
    const std::string a = dir.file("tab\there\n\xff.txt", "0.5 1 2 4e-3 0");
    const std::string b = dir.file("b.txt", "0.25 1.5 2 5e-3 1");
    const json got = reportJson({"-k", "2", a, b});
    EXPECT_EQ(got["allpts"]["path"], dir.path + "/tab\there\n\xef\xbf\xbd.txt");
    EXPECT_EQ(got["absolute"]["max"], 1.0);
    EXPECT_EQ(got["absolute"]["max_point"], 4);
    EXPECT_EQ(got["worst"]["absolute"][0]["point"], 4);
    EXPECT_EQ(got["worst"]["absolute"][1]["point"], 1);
    EXPECT_EQ(got["relative"]["infinite"], 1);

    const RunResult tsv = report({"--format=tsv", a, b});
    std::istringstream lines(tsv.out);
    std::string header;
    std::string data;
    std::string extra;
    std::getline(lines, header);
    std::getline(lines, data);
    EXPECT_FALSE(std::getline(lines, extra)) << "one header line and one data line";
    const auto split = [](const std::string& line) {
        std::vector<std::string> fields;
        std::istringstream in(line);
        for (std::string field; std::getline(in, field, '\t');)
            fields.push_back(field);
        return fields;
    };
    const std::vector<std::string> names = split(header);
    const std::vector<std::string> values = split(data);
    ASSERT_EQ(names.size(), values.size());
    const auto valueOf = [&](const std::string& name) {
        for (std::size_t i = 0; i < names.size(); ++i)
            if (names[i] == name)
                return values[i];
        ADD_FAILURE() << "no field " << name;
        return std::string();
    };
    EXPECT_EQ(valueOf("allpts"), "'" + dir.path + "/tab'$'\\t''here'$'\\n\\377''.txt'");
    // Shortest round trip: the same doubles as the JSON's.
    for (const auto& [field, pointer] : {std::pair{"abs_mean", "/absolute/mean"}, {"abs_rms", "/absolute/rms"},
                                         {"rel_mean", "/relative/mean"}, {"relative_l2", "/norms/relative_l2"},
                                         {"log_ratio_mean", "/ratio/mean_abs_log"}})
        EXPECT_EQ(std::stod(valueOf(field)), got[json::json_pointer(pointer)].get<double>()) << field;
    EXPECT_EQ(valueOf("classic_mean"), got["classic"]["calcGap_mean"]);
}

// Memory stays within 16 MiB however widely the errors spread.
TEST_F(Report, MemoryStaysSmallWhateverTheErrors)
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
    const RunResult run = report({"-k", "1000", paths[0], paths[1]});
    EXPECT_EQ(run.status, 0);
    EXPECT_LT(run.peakKilobytes, 16 * 1024);
}

}  // namespace
