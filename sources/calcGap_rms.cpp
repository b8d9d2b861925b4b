// calcGap_rms: the root of the mean squared difference between two lists of
// KDE values.
#include "common/calcGap.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

// Single precision throughout, summed in pair order into one accumulator; a
// large difference squares to infinity as float arithmetic gives it.
struct RmsMeasure {
    float sum;
};

void start(RmsMeasure& measure, const ToolArgs&)
{
    measure.sum = 0.0f;
}

void take(RmsMeasure& measure, float a, float b, std::int32_t)
{
    const float error = absoluteDifference(a, b);
    measure.sum = measure.sum + error * error;
}

void takeRepeated(RmsMeasure& measure, float a, float b, std::int32_t, std::int32_t count)
{
    const float error = absoluteDifference(a, b);
    measure.sum = addRepeatedly(measure.sum, error * error, count);
}

float finish(RmsMeasure& measure, std::int32_t n)
{
    return std::sqrt(measure.sum / static_cast<float>(n));
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
    return runTool<RmsMeasure>({"calcGap_rms", 5, usage,
                          "Prints the root of the mean squared difference (a - b)^2 over the first n pairs\n"
                          "of values, summed in single precision in pair order."},
                         argc, argv);
}
