// Where the report's values come from: each operand opened as the kind of
// source it is, chosen in one place; the kinds are in sourceKinds.h.
#pragma once

#include "options/reportOptions.h"
#include "reading/valueSource.h"

namespace calcgap::report {

// Opens the operand as the source it names or holds: "-" is standard input;
// PATH:DATASET a dataset of an HDF5 file, unless the whole operand is a
// file; --raw reads every file as an array; a file that begins with the
// .npy magic is a .npy file; anything else is text, field by field with
// --column, --delimiter or --header.  What cannot be opened or read as
// that kind ends the process naming the file and the fault.
void openReportSource(ValueSource& source, const char* operand, const SourceOptions& options);

}  // namespace calcgap::report
