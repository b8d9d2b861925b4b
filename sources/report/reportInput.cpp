// The report's input: both files opened as the sources they are, read once
// by the pair pass, with what each file held (its values, NaNs and
// infinities, what reading lost, where and why it ended) noted beside the
// measures.
#include "report.h"

#include "pairPass.h"
#include "reportSources.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>

namespace {

struct ValueCounts {
    std::int64_t nans = 0;
    std::int64_t infinities = 0;
};

// What the pass hands its blocks to: the measures, and each file's count
// of non-finite values among those it stored.
struct ReportPass {
    ErrorMeasures measures;
    const ValueSource* allpts = nullptr;
    const ValueSource* sample = nullptr;
    ValueCounts allptsCounts;
    ValueCounts sampleCounts;
    // Which pairs of the block have both values read as 0 from nonzero
    // values written.
    bool excluded[kPairBlock];
    // Whether each file's last value stored is a zero from a nonzero value
    // written: what a repeated last pair repeats.
    bool allptsLastZero = false;
    bool sampleLastZero = false;
    bool logs = false;
};

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

// Counts the NaNs and infinities among the values of reads reads of the
// source's last block, leaving out the reads that stored nothing (their
// slots repeat a value already counted).  The logarithm of a density of 0
// is minus infinity, and not a problem.
void countValues(ValueCounts& counts, const ValueSource& source, const double* values, std::int32_t reads, bool logs)
{
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

void takePairs(ReportPass& pass, const PairBlock& block)
{
    countValues(pass.allptsCounts, *pass.allpts, block.allpts.doubles, block.allpts.count, pass.logs);
    countValues(pass.sampleCounts, *pass.sample, block.sample.doubles, block.sample.count, pass.logs);
    noteLastValue(pass.allptsLastZero, *pass.allpts, block.allpts.count);
    noteLastValue(pass.sampleLastZero, *pass.sample, block.sample.count);
    const ReadEvents& a = pass.allpts->events;
    const ReadEvents& b = pass.sample->events;
    const bool anyExcluded = a.anyZeroFromNonzero && b.anyZeroFromNonzero;
    if (anyExcluded)
        for (std::int32_t j = 0; j < block.pairs; ++j)
            pass.excluded[j] = zeroFromNonzero(a, j) && zeroFromNonzero(b, j);
    takeMeasuredPairs(pass.measures,
                      {block.allpts.doubles, block.sample.doubles, pass.logs ? nullptr : block.allpts.floats,
                       pass.logs ? nullptr : block.sample.floats, anyExcluded ? pass.excluded : nullptr, block.pairs,
                       block.first});
}

void takeRepeated(ReportPass& pass, const RepeatedPair& pair)
{
    // Every pair from here on repeats the last values stored, and so whether
    // they were zeros from nonzero values written.
    const bool excluded = pass.allptsLastZero && pass.sampleLastZero;
    takeRepeatedPair(pass.measures, pair.aDouble, pair.bDouble, pair.a, pair.b, excluded, pair.first, pair.count);
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

FileSummary summarizeFile(const ValueSource& source, const ValueCounts& counts, const PairPass& pass)
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
    file.stop = events.stop;
    file.stopText = events.stopText;
    if (isSpent(source)) {
        file.end = events.end == SourceEnd::notANumber ? FileEnd::notANumber : FileEnd::endOfFile;
        if (pass.exact)
            file.shortPairs = std::max<std::int64_t>(0, pass.pairs - events.spentAt);
    } else {
        file.end = pass.exact ? FileEnd::notReached : FileEnd::notCounted;
    }
    return file;
}

}  // namespace

Report runReport(const ReportOptions& options)
{
    checkDistinctStreams(options.allptsPath, options.samplePath, true);
    ValueSource allpts;
    ValueSource sample;
    openReportSource(allpts, options.allptsPath, options);
    openReportSource(sample, options.samplePath, options);

    auto* const consumer = new ReportPass;
    consumer->allpts = &allpts;
    consumer->sample = &sample;
    consumer->logs = options.logs;
    // The tab-separated row lists no points, so it keeps none.
    startErrorMeasures(consumer->measures, options, options.format == ReportFormat::tsv ? 0 : options.worst);
    // Counts of pairs, like the classic tools' n, stay within 32 bits.
    PairPass pass;
    startPairPass(pass, allpts, sample, options.countGiven ? options.count : INT32_MAX, options.countGiven, true);
    runPairPass(pass, *consumer);
    if (!pass.exact) {
        countRest(allpts, consumer->allptsCounts, pass.as, pass.aDoubles, options.logs);
        countRest(sample, consumer->sampleCounts, pass.bs, pass.bDoubles, options.logs);
    }

    Report report = summarizeReport(options, consumer->measures, pass.pairs);
    report.allpts = summarizeFile(allpts, consumer->allptsCounts, pass);
    report.sample = summarizeFile(sample, consumer->sampleCounts, pass);
    closeValueSource(allpts);
    closeValueSource(sample);
    releasePairPass(pass);
    releaseErrorMeasures(consumer->measures);
    delete consumer;
    return report;
}

bool unequalLengths(const Report& report)
{
    return report.allpts.values != report.sample.values || report.allpts.end == FileEnd::notCounted ||
           report.sample.end == FileEnd::notCounted;
}

bool inputHadProblems(const Report& report)
{
    for (const FileSummary* file : {&report.allpts, &report.sample})
        if (file->skippedReads > 0 || file->shortLines > 0 || file->end == FileEnd::notANumber || file->nans > 0 ||
            file->infinities > 0 || file->shortPairs > 0 || file->underflows > 0 || file->overflows > 0)
            return true;
    return report.pairs == 0 || report.leftOut > 0 || unequalLengths(report);
}
