#include "plots/plotAxes.h"

#include <algorithm>
#include <cmath>

namespace calcgap::report {

namespace {

// The space beyond the values on a logarithmic axis: a share of their
// span, and at least this much of a decade.
constexpr double kPadShare = 0.06;
constexpr double kLogPad = 0.1;

}  // namespace

Axis axisOver(const std::vector<double>& values, bool log, double unit)
{
    Axis axis;
    axis.log = log;
    double least = INFINITY;
    double most = -INFINITY;
    for (const double v : values) {
        const double at = log ? std::log10(v) : v;
        least = std::min(least, at);
        most = std::max(most, at);
    }
    if (values.empty()) {
        least = log ? 0.0 : 1.0;
        most = least;
    }
    const double step = log ? 1.0 : unit;
    if (log) {
        // A little beyond the values, so that no point sits on the frame;
        // out to the powers of ten about them where that would leave fewer
        // than two powers of ten inside to read the scale by.
        const double pad = std::max(kLogPad, (most - least) * kPadShare);
        axis.lo = least - pad;
        axis.hi = most + pad;
        if (std::floor(axis.hi) - std::ceil(axis.lo) < 1.0) {
            axis.lo = std::floor(axis.lo);
            axis.hi = std::ceil(axis.hi);
        }
    } else {
        axis.lo = least - step / 2;
        axis.hi = most + step / 2;
    }
    // Ticks at whole steps, thinned to at most kMostTicks.
    const double first = std::ceil(axis.lo / step);
    const double last = std::floor(axis.hi / step);
    const double every = std::max(1.0, std::ceil((last - first + 1) / kMostTicks));
    for (double k = first; k <= last; k += every)
        // + 0.0: the tick at 0 is +0, labelled 0 rather than -0.
        axis.ticks.push_back(k * step + 0.0);
    return axis;
}

double unitPlace(const Axis& axis, double units)
{
    return (units - axis.lo) / (axis.hi - axis.lo);
}

double axisPlace(const Axis& axis, double value)
{
    if (axis.log && !(value > 0.0))
        return 0.0;
    return std::clamp(unitPlace(axis, axis.log ? std::log10(value) : value), 0.0, 1.0);
}

}  // namespace calcgap::report
