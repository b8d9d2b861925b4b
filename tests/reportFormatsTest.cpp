// calcGap_report's three formats: the same figures in each, one spelling
// per meaning, every field documented, and the classic lines exactly the
// classic tools' own.
#include "reportSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using nlohmann::json;

std::string firstLine(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

// The names between backticks in a cell of a Markdown table.
std::vector<std::string> quotedNames(const std::string& cell)
{
    std::vector<std::string> names;
    for (std::size_t open = cell.find('`'); open != std::string::npos;) {
        const std::size_t close = cell.find('`', open + 1);
        names.push_back(cell.substr(open + 1, close - open - 1));
        open = cell.find('`', close + 1);
    }
    return names;
}

class ReportFormats : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string points = dir.file("points.txt", "0 0\n");
};

// One run gives the three tools' lines, with a count and without.
TEST_F(ReportFormats, ClassicLinesAreTheClassicToolsOwn)
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
            const nlohmann::json got = counted ? reportJson({"-n", std::to_string(round * 500), a, b}) : reportJson({a, b});
            const std::string n = std::to_string(got["pairs"].get<long long>());
            EXPECT_EQ(got["classic_mean"], firstLine(runTool("calcGap_mean", {a, b, points, n, "2"}).out));
            EXPECT_EQ(got["classic_rms"], firstLine(runTool("calcGap_rms", {a, b, points, n, "2"}).out));
            EXPECT_EQ(got["classic_peak"], firstLine(runTool("calcGap_peak", {a, b, points, n, "2", "1"}).out));
        }
    }
    // Where the tools would read the files otherwise (a comment, a
    // byte-order mark, fields of lines), the report claims no line of
    // theirs, and says what they would do.
    const std::string plain = dir.file("plain.txt", "1 2\n");
    const std::string commented = dir.file("commented.txt", "# kde\n1.5 2\n");
    const std::string marked = dir.file("marked.txt", "\xef\xbb\xbf" "1.5 2\n");
    const std::string fields = dir.file("fields.csv", "0,1.5\n1,2\n");
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const Case cases[] = {
        {{plain, commented}, "the classic tools stop at the first comment line of b"},
        {{marked, plain}, "the classic tools stop at the byte-order mark that starts a"},
        {{"--delimiter=,", "--column=2", fields, fields}, "the classic tools read a"},
    };
    for (const Case& c : cases) {
        const nlohmann::json got = reportJson(c.args);
        EXPECT_TRUE(got["classic_mean"].is_null()) << c.says;
        std::vector<std::string> tsvArgs{"--format=tsv"};
        tsvArgs.insert(tsvArgs.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(reportTsv(tsvArgs).at("classic_mean"), "") << c.says;
        const std::string text = runReport(c.args).out;
        EXPECT_NE(text.find(c.says), std::string::npos) << text;
        EXPECT_EQ(text.find("  calcGap_mean "), std::string::npos) << text;
    }
    EXPECT_EQ(reportJson({plain, plain})["classic_mean"], "0.000000");
}

// The three formats carry the same figures; names of any bytes stay in one
// field, and JSON stays valid and ASCII.
TEST_F(ReportFormats, FormatsAgree)
{
    const std::string a = dir.file("tab\there\n\xff\xe2\x80\xae.txt", "0.5 1 2 4e-3 0 x");
    const std::string b = dir.file("b.txt", "0.25 1.5 2 5e-3 1 7");
    const RunResult jsonRun = runReport({"--format=json", "-k", "2", a, b});
    for (unsigned char c : jsonRun.out)
        ASSERT_LT(c, 0x80) << "every byte beyond ASCII is escaped";
    const json got = json::parse(jsonRun.out);
    EXPECT_EQ(got["allpts"]["path"], dir.path + "/tab\there\n\xef\xbf\xbd\xe2\x80\xae.txt");
    EXPECT_EQ(got["abs_max"], 1.0);
    EXPECT_EQ(got["abs_max_point"], 4);
    EXPECT_EQ(got["worst"]["absolute"][0]["point"], 4);
    EXPECT_EQ(got["worst"]["absolute"][1]["point"], 1);
    EXPECT_EQ(got["rel_infinite"], 1);

    const RunResult tsvRun = runReport({"--format=tsv", a, b});
    const TsvTable tsv = parseTsv(tsvRun.out);
    ASSERT_EQ(tsv.rows.size(), 1u) << "one header line and one data line";
    std::map<std::string, std::string> field;
    for (std::size_t i = 0; i < tsv.names.size(); ++i)
        field[tsv.names[i]] = tsv.rows[0][i];
    EXPECT_EQ(field["allpts"], "'" + dir.path + "/tab'$'\\t''here'$'\\n\\377\\342\\200\\256''.txt'");
    // Shortest round trip: the same doubles as the JSON's.
    for (const char* name : {"abs_mean", "abs_rms", "rel_mean", "relative_l2", "log_ratio_mean"})
        EXPECT_EQ(std::stod(field[name]), got[name].get<double>()) << name;
    EXPECT_EQ(field["classic_mean"], got["classic_mean"]);
    // One vocabulary for how a file ended, and where.
    EXPECT_EQ(field["allpts_end"], "not-a-number");
    EXPECT_EQ(got["allpts"]["end"], "not-a-number");
    EXPECT_EQ(field["sample_end"], got["sample"]["end"]);
    EXPECT_EQ(field["allpts_stop_line"], got["allpts"]["stop_line"].dump());
    EXPECT_EQ(field["allpts_stop_column"], "16");
    EXPECT_EQ(field["allpts_stop_offset"], got["allpts"]["stop_offset"].dump());
    EXPECT_EQ(field["sample_stop_line"], "");
}

