// calcGap_rms: the root of the mean squared difference between two lists of
// KDE values.
#include "common/calcGap.h"

#include <cmath>

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
    const float error = std::fabs(a - b);
    measure.sum = measure.sum + error * error;
}

void takeRepeated(RmsMeasure& measure, float a, float b, std::int32_t, std::int32_t count)
{
    const float error = std::fabs(a - b);
    measure.sum = addRepeatedly(measure.sum, error * error, count);
}

float finish(RmsMeasure& measure, std::int32_t n)
{
    return std::sqrt(measure.sum / static_cast<float>(n));
}

}  // namespace

int main(int argc, char** argv)
{
    return runTool<RmsMeasure>({"calcGap_rms", false}, argc, argv);
}
