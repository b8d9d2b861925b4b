// What the figures of a run show, drawn from its summary and samples: the
// chosen figure (--plot) against a numeric key, against the decade of the
// true density, and against time; the pictures and the text's character
// plot are drawn from these alone.
#pragma once

#include "evaluation/report.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace calcgap::report {

// A point, and its band (the interval, or mean -+ sd); NaN where it has
// none.
struct PlotPoint {
    double x = NAN;
    double y = NAN;
    double lo = NAN;
    double hi = NAN;
};

// One line: a combination of the keys the plot is not drawn against.
struct PlotSeries {
    std::string name;
    std::vector<PlotPoint> points;
};

enum class PlotKind { size, density, time };

struct Plot {
    PlotKind kind = PlotKind::size;
    // The file it is written to, and what it says of itself.
    const char* file = nullptr;
    std::string title;
    std::string xLabel;
    std::string yLabel;
    bool xLog = true;
    bool yLog = true;
    // Points are joined by lines (against size and density), or stand
    // alone with the frontier of the fastest at each accuracy (time).
    bool joined = true;
    std::vector<PlotSeries> series;
    std::vector<PlotPoint> frontier;
    // What the bands are, for the legend; empty without bands.
    std::string bandNote;
    // Values that could not be drawn: empty, not finite, or not positive
    // on a logarithmic axis; and samples or rows without a time.
    std::int64_t leftOut = 0;
    std::int64_t untimed = 0;
};

// The name of the key the size plot is drawn against: the last whose every
// value is a positive number; empty where none is.
std::string numericKey(const Evaluation& evaluation);

// The figure of --plot against the numeric key, a line for each
// combination of the other keys.
Plot sizePlot(const Evaluation& evaluation, const std::string& key);

// The plots the run has: against the numeric key where there is one, by
// density with --by-density, against time with --times.
std::vector<Plot> runPlots(const Evaluation& evaluation);

}  // namespace calcgap::report