// A figure with no pairs to take it over, or of no value (0/0), is n/a in
// text, an empty field in TSV and null in JSON; an infinite figure is inf,
// inf and "inf".  Neither is ever the other.
TEST_F(ReportFormats, MissingAndInfiniteFiguresHaveOneSpellingEach)
{
    const std::string zeros = dir.file("zeros.txt", "0 0 0");
    const std::string ones = dir.file("ones.txt", "1 2 3");
    const std::string empty = dir.file("empty.txt", "");
    const auto textLine = [&](const std::vector<std::string>& args, const std::string& label) {
        const std::string out = runReport(args).out;
        const std::size_t at = out.find("\n  " + label + " ");
        return at == std::string::npos ? std::string() : firstLine(out.substr(at + 1));
    };
    // a all zero, b not: relative L2 is sqrt(14 / 0).
    EXPECT_EQ(textLine({zeros, ones}, "relative L2"), "  relative L2              inf   sqrt(sum (a - b)^2 / sum a^2)");
    EXPECT_EQ(reportTsv({zeros, ones})["relative_l2"], "inf");
    EXPECT_EQ(reportJson({zeros, ones})["relative_l2"], "inf");
    EXPECT_EQ(reportJson({zeros, ones})["max_over_max_allpts"], "inf");
    // Both all zero: 0 / 0.
    EXPECT_EQ(textLine({zeros, zeros}, "relative L2"), "  relative L2              n/a   sqrt(sum (a - b)^2 / sum a^2)");
    EXPECT_EQ(reportTsv({zeros, zeros})["relative_l2"], "");
    EXPECT_TRUE(reportJson({zeros, zeros})["relative_l2"].is_null());
    // No pairs at all.
    const std::map<std::string, std::string> none = reportTsv({empty, empty});
    for (const char* name : {"abs_mean", "abs_max", "abs_max_point", "abs_median", "rel_mean", "rel_max_point",
                             "within_share", "log_ratio_mean", "ratio_max_point", "relative_l2"})
        EXPECT_EQ(none.at(name), "") << name;
    EXPECT_EQ(none.at("classic_mean"), "-nan") << "the classic line is the tool's own";
    EXPECT_TRUE(reportJson({empty, empty})["abs_max_point"].is_null());
    EXPECT_EQ(textLine({empty, empty}, "mean"), "  mean                     n/a");
}

TEST_F(ReportFormats, CountsOfOneReadInTheSingular)
{
    const std::string a = dir.file("a.txt", "1");
    const std::string b = dir.file("b.txt", "-2");
    const std::string out = runReport({a, b}).out;
    for (const char* text : {"  a                        1 value, then the end of the file\n",
                             "\nAbsolute error |a - b|, over 1 pair\n", "max(|a|, 0), over 1 pair\n",
                             "\nRatio error, over 0 pairs with a > 0 and b > 0\n",
                             "  exactly one value <= 0   1 pair\n", "\nWorst 1 point by absolute error\n"})
        EXPECT_NE(out.find(text), std::string::npos) << text << out;
}

