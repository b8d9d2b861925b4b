// The axes of a plot: ranges that hold every point drawn, and ticks at
// powers of ten on a logarithmic axis or at whole steps on a linear one.
#pragma once

#include <vector>

namespace calcgap::report {

struct Axis {
    bool log = true;
    // The ends and the ticks in the axis's units: log10 of the values on a
    // logarithmic axis, the values themselves on a linear one.
    double lo = 0.0;
    double hi = 1.0;
    std::vector<double> ticks;
};

// At most this many ticks are labelled on an axis.
constexpr int kMostTicks = 8;

// An axis over the values (each drawable on it: positive where log): on a
// logarithmic axis a little beyond them, with a power of ten inside and
// ticks at powers of ten; on a linear one half a unit beyond each, ticks at
// multiples of unit.  Without values, about 1.
Axis axisOver(const std::vector<double>& values, bool log, double unit);

// Where a place in the axis's units lies along it (a tick's), 0 at lo and
// 1 at hi.
double unitPlace(const Axis& axis, double units);

// Where a value lies along the axis, 0 at lo and 1 at hi; a value beyond
// either end, or not positive on a logarithmic axis, at that end.
double axisPlace(const Axis& axis, double value);

}  // namespace calcgap::report
