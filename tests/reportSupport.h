// Helpers for the report's end-to-end tests: a run in each format, read back.
#pragma once

#include "testSupport.h"

#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <vector>

RunResult runReport(const std::vector<std::string>& args);

// The report as JSON; the run must succeed without a message.
nlohmann::json reportJson(std::vector<std::string> args);

// A report's tab-separated output: the header names and each data row.
struct TsvTable {
    std::vector<std::string> names;
    std::vector<std::vector<std::string>> rows;
};

TsvTable parseTsv(const std::string& text);

// The fields of the TSV report's one data row, by column name.
std::map<std::string, std::string> reportTsv(std::vector<std::string> args);
