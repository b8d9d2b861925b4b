// calcGap_report: every error measure of one list of KDE values against
// another, accurate, in one pass, with what went wrong in the input.
#include "commandLine.h"
#include "fail.h"
#include "formats.h"
#include "output.h"
#include "report.h"
#include "reportOptions.h"

#include <string>

int main(int argc, char** argv)
{
    startProgram("calcGap_report");
    const ReportOptions options = parseReportOptions(argc, argv);
    // On the free store, with everything it holds: the stack may be small.
    auto* const evaluated = new Evaluation;
    runEvaluation(options, *evaluated);
    const Evaluation& evaluation = *evaluated;
    OutputBuffer out;
    startOutput(out, "cannot write the report");
    switch (options.format) {
    case ReportFormat::text:
        writeText(evaluation, out);
        break;
    case ReportFormat::tsv:
        writeTsv(evaluation, out);
        break;
    case ReportFormat::json:
        writeJson(evaluation, out);
        break;
    }
    finishOutput(out);
    // The report is out; a failed gate outranks an input problem, so that a
    // script tells "worse than required" from "read with problems".
    int status = options.strict && inputHadProblems(evaluation) ? 2 : 0;
    if (!evaluation.failures.empty()) {
        const std::string checks = std::to_string(evaluation.failures.size()) + " of " +
                                   std::to_string(requirementChecks(evaluation));
        warn("requirements not met", (checks + " checks failed").c_str());
        status = 3;
    }
    delete evaluated;
    return status;
}
