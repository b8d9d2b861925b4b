// A plot as a self-contained SVG document.
#pragma once

#include "plots/plotData.h"

#include <string>

namespace calcgap::report {

// The SVG of the plot: a viewBox, a title, labelled axes, a legend, and a
// note of the values left out; every name escaped.  unit is the step of a
// linear axis's ticks (the decades a row by density spans).
std::string svgOf(const Plot& plot, double unit);

}  // namespace calcgap::report
