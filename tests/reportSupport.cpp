#include "reportSupport.h"

#include <gtest/gtest.h>

#include <sstream>

RunResult runReport(const std::vector<std::string>& args)
{
    return runTool("calcGap_report", args);
}

nlohmann::json reportJson(std::vector<std::string> args)
{
    args.insert(args.begin(), "--format=json");
    const RunResult run = runReport(args);
    EXPECT_EQ(run.err, "");
    return nlohmann::json::parse(run.out);
}

namespace {

std::vector<std::string> splitFields(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

}  // namespace

TsvTable parseTsv(const std::string& text)
{
    TsvTable table;
    std::istringstream lines(text);
    std::string line;
    if (std::getline(lines, line))
        table.names = splitFields(line);
    while (std::getline(lines, line)) {
        table.rows.push_back(splitFields(line));
        EXPECT_EQ(table.rows.back().size(), table.names.size()) << line;
    }
    return table;
}

std::map<std::string, std::string> reportTsv(std::vector<std::string> args)
{
    args.insert(args.begin(), "--format=tsv");
    const RunResult run = runReport(args);
    EXPECT_EQ(run.err, "");
    const TsvTable table = parseTsv(run.out);
    std::map<std::string, std::string> fields;
    EXPECT_EQ(table.rows.size(), 1u) << run.out;
    if (table.rows.size() == 1)
        for (std::size_t i = 0; i < table.names.size(); ++i)
            fields[table.names[i]] = table.rows[0][i];
    return fields;
}
