// The list of the k largest errors of the peak tool.
#include "classic/errorList.h"

#include "support/fail.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace calcgap {

namespace {

// Heap order with the list's last entry on top: the smallest error, and of
// equal errors the oldest, since a newer one always goes ahead of them.
bool aheadOf(const ErrorRun& x, const ErrorRun& y)
{
    if (x.first.absError != y.first.absError)
        return x.first.absError > y.first.absError;
    return x.first.pointIndex > y.first.pointIndex;
}

}  // namespace

void startErrorList(ErrorList& list, std::int32_t k)
{
    list = ErrorList{};
    list.capacity = std::max(k, 0);
    list.threshold = k > 0 ? 0.0f : HUGE_VALF;
    list.what = "cannot keep the " + std::to_string(list.capacity) + " largest errors";
}

void admitErrors(ErrorList& list, const ErrorEntry& entry, std::int32_t count)
{
    // An empty slot holds an error of 0: a NaN or zero error never enters.
    if (!(entry.absError > 0.0f) || count <= 0 || list.capacity == 0)
        return;
    std::int64_t entered = std::min<std::int64_t>(count, list.capacity - list.size);
    list.size += entered;
    std::int64_t left = count - entered;
    // Each further copy pushes out the last entry while that one is smaller.
    while (left > 0 && !list.heap.empty() && list.heap.front().first.absError < entry.absError) {
        std::pop_heap(list.heap.begin(), list.heap.end(), aheadOf);
        ErrorRun& last = list.heap.back();
        const std::int32_t out = static_cast<std::int32_t>(std::min<std::int64_t>(last.count, left));
        last.count -= out;
        last.first.pointIndex += out;
        entered += out;
        left -= out;
        if (last.count == 0)
            list.heap.pop_back();
        else
            std::push_heap(list.heap.begin(), list.heap.end(), aheadOf);
    }
    if (entered > 0) {
        makeRoomForOne(list.heap, static_cast<std::size_t>(list.capacity), list.what.c_str());
        list.heap.push_back({entry, static_cast<std::int32_t>(entered)});
        std::push_heap(list.heap.begin(), list.heap.end(), aheadOf);
    }
    list.threshold = list.size < list.capacity ? 0.0f : list.heap.front().first.absError;
}

std::vector<ErrorEntry> listErrors(const ErrorList& list)
{
    std::vector<ErrorEntry> entries;
    for (const ErrorRun& run : list.heap) {
        ErrorEntry entry = run.first;
        for (std::int32_t i = 0; i < run.count; ++i, ++entry.pointIndex)
            entries.push_back(entry);
    }
    std::sort(entries.begin(), entries.end(), [](const ErrorEntry& x, const ErrorEntry& y) {
        return aheadOf({x, 1}, {y, 1});
    });
    return entries;
}

}  // namespace calcgap
