// The peak tool's list of the k largest errors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace calcgap {

struct ErrorEntry {
    float kdeAll;
    float kdeSample;
    float absError;
    std::int32_t pointIndex;
};

// Consecutive pairs that are the same pair enter the list together; a run
// stands for count entries with point indices first.pointIndex upwards.
struct ErrorRun {
    ErrorEntry first;
    std::int32_t count;
};

// The k largest errors, ordered by absError from the largest down, a newer
// entry ahead of every kept entry with an equal error.  Slots not yet filled
// hold an error of 0, so only a positive error enters, never a NaN; a full
// list takes an error only when it is greater than its smallest, and then
// the oldest of the smallest drops out.  Kept as a min-heap of runs keyed by
// (absError, oldest point index), whose top is always the last entry.
struct ErrorList {
    std::int32_t capacity = 0;
    std::int64_t size = 0;
    // Error a pair must exceed to enter: the last entry's, 0 while there is
    // room, infinity when the list keeps nothing.
    float threshold = 0.0f;
    std::vector<ErrorRun> heap;
    // What a failed growth of the heap reports.
    std::string what;
};

void startErrorList(ErrorList& list, std::int32_t k);

// Offers count consecutive copies of entry, with point indices
// entry.pointIndex upwards, one after the other.
void admitErrors(ErrorList& list, const ErrorEntry& entry, std::int32_t count);

inline void offerError(ErrorList& list, const ErrorEntry& entry)
{
    if (entry.absError > list.threshold)
        admitErrors(list, entry, 1);
}

// The entries in list order, entry 0 the largest.
std::vector<ErrorEntry> listErrors(const ErrorList& list);

}  // namespace calcgap