// Every TSV column and every JSON key the report writes, with every option
// that adds some, is listed, with its meaning, in the reference of the
// output fields (docs/fields.md), and the lists hold nothing else.
TEST_F(ReportFormats, TheFieldReferenceListsEveryField)
{
    std::ifstream readme(CALCGAP_SOURCE_DIR "/docs/fields.md");
    ASSERT_TRUE(readme.good());
    // The names in the first cell of each row of the table after the line
    // that introduces it; a row may name several ("`a`, `b`").
    std::vector<std::string> tsvListed;
    std::vector<std::string> summaryListed;
    std::vector<std::string> jsonListed;
    std::vector<std::string>* filling = nullptr;
    bool inTable = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("Every column of `--format=tsv`", 0) == 0) {
            filling = &tsvListed;
        } else if (line.rfind("Every column of `--format=tsv --summary`", 0) == 0) {
            filling = &summaryListed;
        } else if (line.rfind("Every key of `--format=json`", 0) == 0) {
            filling = &jsonListed;
        } else if (filling != nullptr && line.rfind("|", 0) == 0) {
            inTable = true;
            if (line.rfind("| `", 0) == 0)
                for (const std::string& name : quotedNames(line.substr(1, line.find('|', 1) - 1)))
                    filling->push_back(name);
        } else if (inTable) {
            filling = nullptr;
            inTable = false;
        }
    }
    const auto sorted = [](std::vector<std::string> names) {
        std::sort(names.begin(), names.end());
        names.erase(std::unique(names.begin(), names.end()), names.end());
        return names;
    };
    // Files that stop, with a skipped read each, so that every key is there.
    const std::string a = dir.file("a_1_.txt", "1 - 2 x");
    const std::string b = dir.file("b_2_.txt", "1 - 1 1 y");
    const std::string coordinates = dir.file("coordinates.txt", "1 2 3 4 5 6 7 8");
    const std::vector<std::string> every = {"--group=_([0-9])_", "--by-density", "--require=rel_max<=0", "--ci=0.95",
                                            "--baseline=group=1", "--rtol=0.01,0.1"};
    std::vector<std::string> args{"--format=tsv"};
    args.insert(args.end(), every.begin(), every.end());
    // A sample of group 1, the baseline of the other.
    const std::string c = dir.file("c_1_.txt", "2 - 1 1 y");
    args.insert(args.end(), {a, b, c});
    const TsvTable rows = parseTsv(runReport(args).out);
    // A tolerance's columns are listed as within_R.
    std::vector<std::string> tsvWritten = rows.names;
    for (std::string& name : tsvWritten)
        for (const char* r : {"0.01", "0.1"})
            for (const std::string stem : {"within_", "within_share_"})
                if (name == stem + r)
                    name = stem + "R";
    EXPECT_EQ(sorted(tsvWritten), sorted(tsvListed));

    // The summary's columns: a pattern stands for the numeric columns.
    args.insert(args.begin(), {"--summary"});
    args.push_back(b);
    std::vector<std::string> summaryWritten;
    for (const std::string& name : parseTsv(runReport(args).out).names) {
        std::string shown = name;
        for (const std::string& column : rows.names)
            for (const char* statistic : {"_mean", "_sd", "_se", "_min", "_max", "_ci_lo", "_ci_hi"})
                if (name == column + statistic)
                    shown = std::string("X") + statistic;
        summaryWritten.push_back(shown);
    }
    EXPECT_EQ(sorted(summaryWritten), sorted(summaryListed));

    // Every key that holds a value, as a path, in the order of the
    // document; members of the objects in a list as list[].member.  The
    // keys of a sample among several are those of one sample's document,
    // those of the points' file those of allpts, and a row by decade or a
    // summary's figure has a key for each column, as has a sample's own
    // document at its top.
    std::vector<std::string> written;
    const auto shown = [&](std::string path) {
        if (path.rfind("samples[].", 0) == 0)
            path = path.substr(10);
        if (path.rfind("points.", 0) == 0)
            path = "allpts." + path.substr(7);
        for (const std::string& column : rows.names) {
            if (path == column)
                return std::string("COLUMN");
            if (path == "by_density[]." + column)
                return std::string("by_density[].COLUMN");
            const std::string figure = "summary[].figures." + column + ".";
            if (path.rfind(figure, 0) == 0)
                return "summary[].figures.COLUMN." + path.substr(figure.size());
        }
        return path;
    };
    const auto walk = [&](const auto& self, const nlohmann::ordered_json& value, const std::string& path) -> void {
        if (value.is_object()) {
            for (const auto& [key, member] : value.items()) {
                const std::string inner = path.empty() ? key : path + "." + key;
                if (!member.is_structured() || (member.is_array() && !member.empty() && !member[0].is_structured()))
                    written.push_back(shown(inner));
                else
                    self(self, member, inner);
            }
        } else if (value.is_array()) {
            for (const nlohmann::ordered_json& item : value)
                self(self, item, path + "[]");
        }
    };
    std::vector<std::string> one{"--format=json", "-k", "1", "--summary", "--points=" + coordinates, "--dim=2"};
    one.insert(one.end(), every.begin(), every.end());
    one.insert(one.end(), {a, b, c});
    walk(walk, nlohmann::ordered_json::parse(runReport(one).out), "");
    one.push_back(b);
    walk(walk, nlohmann::ordered_json::parse(runReport(one).out), "");
    // Keys that only files read field by field have.
    const std::string columns = dir.file("columns.txt", "1,2\n3\n");
    walk(walk,
         nlohmann::ordered_json::parse(runReport({"--format=json", "--delimiter=,", "--column=2", columns, columns}).out),
         "");
    EXPECT_EQ(sorted(written), sorted(jsonListed));
}

