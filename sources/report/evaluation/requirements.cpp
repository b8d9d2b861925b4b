// The requirements of --require, checked on each sample and on each group's
// mean, and how many checks they made.
#include "evaluation/report.h"

#include "evaluation/figureTable.h"
#include "support/quoting.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace calcgap::report {

namespace {

// Whether the figure meets the requirement; a figure without a value does
// not.
bool meets(const Requirement& requirement, double value)
{
    if (std::isnan(value))
        return false;
    return requirement.atMost ? value <= requirement.value : value >= requirement.value;
}

// The group means that requirements are checked on: none of one sample.
std::size_t checkedGroups(const Evaluation& evaluation)
{
    std::size_t groups = 0;
    for (const SummaryRow& row : evaluation.summary)
        groups += row.decade > kNoDecade ? 1 : 0;
    return evaluation.samples.size() > 1 ? groups : 0;
}

}  // namespace

std::vector<FailedRequirement> checkRequirements(const Evaluation& evaluation)
{
    std::vector<FailedRequirement> failures;
    const std::vector<Requirement>& requirements = evaluation.options.output.requirements;
    for (std::size_t i = 0; i < requirements.size(); ++i) {
        const Requirement& requirement = requirements[i];
        for (std::size_t s = 0; s < evaluation.samples.size(); ++s) {
            // A quantile's requirement is decided from the exact counts at
            // its bound, not from the quantile as printed.
            const Report& sample = evaluation.samples[s];
            const auto gate = std::find_if(sample.quantileGates.begin(), sample.quantileGates.end(),
                                           [&](const QuantileGate& g) { return g.requirement == i; });
            const auto met = [&](double value) {
                return gate != sample.quantileGates.end() && !std::isnan(value) ? gate->meets
                                                                                : meets(requirement, value);
            };
            for (const Field& field : reportFields(sample, evaluation.options))
                if (field.figure->name == requirement.name && !met(field.number))
                    failures.push_back({requirement.text, false, s, field.number});
        }
        if (evaluation.samples.size() < 2)
            continue;
        for (std::size_t r = 0; r < evaluation.summary.size(); ++r) {
            const SummaryRow& row = evaluation.summary[r];
            for (const SummaryFigure& figure : row.figures)
                if (row.decade > kNoDecade && figure.name == requirement.name && !meets(requirement, figure.mean))
                    failures.push_back({requirement.text, true, r, figure.mean});
        }
    }
    return failures;
}

std::size_t requirementChecks(const Evaluation& evaluation)
{
    return evaluation.options.output.requirements.size() * (evaluation.samples.size() + checkedGroups(evaluation));
}

std::string requirementChecksMadeOn(const Evaluation& evaluation)
{
    const std::size_t requirements = evaluation.options.output.requirements.size();
    const std::size_t groups = checkedGroups(evaluation);
    std::string on = counted(static_cast<std::int64_t>(requirements), "requirement", "requirements") +
                     (requirements == 1 ? " on " : ", each on ") +
                     counted(static_cast<std::int64_t>(evaluation.samples.size()), "sample", "samples");
    if (groups > 0)
        on += " and " + counted(static_cast<std::int64_t>(groups), "group's mean", "groups' means");
    return on;
}

std::vector<const FailedRequirement*> failuresOf(const Evaluation& evaluation, bool summary, std::size_t index)
{
    std::vector<const FailedRequirement*> failed;
    for (const FailedRequirement& failure : evaluation.failures)
        if (failure.summary == summary && failure.index == index)
            failed.push_back(&failure);
    return failed;
}

}  // namespace calcgap::report
