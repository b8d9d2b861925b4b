// The three classic tools' figures, computed as they compute them: single
// precision, one running sum in pair order, every pair counted, so that the
// report prints exactly their lines beside its accurate figures.
#include "report.h"

#include <cmath>
#include <cstdio>

void takeClassicBlock(ClassicLines& classic, const float* as, const float* bs, std::int32_t count)
{
    float sum = classic.sum;
    float squares = classic.squares;
    float peak = classic.peak;
    for (std::int32_t j = 0; j < count; ++j) {
        const float error = absoluteDifference(as[j], bs[j]);
        sum = sum + error;
        squares = squares + error * error;
        if (error > peak)
            peak = error;
    }
    classic = {sum, squares, peak};
}

void takeClassicRepeated(ClassicLines& classic, float a, float b, std::int64_t count)
{
    const float error = absoluteDifference(a, b);
    classic.sum = addRepeatedly(classic.sum, error, count);
    classic.squares = addRepeatedly(classic.squares, error * error, count);
    if (count > 0 && error > classic.peak)
        classic.peak = error;
}

float classicMean(const ClassicLines& classic, std::int32_t n)
{
    return classic.sum / static_cast<float>(n);
}

float classicRms(const ClassicLines& classic, std::int32_t n)
{
    return std::sqrt(classic.squares / static_cast<float>(n));
}

std::string classicLine(float result)
{
    char line[64];
    std::snprintf(line, sizeof line, "%f", static_cast<double>(result));
    return line;
}
