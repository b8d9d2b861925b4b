// The classic frame: arguments, files, one pass, one line.
#include "classic/classicTool.h"

#include "classic/errorList.h"
#include "support/output.h"
#include "reading/pairPass.h"
#include "reading/textSource.h"
#include "reading/valueSource.h"

namespace calcgap {

namespace {

// What the pass hands to the classic tools: the sums, and for the peak tool
// its list of the k largest errors.
struct ClassicMeasure {
    ClassicSums sums;
    ErrorList largest;
};

void takePairs(ClassicMeasure& measure, const PairBlock& block)
{
    const float* const as = block.allpts.floats;
    const float* const bs = block.values.floats;
    if (measure.largest.capacity == 0) {
        takeClassicPairs(measure.sums, as, bs, block.pairs);
        return;
    }
    takeClassicPairs(measure.sums, as, bs, block.pairs, [&](std::int32_t j, float error) {
        offerError(measure.largest, {as[j], bs[j], error, static_cast<std::int32_t>(block.first + j)});
    });
}

void takeRepeated(ClassicMeasure& measure, const RepeatedPair& pair)
{
    const float a = pair.a;
    const float b = pair.b;
    takeClassicRepeated(measure.sums, a, b, pair.count);
    admitErrors(measure.largest, {a, b, absoluteDifference(a, b), static_cast<std::int32_t>(pair.first)},
                static_cast<std::int32_t>(pair.count));
}

}  // namespace

int runTool(const ToolTable& tool, int argc, char** argv, ClassicFigure figure)
{
    const ToolArgs args = startTool(tool, argc, argv);

    checkDistinctStreams({args.allptsPath, args.samplePath}, false);
    ValueSource allpts;
    ValueSource sample;
    openTextSource(allpts, args.allptsPath, {});
    openTextSource(sample, args.samplePath, {});
    checkTestPointFile(args.testPointsPath);

    ClassicMeasure measure;
    measure.sums = classicSumsFor(figure);
    startErrorList(measure.largest, tool.readsK ? args.k : 0);
    PairPass pass;
    startPairPass(pass, allpts, {&sample}, args.n, true, false);
    runPairPass(pass, measure);
    printResult(classicResult(measure.sums, figure, args.n));
    return 0;
}

}  // namespace calcgap
