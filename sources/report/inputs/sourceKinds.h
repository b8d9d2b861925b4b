// What the report's kinds of source share, and how each is opened: the
// dispatcher (reportSources.cpp) calls the openers, each in a file of its
// own, and they build on what is here.
#pragma once

#include "options/reportOptions.h"
#include "reading/inputBuffer.h"
#include "reading/valueSource.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace calcgap::report {

// The first bytes of a stream, read to tell its kind, which the source
// chosen then reads first: one read's worth, so that a source sees as much
// of its file at its start as it would have read itself.
struct Prefix {
    std::vector<unsigned char> bytes;
    // Bytes of it the source has used.
    std::size_t used = 0;
};

// Reads length bytes, from the prefix while it lasts, then from fd; false
// when the data ends first.
bool readFromPrefix(Prefix& prefix, int fd, const char* path, unsigned char* out, std::size_t length);

// The kinds, each in its own file; fd is open, and prefix holds what was
// read of it already.
void openTextFile(ValueSource& source, int fd, const char* path, const Prefix& prefix, const SourceOptions& options);
void openColumnFile(ValueSource& source, int fd, const char* path, const Prefix& prefix, const SourceOptions& options);
void openNpyFile(ValueSource& source, int fd, const char* path, Prefix& prefix, const SourceOptions& options);
void openRawFile(ValueSource& source, int fd, const char* path, const Prefix& prefix, RawType type);
void openHdf5Dataset(ValueSource& source, const char* operand, std::size_t pathLength, const SourceOptions& options);

// The datasets of the HDF5 file whose paths ("/runs/r1") the shell pattern
// matches, a * within one group's names, in the file's order of names.
std::vector<std::string> hdf5DatasetsMatching(const char* path, const char* pattern);

// The column of a 2-D array of that many columns that the options choose,
// from 0, or -1 for every column of a row in order (flatArrays); where the
// array cannot give it, reason says why, of the array as subject names it
// ("its array has 3 columns: choose one with --column").
std::int64_t chooseArrayColumn(const SourceOptions& options, const std::string& subject, std::int64_t columns,
                               std::string& reason);

// "cannot read 'PATH': REASON", status 1.
[[noreturn]] void failSource(const char* path, const std::string& reason);

// An array of float32 or float64 values, of either byte order, as .npy files
// and --raw hold them: the value of each row is element column of columns.
// count is the rows, or -1 to read up to the end of the data, which must
// then end on a whole row.
struct ArrayLayout {
    std::size_t elementSize;
    bool swapBytes;
    std::int64_t columns;
    std::int64_t column;
    std::int64_t rows;
    // Values a row of the file holds where its elements are read as one
    // column (the test points), for what is said of its rows.
    std::int64_t valuesPerRow = 1;
    // What the report says the file was read as.
    std::string description;
};

// first holds the array's first bytes, read already.
void openArray(ValueSource& source, int fd, const char* path, const unsigned char* first, std::size_t firstLength,
               const ArrayLayout& layout);

}  // namespace calcgap::report
