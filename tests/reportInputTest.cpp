// What calcGap_report says about its input: how each file ended and where,
// reads that failed, values that are not finite, files of unequal length,
// and the problems that --strict turns into status 2.
#include "reportSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>

namespace {

class ReportInput : public ::testing::Test {
protected:
    ScratchDir dir;
};

// Where a file's JSON object says it stopped, gathered as one object.
nlohmann::json stopAt(const nlohmann::json& file)
{
    return {{"line", file["stop_line"]},
            {"column", file["stop_column"]},
            {"offset", file["stop_offset"]},
            {"text", file["stop_text"]}};
}

TEST_F(ReportInput, WhatWentWrongInTheInput)
{
    const std::string a = dir.file("a.txt", "1 2\n- 4 nan\n5 inf x9 7\n");
    const std::string b = dir.file("b.txt", "1 1 1 1 1 1 1 1 1");
    const nlohmann::json got = reportJson({a, b});
    const nlohmann::json& allpts = got["allpts"];
    EXPECT_EQ(allpts["values"], 6);
    EXPECT_EQ(allpts["skipped_reads"], 1);
    EXPECT_EQ(allpts["first_skip"], nlohmann::json({{"line", 2}, {"column", 1}, {"offset", 4}}));
    EXPECT_EQ(allpts["nans"], 1);
    EXPECT_EQ(allpts["infinities"], 1);
    EXPECT_EQ(allpts["end"], "not-a-number");
    EXPECT_EQ(stopAt(allpts), nlohmann::json({{"line", 3}, {"column", 7}, {"offset", 18}, {"text", "'x9 7'$'\\n'"}}));
    EXPECT_EQ(got["sample"]["values"], 9);
    EXPECT_EQ(got["sample"]["end"], "end");
    // Seven reads before a is stopped: the skipped one repeats the 2.
    EXPECT_EQ(got["pairs"], 7);
    EXPECT_EQ(got["left_out"], 2);
    EXPECT_EQ(got["problems"], true);

    // With a count, the files that run short repeat their last values.
    const nlohmann::json counted = reportJson({"--count=12", a, b});
    EXPECT_EQ(counted["pairs"], 12);
    EXPECT_EQ(counted["allpts"]["short_pairs"], 5);
    EXPECT_EQ(counted["sample"]["short_pairs"], 3);

    const RunResult text = runReport({a, b});
    EXPECT_NE(text.out.find("then text that is not a number at line 3, column 7 (byte 18): 'x9 7'$'\\n'"),
              std::string::npos)
        << text.out;
    EXPECT_EQ(runReport({"--strict", a, b}).status, 2);
    // Far into a file, past many refills of the reader's buffer.
    std::string many;
    for (int i = 0; i < 100000; ++i)
        many += i % 3 == 0 ? "1\n" : "22 ";
    const std::string far = dir.file("far.txt", many + "  )");
    const nlohmann::json stopped = reportJson({far, far});
    EXPECT_EQ(stopAt(stopped["allpts"]),
              nlohmann::json({{"line", 33335}, {"column", 3}, {"offset", many.size() + 2}, {"text", "')'"}}));
    // Lines of uneven lengths and a run of ten thousand blank lines, so that
    // the line ends fall unevenly across the reader's counting steps.
    std::string uneven;
    for (int i = 0; i < 30000; ++i) {
        uneven += std::string(static_cast<std::size_t>(i % 13), ' ') + std::to_string(i % 97) + (i % 5 == 0 ? "\n" : " ");
        if (i == 12345)
            uneven += std::string(10000, '\n');
    }
    const std::string unevenFile = dir.file("uneven.txt", uneven + ")");
    const auto lineEnds = std::count(uneven.begin(), uneven.end(), '\n');
    const auto lastLineStart = uneven.rfind('\n') + 1;
    EXPECT_EQ(stopAt(reportJson({unevenFile, unevenFile})["allpts"]),
              nlohmann::json({{"line", lineEnds + 1},
                              {"column", uneven.size() - lastLineStart + 1},
                              {"offset", uneven.size()},
                              {"text", "')'"}}));
    const std::string clean = dir.file("clean.txt", "1 2 3");
    EXPECT_EQ(runReport({"--strict", clean, clean}).status, 0);
    EXPECT_EQ(runReport({"--strict", clean, b}).status, 2) << "files of unequal length";
}

// A file that begins with a UTF-8 byte-order mark reads as if it had none;
// text that stops a file shows any invisible character escaped.
TEST_F(ReportInput, ByteOrderMarksAndInvisibleText)
{
    const std::string marked = dir.file("marked.txt", "\xef\xbb\xbf" "1 2 3\n");
    const std::string plain = dir.file("plain.txt", "1 2 3\n");
    const nlohmann::json got = reportJson({marked, plain});
    EXPECT_EQ(got["pairs"], 3);
    EXPECT_EQ(got["allpts"]["end"], "end");
    EXPECT_EQ(got["problems"], false);
    EXPECT_EQ(runReport({"--strict", marked, plain}).status, 0);
    // A mark anywhere else is text that is not a number.
    const std::string later = dir.file("later.txt", "1 \xef\xbb\xbf" "2 3\n");
    const RunResult text = runReport({later, plain});
    EXPECT_NE(text.out.find("at line 1, column 3 (byte 2): $'\\357\\273\\277''2 3'$'\\n'"), std::string::npos)
        << text.out;
    const std::string reversed = dir.file("reversed.txt", "1 \xe2\x80\xae" "2\n");
    EXPECT_EQ(reportJson({reversed, plain})["allpts"]["stop_text"], "$'\\342\\200\\256''2'$'\\n'");
}

// Comparing nothing is a problem: two empty files, or one that stops at
// its first byte.
TEST_F(ReportInput, NoPairsIsAProblem)
{
    const std::string empty = dir.file("empty.txt", "");
    const std::string word = dir.file("word.txt", "x 1 2");
    const std::string values = dir.file("values.txt", "1 2");
    for (const auto& [a, b] : {std::pair{empty, empty}, std::pair{word, values}}) {
        const RunResult strict = runReport({"--strict", a, b});
        EXPECT_EQ(strict.status, 2);
        EXPECT_NE(strict.out.find("  no pairs                 nothing was compared\n"), std::string::npos) << strict.out;
        EXPECT_EQ(strict.out.find("problems"), std::string::npos) << strict.out;
    }
    EXPECT_EQ(reportJson({empty, empty})["problems"], true);
}

// One list of problems for every format and --strict: two files that both
// stop at text that is not a number, after as many values, are a problem
// in each.
TEST_F(ReportInput, EveryFormatTellsTheSameProblems)
{
    const std::string stopped = dir.file("stopped.txt", "1 abc 2");
    const std::string other = dir.file("other.txt", "3 abc 4");
    const RunResult text = runReport({"--strict", stopped, other});
    EXPECT_EQ(text.status, 2);
    EXPECT_NE(text.out.find("  a: stopped               at text that is not a number, line 1, column 3 (byte 2)"),
              std::string::npos)
        << text.out;
    EXPECT_EQ(text.out.find("problems                 none"), std::string::npos) << text.out;
    EXPECT_EQ(reportTsv({stopped, other}).at("problems"), "yes");
    EXPECT_EQ(reportJson({stopped, other})["problems"], true);
    const std::string clean = dir.file("clean.txt", "1 2");
    EXPECT_EQ(runReport({"--strict", clean, clean}).status, 0);
    EXPECT_NE(runReport({clean, clean}).out.find("problems                 none"), std::string::npos);
}

// A file likely meant to be read with other options says which, in the
// report and on standard error, and is a problem for --strict.
TEST_F(ReportInput, FilesMeantToBeReadOtherwise)
{
    const std::string csv = dir.file("a.csv", "0.5,0.25\n0.75,0.5\n");
    const RunResult plain = runReport({"--strict", csv, csv});
    EXPECT_EQ(plain.status, 2);
    const std::string hint = "its fields are split at ',': read them with --delimiter=',' and --column";
    EXPECT_NE(plain.out.find("a: read otherwise?       " + hint), std::string::npos) << plain.out;
    EXPECT_NE(plain.err.find("calcGap_report: '" + csv + "' was likely meant to be read otherwise: " + hint + "\n"),
              std::string::npos)
        << plain.err;
    const std::string named = dir.file("named.csv", "i,kde\n1,0.5\n2,0.25\n");
    const RunResult headless = runReport({"--strict", "--delimiter=,", "--column=2", named, named});
    EXPECT_EQ(headless.status, 2);
    EXPECT_NE(headless.err.find("its first line is not a number: if it names the fields, read it with --header"),
              std::string::npos)
        << headless.err;
    const RunResult right = runReport({"--strict", "--header", "--delimiter=,", "--column=kde", named, named});
    EXPECT_EQ(right.status, 0) << right.out;
    EXPECT_EQ(right.err, "");
}

// Every digit is read: densities far below a float's range keep their
// errors, and values that even a double cannot hold are counted, never
// quietly taken for 0 or for a match.
TEST_F(ReportInput, UnderflowsAreCountedNeverHidden)
{
    const std::string a = dir.file("a.txt", "1.2e-47 3.0e-44 1e-30\n");
    const std::string b = dir.file("b.txt", "5e-60 1e-45 1e-30\n");
    const nlohmann::json small = reportJson({a, b});
    EXPECT_EQ(small["within"], 1);
    EXPECT_EQ(small["within_share"].get<double>(), 1.0 / 3);
    EXPECT_EQ(small["ratio_max"].get<double>(), 1.2e-47 / 5e-60);
    EXPECT_EQ(small["ratio_max_point"], 0);
    EXPECT_EQ(runReport({"--strict", a, b}).status, 0) << "every value is a normal double";

    const std::string c = dir.file("c.txt", "1e-580 2e-300 1e-320 1e400 -0\n");
    const std::string d = dir.file("d.txt", "1e-590 1e-300 1e-320 1 0.0\n");
    const nlohmann::json tiny = reportJson({c, d});
    EXPECT_EQ(tiny["allpts"]["underflows"], 2);
    EXPECT_EQ(tiny["allpts"]["overflows"], 1);
    EXPECT_EQ(tiny["sample"]["underflows"], 2);
    EXPECT_EQ(tiny["sample"]["overflows"], 0);
    // 1e-580 against 1e-590: both read as 0, and are no match.  Zeros
    // written as zeros are.
    EXPECT_EQ(tiny["both_underflowed"], 1);
    EXPECT_EQ(tiny["tolerance_pairs"], 3);
    EXPECT_EQ(tiny["within"], 2);
    EXPECT_EQ(tiny["rel_zero_over_zero"], 1);
    EXPECT_EQ(tiny["problems"], true);
    EXPECT_EQ(runReport({"--strict", c, d}).status, 2);
    const RunResult text = runReport({c, d});
    EXPECT_NE(text.out.find("  a: underflow             2 values read as 0 or below the normal range"), std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("  both underflowed         1 pair whose two values read as 0"), std::string::npos);
    // Squares of errors of 1e-300 are below every double, yet the rms is not
    // 0.
    EXPECT_GT(tiny["abs_rms"].get<double>(), 0.0);
}

}  // namespace
