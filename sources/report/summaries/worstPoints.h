// The K points with the largest absolute or relative error.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace calcgap::report {

struct WorstPoint {
    std::int64_t index;
    double a;
    double b;
    double absError;
    double relError;
    // Where the point's coordinates start in its list's, or -1 for none.
    std::int64_t coordinates = -1;
};

// The K points with the largest key, of equal keys the earliest first; a
// min-heap whose top is the point the next larger one pushes out.
struct WorstList {
    std::int32_t capacity = 0;
    bool byRelative = false;
    // A key must be greater to enter: below every key while there is room,
    // the top's key once the list is full, infinity when it keeps nothing.
    double threshold = -INFINITY;
    std::vector<WorstPoint> heap;
    // The test points' coordinates, dim a point, each point's at a place
    // that a point pushed out hands on to the one that takes its place.
    std::int32_t dim = 0;
    std::vector<double> coordinates;
    std::string what;
};

// The worst points in order, the worst first, and their coordinates.
struct WorstPoints {
    std::vector<WorstPoint> points;
    std::int32_t dim = 0;
    std::vector<double> coordinates;
};

void startWorstList(WorstList& list, std::int32_t capacity, bool byRelative, std::int32_t dim = 0);

// Offers the point, with its dim coordinates where the list keeps them.
void offerPointSlow(WorstList& list, WorstPoint point, const double* coordinates);

inline double worstKey(const WorstList& list, const WorstPoint& point)
{
    return list.byRelative ? point.relError : point.absError;
}

// One comparison for the points that do not enter, which are nearly all.
inline bool wouldEnter(const WorstList& list, double key)
{
    return key > list.threshold;
}

// The points in order, the worst first, sorted where they lie: the list is
// spent.
WorstPoints takeWorstPoints(WorstList& list);

}  // namespace calcgap::report
