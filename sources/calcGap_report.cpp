// calcGap_report: every error measure of one list of KDE values against
// another, accurate, in one pass, with what went wrong in the input.
#include "support/commandLine.h"
#include "support/fail.h"
#include "evaluation/figureTable.h"
#include "formats/formats.h"
#include "support/output.h"
#include "evaluation/report.h"
#include "options/reportOptions.h"
#include "pictures/pictureFiles.h"

#include <cstring>
#include <memory>
#include <pthread.h>
#include <sys/resource.h>
#include <string>

using namespace calcgap;
using namespace calcgap::report;

namespace {

struct Run {
    int argc;
    char** argv;
    int status;
};

void* runReport(void* context)
{
    Run& run = *static_cast<Run*>(context);
    ReportOptions options = parseReportOptions(run.argc, run.argv);
    resolveRequirements(options);
    resolveColumns(options);
    resolveKeys(options);
    resolveTableFigures(options);
    // On the free store, with everything it holds.
    const auto evaluation = std::make_unique<Evaluation>();
    runEvaluation(options, *evaluation);
    writePictures(*evaluation);
    OutputBuffer out;
    startOutput(out, "cannot write the report");
    switch (options.output.format) {
    case ReportFormat::text:
        writeText(*evaluation, out);
        break;
    case ReportFormat::tsv:
        writeTsv(*evaluation, out);
        break;
    case ReportFormat::json:
        writeJson(*evaluation, out);
        break;
    case ReportFormat::markdown:
        writeMarkdown(*evaluation, out);
        break;
    case ReportFormat::latex:
        writeLatex(*evaluation, out);
        break;
    }
    finishOutput(out);
    // The report is out; a failed gate outranks an input problem, so that a
    // script tells "worse than required" from "read with problems".
    run.status = options.output.strict && inputHadProblems(*evaluation) ? 2 : 0;
    if (!evaluation->failures.empty()) {
        const std::string checks = std::to_string(evaluation->failures.size()) + " of " +
                                   std::to_string(requirementChecks(*evaluation)) + " checks failed (" +
                                   requirementChecksMadeOn(*evaluation) + ")";
        warn("requirements not met", checks.c_str());
        run.status = 3;
    }
    return nullptr;
}

// The libraries the report calls (regular expressions, HDF5, and the
// dynamic loader binding their functions at their first call) need more
// than the smallest stack a C program runs in, which the tools run under:
// given less than this, the report runs on a stack of its own, mapped as
// it is touched.
constexpr std::size_t kReportStack = std::size_t{1} << 20;

bool stackIsSmall()
{
    rlimit limit{};
    return ::getrlimit(RLIMIT_STACK, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < kReportStack;
}

}  // namespace

int main(int argc, char** argv)
{
    startProgram("calcGap_report");
    Run run{argc, argv, 0};
    // Nearly always the stack is megabytes, and a thread would only cost
    // the start of every run.
    if (!stackIsSmall()) {
        runReport(&run);
        return run.status;
    }
    pthread_attr_t attributes;
    pthread_t thread;
    int error = ::pthread_attr_init(&attributes);
    if (error == 0)
        error = ::pthread_attr_setstacksize(&attributes, kReportStack);
    if (error == 0)
        error = ::pthread_create(&thread, &attributes, runReport, &run);
    if (error == 0)
        error = ::pthread_join(thread, nullptr);
    if (error != 0)
        fail("cannot start the report", std::strerror(error));
    return run.status;
}
