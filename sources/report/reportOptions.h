// calcGap_report's options.
#pragma once

#include <cstdint>

enum class ReportFormat { text, tsv, json };

struct ReportOptions {
    const char* allptsPath = nullptr;
    const char* samplePath = nullptr;
    // Exactly count pairs, as the classic tools compare them; otherwise as
    // many as the shorter file yields.
    bool countGiven = false;
    std::int32_t count = 0;
    std::int32_t worst = 10;
    double floor = 0.0;
    double rtol = 0.01;
    double atol = 0.0;
    ReportFormat format = ReportFormat::text;
    bool strict = false;
};

// Reads the command line; --help and --version print and exit with status
// 0, a bad option or value ends the process with status 1.
ReportOptions parseReportOptions(int argc, char** argv);
