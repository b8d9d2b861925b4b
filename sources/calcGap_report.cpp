// calcGap_report: every error measure of one list of KDE values against
// another, accurate, in one pass, with what went wrong in the input.
#include "commandLine.h"
#include "formats.h"
#include "output.h"
#include "report.h"
#include "reportOptions.h"

int main(int argc, char** argv)
{
    startProgram("calcGap_report");
    const ReportOptions options = parseReportOptions(argc, argv);
    const Report report = runReport(options);
    OutputBuffer out;
    startOutput(out, "cannot write the report");
    switch (options.format) {
    case ReportFormat::text:
        writeText(report, out);
        break;
    case ReportFormat::tsv:
        writeTsv(report, out);
        break;
    case ReportFormat::json:
        writeJson(report, out);
        break;
    }
    finishOutput(out);
    return options.strict && inputHadProblems(report) ? 2 : 0;
}
