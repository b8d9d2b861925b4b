// Where the report's values come from: each operand opened as the kind of
// source it is, chosen in one place; the kinds are in sourceKinds.h.
#pragma once

#include "options/reportOptions.h"
#include "reading/valueSource.h"

#include <cstdint>
#include <string>
#include <vector>

namespace calcgap::report {

// Opens the operand as the source it names or holds: "-" is standard input;
// PATH:DATASET a dataset of an HDF5 file, unless the whole operand is a
// file; --raw reads every file as an array; a file that begins with the
// .npy magic is a .npy file; anything else is text, field by field with
// --column, --delimiter or --header.  What cannot be opened or read as
// that kind ends the process naming the file and the fault.
void openReportSource(ValueSource& source, const char* operand, const SourceOptions& options);

// The operands a sample operand stands for: PATH:PATTERN, where the pattern
// has *, ? or [...], every dataset of the HDF5 file it matches (none is an
// error naming it); any other operand, itself.
std::vector<std::string> operandsMatching(const char* operand);

// The columns of the 2-D array (a .npy file or an HDF5 dataset) that the
// operand names, found without reading its values; 0 for any other
// operand, which is not opened (a stream is left unread).
std::int64_t arrayColumnsOf(const char* operand, const SourceOptions& options);

}  // namespace calcgap::report
