// calcGap_peak: the largest absolute difference between two lists of KDE
// values, with the k largest errors kept alongside.
#include "common/calcGap.h"

#include <cmath>
#include <cstdio>

namespace {

// The comparison is strict and ordered, so an equal error changes nothing and
// a NaN error never becomes the maximum.
struct PeakMeasure {
    float maxError;
    ErrorList largest;
};

void start(PeakMeasure& measure, const ToolArgs& args)
{
    measure.maxError = 0.0f;
    startErrorList(measure.largest, args.k);
}

void take(PeakMeasure& measure, float a, float b, std::int32_t i)
{
    const float error = std::fabs(a - b);
    if (error > measure.maxError)
        measure.maxError = error;
    offerError(measure.largest, {a, b, error, i});
}

void takeRepeated(PeakMeasure& measure, float a, float b, std::int32_t first, std::int32_t count)
{
    const float error = std::fabs(a - b);
    if (count > 0 && error > measure.maxError)
        measure.maxError = error;
    admitErrors(measure.largest, {a, b, error, first}, count);
}

float finish(PeakMeasure& measure, std::int32_t)
{
    return measure.maxError;
}

void usage(const char* programName)
{
    std::printf("Usage: %s kde_from_allpts kde_from_sample test_points_file "
                "#pts_in_test_file #values_per_point k\n",
                programName);
}

}  // namespace

int main(int argc, char** argv)
{
    return runTool<PeakMeasure>({"calcGap_peak", 6, usage,
                          "Prints the largest absolute difference |a - b| over the first n pairs of values;\n"
                          "a pair holding a NaN is left out."},
                         argc, argv);
}