// --columns keeps the TSV figures it names or matches, in the table's
// order, with the files, group and decade that name each row; a name that
// matches no figure is an option error naming the closest.
TEST_F(ReportFormats, ChosenColumnsOfTsvRows)
{
    const std::string a = dir.file("a.txt", "1 2 4 8");
    const std::string b1 = dir.file("run_n1_s1.txt", "1.5 2 4 9");
    const std::string b2 = dir.file("run_n1_s2.txt", "1 2.5 4 8");
    const TsvTable whole = parseTsv(runReport({"--format=tsv", a, b1}).out);
    const TsvTable chosen = parseTsv(runReport({"--format=tsv", "--columns=rel_p*,abs_mean", a, b1}).out);
    std::vector<std::string> expected{"allpts", "sample"};
    for (const std::string& name : whole.names)
        if (name == "abs_mean" || name.rfind("rel_p", 0) == 0)
            expected.push_back(name);
    ASSERT_GT(expected.size(), 4u);
    EXPECT_EQ(chosen.names, expected);
    ASSERT_EQ(chosen.rows.size(), 1u);
    for (std::size_t k = 0; k < chosen.names.size(); ++k) {
        const auto at = std::find(whole.names.begin(), whole.names.end(), chosen.names[k]) - whole.names.begin();
        EXPECT_EQ(chosen.rows[0][k], whole.rows[0][static_cast<std::size_t>(at)]) << chosen.names[k];
    }

    const TsvTable summary =
        parseTsv(runReport({"--format=tsv", "--summary", "--group=_n([0-9]+)_", "--columns=rel_mean", a, b1, b2}).out);
    EXPECT_EQ(summary.names, (std::vector<std::string>{"group", "samples", "rel_mean_mean", "rel_mean_sd", "rel_mean_se",
                                                      "rel_mean_min", "rel_mean_max"}));
    ASSERT_EQ(summary.rows.size(), 1u);
    EXPECT_EQ(summary.rows[0].size(), summary.names.size());

    const RunResult typo = runReport({"--format=tsv", "--columns=abs_mean,rel_maen", a, b1});
    EXPECT_EQ(typo.status, 1);
    EXPECT_EQ(typo.out, "");
    EXPECT_EQ(typo.err.substr(0, typo.err.find('\n')),
              "calcGap_report: invalid column list 'abs_mean,rel_maen': no figure is named 'rel_maen'; close names: "
              "rel_max, rel_mean");
    EXPECT_EQ(runReport({"--format=tsv", "--columns=nothing*", a, b1}).status, 1);
    EXPECT_EQ(runReport({"--format=tsv", "--columns=abs_mean,", a, b1}).status, 1);
}

