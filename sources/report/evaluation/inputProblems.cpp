// The problems of a run's input, one list for every format and --strict.
#include "evaluation/inputProblems.h"

#include "support/quoting.h"

#include <cstdio>

namespace calcgap::report {

std::string placeOf(const TextPosition& position)
{
    char text[96];
    std::snprintf(text, sizeof text, "line %llu, column %llu (byte %llu)",
                  static_cast<unsigned long long>(position.line), static_cast<unsigned long long>(position.column),
                  static_cast<unsigned long long>(position.offset));
    return text;
}

std::string readingHint(const FileSummary& file)
{
    if (file.end == FileEnd::notANumber && file.kind == "text" && file.values <= 1 && !file.stopText.empty()) {
        const char first = file.stopText.front();
        if (first == ',' || first == ';' || first == '|')
            return std::string("its fields are split at '") + first + "': read them with --delimiter='" + first +
                   "' and --column";
    }
    if (file.skippedReads > 0 && file.firstSkip.line == 1 && file.firstSkipLooksNamed &&
        file.kind.rfind("text, field", 0) == 0)
        return "its first line is not a number: if it names the fields, read it with --header";
    return "";
}

namespace {

// What went wrong in reading one file.
void fileProblems(std::vector<InputProblem>& problems, const std::string& name, const FileSummary& file)
{
    if (file.skippedReads > 0)
        problems.push_back({name + ": failed reads", std::to_string(file.skippedReads) +
                                                         " skipped (each pair repeats the value before), the "
                                                         "first at " + placeOf(file.firstSkip)});
    if (file.shortLines > 0)
        problems.push_back({name + ": short lines", counted(file.shortLines, "line", "lines") +
                                                        " without the field (each pair repeats the value "
                                                        "before), the first line " +
                                                        std::to_string(file.firstShortLine)});
    // A binary file holds its values as they are: what is below the normal
    // range there was written so.
    const bool text = file.kind.rfind("text", 0) == 0;
    if (file.underflows > 0)
        problems.push_back({name + ": underflow", counted(file.underflows, "value", "values") +
                                                      (text ? " read as 0 or below the normal range, from values "
                                                              "written nonzero"
                                                            : " below the normal range (subnormal), with fewer digits")});
    if (file.overflows > 0)
        problems.push_back({name + ": overflow", counted(file.overflows, "value", "values") +
                                                     " read as infinite, from finite values written"});
    if (file.nans > 0 || file.infinities > 0)
        problems.push_back({name + ": NaN, infinite",
                            std::to_string(file.nans) + ", " + counted(file.infinities, "value", "values")});
    if (file.end == FileEnd::notANumber)
        problems.push_back({name + ": stopped", "at text that is not a number, " + placeOf(file.stop) +
                                                    ": every later read repeats the value before"});
    if (const std::string hint = readingHint(file); !hint.empty())
        problems.push_back({name + ": read otherwise?", hint});
    if (file.shortPairs > 0)
        problems.push_back({name + ": ran short",
                            counted(file.shortPairs, "pair repeats", "pairs repeat") + " its last value"});
}

}  // namespace

std::vector<InputProblem> inputProblems(const Report& r)
{
    std::vector<InputProblem> problems;
    if (r.pairs == 0)
        problems.push_back({"no pairs", "nothing was compared"});
    fileProblems(problems, "a", r.allpts);
    fileProblems(problems, "b", r.sample);
    if (r.leftOut > 0)
        problems.push_back({"pairs left out", std::to_string(r.leftOut) + " (a NaN or infinite value)"});
    if (unequalLengths(r))
        problems.push_back({"unequal lengths", "the files hold different numbers of values"});
    return problems;
}

std::vector<InputProblem> pointsProblems(const Evaluation& evaluation)
{
    std::vector<InputProblem> problems;
    if (evaluation.hasPoints)
        fileProblems(problems, "points", evaluation.points);
    return problems;
}

bool inputHadProblems(const Report& report)
{
    return !inputProblems(report).empty();
}

bool inputHadProblems(const Evaluation& evaluation)
{
    for (const Report& report : evaluation.samples)
        if (inputHadProblems(report))
            return true;
    return !pointsProblems(evaluation).empty();
}

}  // namespace calcgap::report
