// The report's input: the first file and every sample opened as the sources
// they are and read once, in step, by the pair pass, with what each file
// held (its values, NaNs and infinities, what reading lost, where and why it
// ended) noted beside each sample's measures; then the summary over the
// samples and the requirements.
#include "evaluation/naturalOrder.h"
#include "evaluation/report.h"

#include "support/fail.h"
#include "evaluation/inputProblems.h"
#include "measures/laneClones.h"
#include "comparisons/baselines.h"
#include "comparisons/pairedComparison.h"
#include "reading/pairPass.h"
#include "support/quoting.h"
#include "evaluation/figureTable.h"
#include "inputs/reportSources.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>

namespace calcgap::report {

namespace {

struct ValueCounts {
    std::int64_t nans = 0;
    std::int64_t infinities = 0;
};


// One sample's file, its counts and its measures.
struct SampleRun {
    ValueSource source;
    ValueCounts counts;
    ErrorMeasures measures;
    // With --baseline: the sample it is compared with, the comparison, and
    // its relative errors of its last block, kept for the samples compared
    // with it until theirs come.
    std::size_t baseline = kNoBaseline;
    PairedComparison comparison;
    std::vector<std::size_t> comparedWithIt;
    std::unique_ptr<double[]> blockErrors;
    std::int64_t blockFirst = -1;
    std::int32_t blockPairs = 0;
    // Whether its last value stored is a zero from a nonzero value written:
    // what a repeated last pair repeats.
    bool lastZero = false;
};

// What the pass hands its blocks to.
struct EvaluationPass {
    const ValueSource* allpts = nullptr;
    ValueCounts allptsCounts;
    bool allptsLastZero = false;
    std::vector<std::unique_ptr<SampleRun>> samples;
    // Which pairs of the block have both values read as 0 from nonzero
    // values written.
    bool excluded[kPairBlock];
    bool logs = false;
    bool paired = false;
};

// Counts the NaNs and infinities among the values of reads reads of the
// source's last block, leaving out the reads that stored nothing (their
// slots repeat a value already counted).  The logarithm of a density of 0
// is minus infinity, and not a problem.
CALCGAP_LANE_CLONES void countValues(ValueCounts& counts, const ValueSource& source, const double* values,
                                     std::int32_t reads, bool logs)
{
    // A source that converts binary values has seen whether any was not
    // finite.
    if (source.events.allFinite)
        return;
    // Nearly every block holds finite values only, which one pass of
    // integer operations the compiler vectorizes tells, sparing it the loop
    // below: a double's exponent field, plus one unit of it, reaches the
    // sign bit only where the field is all ones (an infinity or a NaN).
    constexpr std::uint64_t kExponentField = 0x7ff0000000000000u;
    constexpr std::uint64_t kExponentUnit = std::uint64_t{1} << 52;
    std::uint64_t reached = 0;
    for (std::int32_t i = 0; i < reads; ++i)
        reached |= (std::bit_cast<std::uint64_t>(values[i]) & kExponentField) + kExponentUnit;
    if ((reached >> 63) == 0)
        return;
    std::int64_t nans = 0;
    std::int64_t infinities = 0;
    const bool anyFailed = source.events.anyFailed;
    for (std::int32_t i = 0; i < reads; ++i) {
        if (anyFailed && readFailed(source.events, i))
            continue;
        nans += std::isnan(values[i]) ? 1 : 0;
        infinities += std::isinf(values[i]) && !(logs && values[i] < 0) ? 1 : 0;
    }
    counts.nans += nans;
    counts.infinities += infinities;
}

// Notes whether the last value stored in the block's reads is a zero from a
// nonzero value written; a block that stored nothing leaves it as it was.
void noteLastValue(bool& lastZero, const ValueSource& source, std::int32_t reads)
{
    const ReadEvents& events = source.events;
    for (std::int32_t i = reads - 1; i >= 0; --i) {
        if (events.anyFailed && readFailed(events, i))
            continue;
        lastZero = zeroFromNonzero(events, i);
        return;
    }
}

void takeFirstReads(EvaluationPass& pass, const BlockReads& reads)
{
    countValues(pass.allptsCounts, *pass.allpts, reads.doubles, reads.count, pass.logs);
    noteLastValue(pass.allptsLastZero, *pass.allpts, reads.count);
}

// Compares the two samples over the points of the block both have.
void compareBlocks(SampleRun& sample, const SampleRun& baseline)
{
    takePairedBlock(sample.comparison, sample.blockErrors.get(), baseline.blockErrors.get(),
                    std::min(sample.blockPairs, baseline.blockPairs));
}

// Keeps the block's relative errors, and compares them with those of the
// samples on the other side of a comparison that have this block already:
// every sample's block of the same points comes in the same round of the
// pass, one after another, so the later of two finds the earlier's kept.
// Points past either's end, and the repeated last pairs of a file that
// ended before --count, are not compared.
void pairBlock(EvaluationPass& pass, std::size_t index, const MeasuredBlock& block)
{
    SampleRun& sample = *pass.samples[index];
    const Tolerances tolerances = tolerancesOf(sample.measures);
    for (std::int32_t j = 0; j < block.count; ++j)
        sample.blockErrors[j] = pairRelative(block.as[j], block.bs[j],
                                             block.excluded != nullptr && block.excluded[j], pass.logs, tolerances);
    sample.blockFirst = block.first;
    sample.blockPairs = block.count;
    if (sample.baseline != kNoBaseline && pass.samples[sample.baseline]->blockFirst == block.first)
        compareBlocks(sample, *pass.samples[sample.baseline]);
    for (const std::size_t other : sample.comparedWithIt)
        if (pass.samples[other]->blockFirst == block.first)
            compareBlocks(*pass.samples[other], sample);
}

void takePairs(EvaluationPass& pass, const PairBlock& block)
{
    SampleRun& sample = *pass.samples[block.sample];
    countValues(sample.counts, sample.source, block.values.doubles, block.values.count, pass.logs);
    noteLastValue(sample.lastZero, sample.source, block.values.count);
    const ReadEvents& a = pass.allpts->events;
    const ReadEvents& b = sample.source.events;
    const bool anyExcluded = a.anyZeroFromNonzero && b.anyZeroFromNonzero;
    if (anyExcluded)
        for (std::int32_t j = 0; j < block.pairs; ++j)
            pass.excluded[j] = zeroFromNonzero(a, j) && zeroFromNonzero(b, j);
    MeasuredBlock measured{block.allpts.doubles,
                           block.values.doubles,
                           pass.logs ? nullptr : block.allpts.floats,
                           pass.logs ? nullptr : block.values.floats,
                           anyExcluded ? pass.excluded : nullptr,
                           block.pairs,
                           block.first};
    measured.points = block.points;
    takeMeasuredPairs(sample.measures, measured);
    if (pass.paired)
        pairBlock(pass, block.sample, measured);
}

void takeRepeated(EvaluationPass& pass, const RepeatedPair& pair)
{
    SampleRun& sample = *pass.samples[pair.sample];
    // Every pair from here on repeats the last values stored, and so whether
    // they were zeros from nonzero values written.
    const bool excluded = pass.allptsLastZero && sample.lastZero;
    takeRepeatedPair(sample.measures, pair.aDouble, pair.bDouble, pair.a, pair.b, excluded, pair.first, pair.count,
                     pair.point);
}

// After a pass without a count, the rest of a regular file is read to count
// its values; a stream is not, since it may never end.
void countRest(ValueSource& source, ValueCounts& counts, float* floats, double* doubles, bool logs)
{
    if (!source.regularFile)
        return;
    while (!isSpent(source)) {
        const std::int32_t reads = readValues(source, floats, doubles, kPairBlock, true);
        countValues(counts, source, doubles, reads, logs);
    }
}

// What the file held; pairs is how many pairs the pass formed with it, over
// which a file spent before their end repeated its last value.
FileSummary summarizeFile(const ValueSource& source, const ValueCounts& counts, bool exact, std::int64_t pairs)
{
    const ReadEvents& events = source.events;
    FileSummary file;
    file.path = source.path;
    file.kind = source.description;
    file.values = storedValues(events);
    file.nans = counts.nans;
    file.infinities = counts.infinities;
    file.skippedReads = events.skippedReads;
    file.firstSkip = events.firstSkip;
    file.shortLines = events.shortLines;
    file.firstShortLine = events.firstShortLine;
    file.underflows = events.underflows;
    file.overflows = events.overflows;
    file.commentLines = events.commentLines;
    file.byteOrderMark = events.byteOrderMark;
    file.firstSkipLooksNamed = events.firstSkipLooksNamed;
    file.stop = events.stop;
    file.stopText = events.stopText;
    if (isSpent(source)) {
        file.end = events.end == SourceEnd::notANumber ? FileEnd::notANumber : FileEnd::endOfFile;
        if (exact)
            file.shortPairs = std::max<std::int64_t>(0, pairs - events.spentAt);
    } else {
        file.end = exact ? FileEnd::notReached : FileEnd::notCounted;
    }
    return file;
}

// A file likely meant to be read otherwise is told of on standard error
// too, where a script's user sees it whatever the format.
void noteReadingHint(const FileSummary& file)
{
    const std::string hint = readingHint(file);
    if (!hint.empty())
        warn((shellQuoted(file.path) + " was likely meant to be read otherwise").c_str(), hint.c_str());
}

// Each sample's keys, the first capture of each key's pattern in its name:
// found before any file is read, so that a name without one is an error at
// once.
std::vector<std::vector<std::string>> keysOf(const ReportOptions& options)
{
    const std::vector<SampleKey>& keys = options.output.keys;
    std::vector<std::vector<std::string>> values(options.samplePaths.size(), std::vector<std::string>(keys.size()));
    for (std::size_t s = 0; s < values.size(); ++s)
        for (std::size_t k = 0; k < keys.size(); ++k) {
            std::string reason;
            const char* const name = options.samplePaths[s];
            if (!keyOfName(keys[k], name, values[s][k], reason))
                fail((keys[k].name == "group" ? "cannot group " + shellQuoted(name)
                                              : "cannot find the " + keys[k].name + " of " + shellQuoted(name))
                         .c_str(),
                     ("the pattern " + shellQuoted(keys[k].pattern) + " " + reason).c_str());
        }
    return values;
}

// Each sample operand as the samples it stands for: a dataset pattern as
// each dataset it matches, and without --column a matrix of runs (a 2-D
// .npy file or HDF5 dataset of R columns) as R samples, "FILE#j".
void expandSamples(Evaluation& evaluation)
{
    ReportOptions& options = evaluation.options;
    std::vector<const char*> names;
    const bool byColumn = options.sources.column == 0 && options.sources.columnName == nullptr &&
                          options.sources.raw == RawType::none;
    for (const char* operand : options.samplePaths) {
        for (const std::string& each : operandsMatching(operand)) {
            const char* const opened = each == operand ? operand : evaluation.madeNames.emplace_back(each).c_str();
            const std::int64_t columns = byColumn ? arrayColumnsOf(opened, options.sources) : 0;
            if (columns <= 1) {
                names.push_back(opened);
                evaluation.inputs.push_back({opened, 0});
                continue;
            }
            if (columns > INT32_MAX)
                fail(("cannot read " + shellQuoted(opened)).c_str(), "it has more columns than any run could");
            for (std::int64_t j = 1; j <= columns; ++j) {
                names.push_back(evaluation.madeNames.emplace_back(each + "#" + std::to_string(j)).c_str());
                evaluation.inputs.push_back({opened, static_cast<std::int32_t>(j)});
            }
        }
    }
    options.samplePaths = std::move(names);
}

// The test points, read as the values are read, every value in order.
void openPoints(ValueSource& source, const ReportOptions& options)
{
    SourceOptions flat;
    flat.raw = options.sources.raw;
    flat.flatArrays = true;
    flat.rowWidth = options.dim;
    openReportSource(source, options.pointsPath, flat);
}

}  // namespace

namespace {

// Every file of the run as it is read, on the free store: the stack may be
// small.
struct RunFiles {
    ValueSource allpts;
    ValueSource points;
    PairPass pair;
    EvaluationPass pass;
};

// Reads every file once, in step, and makes each sample's report.
void readAndMeasure(Evaluation& evaluation, const ReportOptions& options, const std::vector<std::vector<std::string>>& keys,
                    const std::vector<std::size_t>& baselines)
{
    const auto files = std::make_unique<RunFiles>();
    EvaluationPass& pass = files->pass;
    openReportSource(files->allpts, options.allptsPath, options.truthSources);
    pass.allpts = &files->allpts;
    pass.logs = options.measures.logs;
    std::vector<ValueSource*> sources;
    // The tab-separated rows list no points, so they keep none.
    const std::int32_t worst = options.output.format == ReportFormat::tsv ? 0 : options.measures.worst;
    // The samples are measured one block at a time: they share the room
    // for a block's arithmetic.
    const std::shared_ptr<BlockScratch> scratch = makeBlockScratch();
    for (std::size_t s = 0; s < options.samplePaths.size(); ++s) {
        auto& sample = pass.samples.emplace_back(std::make_unique<SampleRun>());
        const SampleInput& input = evaluation.inputs[s];
        SourceOptions sourceOptions = options.sources;
        if (input.column > 0) {
            sourceOptions.column = input.column;
            sourceOptions.columnName = nullptr;
        }
        openReportSource(sample->source, input.operand, sourceOptions);
        // Named as the run it is: "runs.npy#2".
        sample->source.path = options.samplePaths[s];
        startErrorMeasures(sample->measures, options.measures, options.output.requirements, worst, options.dim,
                           options.output.format != ReportFormat::tsv, scratch);
        sources.push_back(&sample->source);
    }
    pass.paired = options.output.baselineText != nullptr;
    for (std::size_t s = 0; pass.paired && s < pass.samples.size(); ++s) {
        SampleRun& sample = *pass.samples[s];
        sample.baseline = baselines[s];
        if (sample.baseline != kNoBaseline) {
            startPairedComparison(sample.comparison);
            pass.samples[sample.baseline]->comparedWithIt.push_back(s);
        }
        sample.blockErrors = std::make_unique_for_overwrite<double[]>(kPairBlock);
    }
    evaluation.hasPoints = options.pointsPath != nullptr;
    if (evaluation.hasPoints)
        openPoints(files->points, options);

    // Counts of pairs, like the classic tools' n, stay within 32 bits.
    PairPass& pair = files->pair;
    startPairPass(pair, files->allpts, sources, options.countGiven ? options.count : INT32_MAX, options.countGiven,
                  true);
    if (evaluation.hasPoints)
        readPointsInStep(pair, files->points, options.dim);
    runPairPass(pair, pass);
    if (!pair.exact) {
        countRest(files->allpts, pass.allptsCounts, pair.as, pair.aDoubles, options.measures.logs);
        for (const std::unique_ptr<SampleRun>& sample : pass.samples)
            countRest(sample->source, sample->counts, pair.bs, pair.bDoubles, options.measures.logs);
    }

    evaluation.allpts = summarizeFile(files->allpts, pass.allptsCounts, pair.exact, pair.wanted);
    noteReadingHint(evaluation.allpts);
    if (evaluation.hasPoints) {
        // The points a pair was formed for: the reads of the first file
        // that found it spent formed none.
        std::int64_t pointsUsed = 0;
        for (const SampleLane& lane : pair.samples)
            pointsUsed = std::max(pointsUsed, lane.pairs);
        evaluation.points = summarizeFile(files->points, {}, true, pointsUsed * options.dim);
        evaluation.points.shortPairs = (evaluation.points.shortPairs + options.dim - 1) / options.dim;
        files->points = ValueSource{};
    }
    evaluation.samples.reserve(pass.samples.size());
    for (std::size_t s = 0; s < pass.samples.size(); ++s) {
        SampleRun& sample = *pass.samples[s];
        const std::int64_t pairs = pair.samples[s].pairs;
        Report& report = evaluation.samples.emplace_back();
        summarizeReport(options, sample.measures, pairs, report);
        report.allpts = evaluation.allpts;
        report.sample = summarizeFile(sample.source, sample.counts, pair.exact, pairs);
        noteReadingHint(report.sample);
        report.keys = keys[s];
        if (sample.baseline != kNoBaseline) {
            report.vs = shellQuoted(options.samplePaths[sample.baseline]);
            report.paired = pairedFigures(sample.comparison, options.measures.ciLevel);
        }
        settleClassicLines(report);
        for (Report& decade : report.byDensity) {
            decade.allpts = report.allpts;
            decade.sample = report.sample;
            decade.keys = report.keys;
        }
        // Each sample's measures go as soon as its report is made.
        sample.source = ValueSource{};
        pass.samples[s].reset();
    }
    files->allpts = ValueSource{};
}

}  // namespace

void runEvaluation(const ReportOptions& options, Evaluation& evaluation)
{
    // No stream may be two of the files.
    std::vector<const char*> paths{options.allptsPath};
    paths.insert(paths.end(), options.samplePaths.begin(), options.samplePaths.end());
    if (options.pointsPath != nullptr)
        paths.push_back(options.pointsPath);
    checkDistinctStreams(paths, true);

    // The samples in natural order, whatever order a shell's glob gave.
    evaluation.options = options;
    expandSamples(evaluation);
    std::vector<std::size_t> order(evaluation.inputs.size());
    for (std::size_t s = 0; s < order.size(); ++s)
        order[s] = s;
    std::vector<const char*>& samples = evaluation.options.samplePaths;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t x, std::size_t y) { return naturalLess(samples[x], samples[y]); });
    std::vector<const char*> sorted;
    std::vector<SampleInput> inputs;
    for (const std::size_t s : order) {
        sorted.push_back(samples[s]);
        inputs.push_back(evaluation.inputs[s]);
    }
    samples = std::move(sorted);
    evaluation.inputs = std::move(inputs);
    if (options.output.timesPath != nullptr)
        evaluation.times = readTimes(options.output.timesPath);
    const std::vector<std::vector<std::string>> keys = keysOf(evaluation.options);
    readAndMeasure(evaluation, evaluation.options, keys, baselinesOf(evaluation.options, keys));
    // The tables to paste and the pictures are drawn from the summary, of
    // one sample too.
    const bool drawn = !options.output.tableFigures.empty() || options.output.svgDir != nullptr ||
                       options.output.htmlPath != nullptr;
    if (options.output.summary || drawn || evaluation.samples.size() > 1)
        evaluation.summary = summarizeSamples(evaluation);
    evaluation.failures = checkRequirements(evaluation);
}

bool unequalLengths(const Report& report)
{
    return report.allpts.values != report.sample.values || report.allpts.end == FileEnd::notCounted ||
           report.sample.end == FileEnd::notCounted;
}

}  // namespace calcgap::report
