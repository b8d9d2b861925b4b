// calcGap_report: every error measure of one list of KDE values against
// another, accurate, in one pass, with what went wrong in the input.
#include "report/report.h"


int main(int argc, char** argv)
{
    startProgram("calcGap_report");
    const ReportOptions options = parseReportOptions(argc, argv);
    const Report report = runReport(options);
    std::string out;
    switch (options.format) {
    case ReportFormat::text:
        out = formatText(report);
        break;
    case ReportFormat::tsv:
        out = formatTsv(report);
        break;
    case ReportFormat::json:
        out = formatJson(report);
        break;
    }
    writeOutput(out.data(), out.size(), "cannot write the report");
    return options.strict && inputHadProblems(report) ? 2 : 0;
}
