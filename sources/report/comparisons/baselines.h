// The baseline of each sample under --baseline=NAME=VALUE.
#pragma once

#include "options/reportOptions.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace calcgap::report {

// A sample compared with no other: a baseline itself, or any sample
// without --baseline.
constexpr std::size_t kNoBaseline = SIZE_MAX;

// Each sample's baseline, by its place among the samples: the sample whose
// key NAME is VALUE and whose other keys are its own (keys holds each
// sample's values, in the order of the options').  Of several such, the
// one named as the sample is with its capture of NAME replaced by VALUE;
// none, or several without that one, ends the process naming them.
std::vector<std::size_t> baselinesOf(const ReportOptions& options, const std::vector<std::vector<std::string>>& keys);

}  // namespace calcgap::report
