// The K points with the largest absolute or relative error.
#include "summaries/worstPoints.h"

#include "support/fail.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace calcgap::report {

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

void startWorstList(WorstList& list, std::int32_t capacity, bool byRelative, std::int32_t dim)
{
    list = WorstList{};
    list.capacity = capacity;
    list.byRelative = byRelative;
    list.dim = dim;
    list.what = "cannot keep the " + std::to_string(capacity) + " worst points";
    list.threshold = capacity > 0 ? -INFINITY : INFINITY;
}

void offerPointSlow(WorstList& list, WorstPoint point, const double* coordinates)
{
    const auto order = [&list](const WorstPoint& x, const WorstPoint& y) { return outranks(list, x, y); };
    const auto dim = static_cast<std::size_t>(list.dim);
    if (static_cast<std::int64_t>(list.heap.size()) < list.capacity) {
        makeRoomForOne(list.heap, static_cast<std::size_t>(list.capacity), list.what.c_str());
        if (dim > 0 && coordinates != nullptr) {
            point.coordinates = static_cast<std::int64_t>(list.coordinates.size());
            describeAllocation(list.what.c_str());
            list.coordinates.insert(list.coordinates.end(), coordinates, coordinates + dim);
            describeAllocation(nullptr);
        }
        list.heap.push_back(point);
        std::push_heap(list.heap.begin(), list.heap.end(), order);
    } else if (!list.heap.empty() && outranks(list, point, list.heap.front())) {
        std::pop_heap(list.heap.begin(), list.heap.end(), order);
        point.coordinates = list.heap.back().coordinates;
        if (point.coordinates >= 0)
            std::copy(coordinates, coordinates + dim,
                      list.coordinates.begin() + static_cast<std::ptrdiff_t>(point.coordinates));
        list.heap.back() = point;
        std::push_heap(list.heap.begin(), list.heap.end(), order);
    }
    if (static_cast<std::int64_t>(list.heap.size()) == list.capacity)
        list.threshold = worstKey(list, list.heap.front());
}

WorstPoints takeWorstPoints(WorstList& list)
{
    WorstPoints worst;
    worst.points = std::move(list.heap);
    std::sort(worst.points.begin(), worst.points.end(),
              [&list](const WorstPoint& x, const WorstPoint& y) { return outranks(list, x, y); });
    worst.dim = list.dim;
    worst.coordinates = std::move(list.coordinates);
    list.heap.clear();
    return worst;
}

}  // namespace calcgap::report