// --decades=K puts K decades of a in each by-density row: the row is the
// span's lowest decade, a multiple of K, and its pairs and largest error
// are those of the one-decade rows it spans.
TEST_F(ReportFormats, ByDensityRowsSpanKDecades)
{
    const std::string a = dir.file("a.txt", "3e-13 2e-12 5e-11 4e-10 7e-9 1e-8 6e-7 2e-6 0 1e-1");
    const std::string b = dir.file("b.txt", "3.1e-13 2.2e-12 5e-11 4.4e-10 7e-9 1.3e-8 6e-7 2.1e-6 1e-9 1.5e-1");
    const TsvTable fine = parseTsv(runReport({"--format=tsv", "--by-density", a, b}).out);
    const TsvTable coarse = parseTsv(runReport({"--format=tsv", "--by-density", "--decades=3", a, b}).out);
    const auto column = [](const TsvTable& table, const std::string& name) {
        return static_cast<std::size_t>(std::find(table.names.begin(), table.names.end(), name) - table.names.begin());
    };
    const auto floorToSpan = [](int decade) { return decade - ((decade % 3) + 3) % 3; };
    std::map<std::string, std::pair<long, double>> expected;
    for (const std::vector<std::string>& row : fine.rows) {
        const std::string& decade = row[column(fine, "decade")];
        const std::string span = decade == "none" ? decade : std::to_string(floorToSpan(std::stoi(decade)));
        auto& [pairs, largest] = expected[span];
        pairs += std::stol(row[column(fine, "pairs")]);
        if (!row[column(fine, "rel_max")].empty())
            largest = std::max(largest, std::stod(row[column(fine, "rel_max")]));
    }
    ASSERT_EQ(coarse.rows.size(), expected.size());
    for (const std::vector<std::string>& row : coarse.rows) {
        const std::string& decade = row[column(coarse, "decade")];
        ASSERT_TRUE(expected.count(decade)) << decade;
        EXPECT_EQ(std::stol(row[column(coarse, "pairs")]), expected[decade].first) << decade;
        if (!row[column(coarse, "rel_max")].empty()) {
            EXPECT_EQ(std::stod(row[column(coarse, "rel_max")]), expected[decade].second) << decade;
        }
    }
    EXPECT_TRUE(expected.count("-15") && expected.count("-6") && expected.count("none"));
    const RunResult text = runReport({"--summary", "--by-density", "--decades=3", a, b, b});
    EXPECT_NE(text.out.find("[1e-15, 1e-12)"), std::string::npos) << text.out;
    EXPECT_EQ(runReport({"--decades=0", a, b}).status, 1);
}

