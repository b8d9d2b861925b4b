// calcGap_mean: the mean absolute difference between two lists of KDE values.
#include "classic/classicTool.h"

namespace {

const calcgap::ToolTable kMean = {"calcGap_mean",
                         "Prints the mean absolute difference |a - b| over the first n pairs of values,\n"
                         "summed in single precision in pair order.",
                         false};

}  // namespace

int main(int argc, char** argv)
{
    return calcgap::runTool(kMean, argc, argv, calcgap::ClassicFigure::mean);
}
