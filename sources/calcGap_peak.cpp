// calcGap_peak: the largest absolute difference between two lists of KDE
// values, with the k largest errors kept alongside.  A NaN error never
// becomes the maximum.
#include "classic/classicTool.h"

namespace {

const calcgap::ToolTable kPeak = {"calcGap_peak",
                         "Prints the largest absolute difference |a - b| over the first n pairs of values;\n"
                         "a pair holding a NaN is left out.",
                         true};

}  // namespace

int main(int argc, char** argv)
{
    return calcgap::runTool(kPeak, argc, argv, calcgap::ClassicFigure::peak);
}