// The tables to paste, parsed back: markdown by its pipes, LaTeX by its &
// and \\; each cell the summary's mean (and sd, or interval) at the digits
// asked for, rows by the first key and columns by the last in natural
// order, a missing combination an empty cell; names that would break a
// table escaped in each.
TEST_F(ReportFormats, TablesToPasteParseBack)
{
    const std::string a = dir.file("a.txt", "1\n2\n4\n8\n");
    std::vector<std::string> samples;
    const char* const values[] = {"1.00001\n2\n4\n8\n", "1.003\n2.002\n4\n8\n", "1\n2\n4.04\n8\n", "1\n2\n4\n8.8\n"};
    int v = 0;
    // The method "x|y_&%" has no n=400 at all, and one sample of n=1600.
    for (const char* method : {"tree", "x|y_&%"})
        for (const char* n : {"1600", "400"})
            for (const char* seed : {"1", "2"}) {
                if (std::string(method) != "tree" && (std::string(n) == "400" || std::string(seed) == "2"))
                    continue;
                samples.push_back(dir.file(std::string(method) + "-n" + n + "-s" + seed, values[v++ % 4]));
            }
    std::vector<std::string> base{"--key=method=/([^/-]+)-n", "--key=n=-n([0-9]+)-", a};
    base.insert(base.end(), samples.begin(), samples.end());
    const auto run = [&](std::vector<std::string> options) {
        options.insert(options.end(), base.begin(), base.end());
        const RunResult result = runReport(options);
        EXPECT_EQ(result.status, 0) << result.err;
        return result.out;
    };
    std::vector<std::string> tsvArgs{"--format=tsv", "--summary"};
    const TsvTable summary = parseTsv(run(tsvArgs));
    const auto summaryValue = [&](const std::string& method, const std::string& n, const std::string& column) {
        const auto at = std::find(summary.names.begin(), summary.names.end(), column) - summary.names.begin();
        for (const std::vector<std::string>& row : summary.rows)
            if (row[0] == method && row[1] == n)
                return std::strtod(row[static_cast<std::size_t>(at)].c_str(), nullptr);
        ADD_FAILURE() << method << " " << n;
        return 0.0;
    };
    const auto split = [](const std::string& line, const std::string& by) {
        std::vector<std::string> cells;
        for (std::size_t start = 0;;) {
            const std::size_t end = line.find(by, start);
            std::string cell = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
            cell.erase(0, cell.find_first_not_of(' '));
            cell.erase(cell.find_last_not_of(' ') + 1);
            cells.push_back(cell);
            if (end == std::string::npos)
                return cells;
            start = end + by.size();
        }
    };
    const auto lines = [](const std::string& text) {
        std::vector<std::string> all;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            all.push_back(line);
        return all;
    };
    // "%.4g" of the summary, as the cell shows it, trailing zeros kept.
    const auto shown = [](double value) {
        char text[32];
        std::snprintf(text, sizeof text, "%#.4g", value);
        std::string t = text;
        if (t.back() == '.')
            t.pop_back();
        return t;
    };

    const std::vector<std::string> markdown = lines(run({"--format=markdown", "--table=rel_mean", "--digits=4"}));
    ASSERT_EQ(markdown.size(), 6u);
    EXPECT_EQ(markdown[0], "rel\\_mean by method and n: mean ± sd over 1 to 2 samples");
    // Pipes open and close each line; an escaped one is part of a name.
    std::vector<std::vector<std::string>> rows;
    for (std::size_t l = 2; l < markdown.size(); ++l) {
        std::string line = markdown[l];
        ASSERT_EQ(line.front(), '|');
        ASSERT_EQ(line.back(), '|');
        std::string unescapedPipes;
        for (std::size_t i = 1; i + 1 < line.size(); ++i)
            unescapedPipes += line[i] == '\\' && line[i + 1] == '|' ? (++i, '\x01') : line[i];
        std::vector<std::string> cells = split(unescapedPipes, "|");
        for (std::string& cell : cells)
            std::replace(cell.begin(), cell.end(), '\x01', '|');
        rows.push_back(cells);
    }
    EXPECT_EQ(rows[0], (std::vector<std::string>{"method", "n=400", "n=1600"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{":---", "---:", "---:"}));
    EXPECT_EQ(rows[2][0], "tree");
    EXPECT_EQ(rows[3][0], "x|y\\_\\&%") << "the name escaped";
    for (const auto& [r, method] : std::vector<std::pair<std::size_t, std::string>>{{2, "tree"}, {3, "x|y_&%"}})
        for (const auto& [c, n] : std::vector<std::pair<std::size_t, std::string>>{{1, "400"}, {2, "1600"}}) {
            if (r == 3 && c == 1) {
                EXPECT_EQ(rows[r][c], "") << "no such samples";
                continue;
            }
            std::string expected = shown(summaryValue(method, n, "rel_mean_mean"));
            const double sd = summaryValue(method, n, "rel_mean_sd");
            if (method == "tree")
                expected += " ± " + shown(sd);
            EXPECT_EQ(rows[r][c], expected) << method << " " << n;
        }

    // LaTeX: with --ci the interval, names escaped, powers of ten in math.
    const std::vector<std::string> latex = lines(run({"--format=latex", "--table=rel_mean,abs_mean", "--ci=0.9"}));
    ASSERT_EQ(latex.size(), 19u);
    EXPECT_EQ(latex[0], "% rel_mean by method and n: the mean's 90% interval (Student's t) over 1 to 2 samples");
    EXPECT_EQ(latex[1], "\\begin{tabular}{lrr}");
    EXPECT_EQ(latex[3], "method & n=400 & n=1600 \\\\");
    ASSERT_EQ(latex[5].substr(latex[5].size() - 3), " \\\\");
    const std::vector<std::string> tree = split(latex[5].substr(0, latex[5].size() - 3), "&");
    ASSERT_EQ(tree.size(), 3u);
    const std::string mean = tree[2].substr(1, tree[2].find(' ') - 1);
    EXPECT_NEAR(std::strtod(mean.c_str(), nullptr), summaryValue("tree", "1600", "rel_mean_mean"),
                0.001 * summaryValue("tree", "1600", "rel_mean_mean"));
    EXPECT_NE(tree[2].find(" ["), std::string::npos) << tree[2];
    EXPECT_EQ(latex[6].substr(0, latex[6].find(" &")), "x|y\\_\\&\\%");
    EXPECT_EQ(latex[16], "x|y\\_\\&\\% &  & $2.50\\times10^{-6}$ \\\\") << "one sample: no interval";

    // One key: a column for each figure; the pivot's names are checked.
    const std::string single = runReport({"--key=n=-n([0-9]+)-", "--table=rel_mean,within_share", a, samples[0],
                                          samples[2]})
                                   .out;
    EXPECT_EQ(lines(single).at(1).substr(0, 2 + 4), "  n   ") << single;
    const RunResult unknown = runReport({"--table=rel_maen", a, samples[0]});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("no numeric figure is named 'rel_maen'; close names: rel_max, rel_mean"), std::string::npos)
        << unknown.err;
    EXPECT_NE(runReport({"--table=rel_mean_ci_lo", a, samples[0]}).err.find("without the option that adds it"),
              std::string::npos);
    EXPECT_EQ(runReport({"--table=rel_mean", "--format=tsv", a, samples[0]}).status, 1);

    // A value of the last key heads a column: in text quoted, so that no
    // byte of a name reaches the terminal as a control sequence.
    const std::string red = dir.file("tree-n\x1b[31m-s1", values[0]);
    const std::string text = runReport({"--key=method=/([^/-]+)-n", "--key=n=-n([^-]+)-", "--table=rel_mean", a, red}).out;
    EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
    EXPECT_NE(text.find("'n='$'\\033''[31m'"), std::string::npos) << text;
    EXPECT_NE(text.find("over 1 sample"), std::string::npos) << "one sample is a table too";
}

