// The K points with the largest absolute or relative error.
#include "worstPoints.h"

#include "fail.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// Heap order with the point to push out next on top: the smallest key, and
// of equal keys the latest point.
bool outranks(const WorstList& list, const WorstPoint& x, const WorstPoint& y)
{
    const double kx = worstKey(list, x);
    const double ky = worstKey(list, y);
    if (kx != ky)
        return kx > ky;
    return x.index < y.index;
}

}  // namespace

void startWorstList(WorstList& list, std::int32_t capacity, bool byRelative)
{
    list = WorstList{};
    list.capacity = capacity;
    list.byRelative = byRelative;
    list.what = "cannot keep the " + std::to_string(capacity) + " worst points";
    list.threshold = capacity > 0 ? -INFINITY : INFINITY;
}

void offerPointSlow(WorstList& list, const WorstPoint& point)
{
    const auto order = [&list](const WorstPoint& x, const WorstPoint& y) { return outranks(list, x, y); };
    if (static_cast<std::int64_t>(list.heap.size()) < list.capacity) {
        makeRoomForOne(list.heap, static_cast<std::size_t>(list.capacity), list.what.c_str());
        list.heap.push_back(point);
        std::push_heap(list.heap.begin(), list.heap.end(), order);
    } else if (!list.heap.empty() && outranks(list, point, list.heap.front())) {
        std::pop_heap(list.heap.begin(), list.heap.end(), order);
        list.heap.back() = point;
        std::push_heap(list.heap.begin(), list.heap.end(), order);
    }
    if (static_cast<std::int64_t>(list.heap.size()) == list.capacity)
        list.threshold = worstKey(list, list.heap.front());
}

std::vector<WorstPoint> takeWorstPoints(WorstList& list)
{
    std::vector<WorstPoint> points = std::move(list.heap);
    std::sort(points.begin(), points.end(),
              [&list](const WorstPoint& x, const WorstPoint& y) { return outranks(list, x, y); });
    list.heap.clear();
    return points;
}
