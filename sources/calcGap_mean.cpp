// calcGap_mean: the mean absolute difference between two lists of KDE values.
#include "common/calcGap.h"

#include <cmath>
#include <cstdio>

namespace {

// Single precision throughout, summed in pair order into one accumulator, so
// that results stay comparable with those computed before.
struct MeanMeasure {
    float sum;
};

void start(MeanMeasure& measure, const ToolArgs&)
{
    measure.sum = 0.0f;
}

void take(MeanMeasure& measure, float a, float b, std::int32_t)
{
    measure.sum = measure.sum + std::fabs(a - b);
}

void takeRepeated(MeanMeasure& measure, float a, float b, std::int32_t, std::int32_t count)
{
    measure.sum = addRepeatedly(measure.sum, std::fabs(a - b), count);
}

float finish(MeanMeasure& measure, std::int32_t n)
{
    return measure.sum / static_cast<float>(n);
}

void usage(const char* programName)
{
    std::printf("Usage: %s kde_from_allpts kde_from_sample test_points_file "
                "#pts_in_test_file #values_per_point\n",
                programName);
}

}  // namespace

int main(int argc, char** argv)
{
    return runTool<MeanMeasure>({"calcGap_mean", 5, usage,
                          "Prints the mean absolute difference |a - b| over the first n pairs of values,\n"
                          "summed in single precision in pair order."},
                         argc, argv);
}
