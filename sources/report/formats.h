// The report's three formats, each written straight to standard output
// through a fixed buffer, so that a report of any length costs no memory
// beyond the figures and the worst points.
#pragma once

#include "output.h"
#include "report.h"

// How a file ended, in the words of the tab-separated and JSON formats.
inline const char* fileEndName(FileEnd end)
{
    switch (end) {
    case FileEnd::endOfFile:
        return "end";
    case FileEnd::notANumber:
        return "not-a-number";
    case FileEnd::notCounted:
        return "not-counted";
    case FileEnd::notReached:
        break;
    }
    return "not-reached";
}

// Aligned sections for a person, six significant digits, a bar chart of
// the relative errors by decade.
void writeText(const Report& report, OutputBuffer& out);

// One header line and one data line of tab-separated fields.
void writeTsv(const Report& report, OutputBuffer& out);

// One JSON object with the content of the text, at full precision.
void writeJson(const Report& report, OutputBuffer& out);
