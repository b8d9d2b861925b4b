// The K points with the largest absolute or relative error.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

struct WorstPoint {
    std::int64_t index;
    double a;
    double b;
    double absError;
    double relError;
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
    std::string what;
};

void startWorstList(WorstList& list, std::int32_t capacity, bool byRelative);
void offerPointSlow(WorstList& list, const WorstPoint& point);

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
std::vector<WorstPoint> takeWorstPoints(WorstList& list);
