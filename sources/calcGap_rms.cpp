// calcGap_rms: the root of the mean squared difference between two lists of
// KDE values.  A large difference squares to infinity as float arithmetic
// gives it.
#include "classic/classicTool.h"

namespace {

const calcgap::ToolTable kRms = {"calcGap_rms",
                        "Prints the root of the mean squared difference (a - b)^2 over the first n pairs\n"
                        "of values, summed in single precision in pair order.",
                        false};

}  // namespace

int main(int argc, char** argv)
{
    return calcgap::runTool(kRms, argc, argv, calcgap::ClassicFigure::rms);
}
