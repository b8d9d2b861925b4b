// calcGap_report's options.
#pragma once

#include <cstdint>

enum class ReportFormat { text, tsv, json };

// How --raw reads both files: native little-endian float32 or float64.
enum class RawType { none, f4, f8 };

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
    // The values are natural logarithms of the densities.
    bool logs = false;
    RawType raw = RawType::none;
    // The field (from 1) of each line, or of each row of a 2-D array, that
    // holds its value: by number, or by header name with --header.
    std::int32_t column = 0;
    const char* columnName = nullptr;
    // Fields are split at this byte rather than at white space.
    bool delimiterGiven = false;
    char delimiter = ',';
    // The first line of a text file names the fields rather than holding
    // values.
    bool header = false;
};

// Reads the command line; --help and --version print and exit with status
// 0, a bad option or value ends the process with status 1.
ReportOptions parseReportOptions(int argc, char** argv);