// Several tolerances: within_R of each is the within of a run with that
// tolerance alone, for densities and logarithms, in the rows by decade,
// and over the repeated pairs of a file that ran short; within stays the
// first's, and a tolerance named twice is an option error.
TEST_F(ReportFormats, SeveralTolerancesCountAsRunsOfEach)
{
    std::mt19937_64 random(5);
    std::string as;
    std::string bs;
    for (int i = 0; i < 3000; ++i) {
        const double a = std::ldexp(1.0 + static_cast<double>(random() % 1000) / 1000, -static_cast<int>(random() % 30));
        const double b = a * (1.0 + std::ldexp(static_cast<double>(random() % 2001) - 1000.0, -13));
        char line[64];
        std::snprintf(line, sizeof line, "%.17g\n", a);
        as += line;
        std::snprintf(line, sizeof line, "%.17g\n", i < 2990 ? b : a);
        bs += i % 500 == 0 ? "x\n" : line;
    }
    const std::string a = dir.file("a.txt", as);
    const std::string b = dir.file("b.txt", bs);
    const std::string logs = dir.file("la.txt", "-1\n-2\n-700\n-1e3\n");
    const std::string logb = dir.file("lb.txt", "-1.01\n-2.2\n-700.001\n-1e3\n");
    const std::vector<std::string> tolerances = {"0.02", "0.001", "0.1", "0"};
    const auto withinOf = [&](std::vector<std::string> args, const std::string& column) {
        args.insert(args.begin(), "--format=tsv");
        const TsvTable table = parseTsv(runReport(args).out);
        const auto at = std::find(table.names.begin(), table.names.end(), column) - table.names.begin();
        std::vector<std::string> cells;
        for (const std::vector<std::string>& row : table.rows)
            cells.push_back(row.at(static_cast<std::size_t>(at)));
        return cells;
    };
    for (const std::vector<std::string>& files : std::vector<std::vector<std::string>>{
             {a, b}, {"--by-density", a, b}, {"-n", "3500", a, b}, {"--log", logs, logb}, {"--log", "--atol=1e-300", logs, logb}}) {
        std::vector<std::string> all = files;
        all.insert(all.begin(), "--rtol=0.02,0.001,0.1,0");
        for (const std::string& r : tolerances) {
            std::vector<std::string> alone = files;
            alone.insert(alone.begin(), "--rtol=" + r);
            EXPECT_EQ(withinOf(all, "within_" + r), withinOf(alone, "within")) << r << " " << files[0];
        }
        EXPECT_EQ(withinOf(all, "within"), withinOf(all, "within_0.02"));
    }
    const RunResult twice = runReport({"--rtol=0.1,0.1", a, b});
    EXPECT_EQ(twice.status, 1);
    EXPECT_NE(twice.err.find("invalid relative tolerance '0.1,0.1': it names a tolerance twice"), std::string::npos)
        << twice.err;
}

}  // namespace
