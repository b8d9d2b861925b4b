// The report's input: both files opened as sources, read once by the pair
// pass, with what each file held (its values, NaNs and infinities, where and
// why it ended) noted beside the measures.
#include "report.h"

#include "fail.h"
#include "pairPass.h"
#include "quoting.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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
};

// Counts the NaNs and infinities among the values of reads reads of the
// source's last block, leaving out the reads that stored nothing (their
// slots repeat a value already counted).
void countValues(ValueCounts& counts, const ValueSource& source, const float* values, std::int32_t reads)
{
    std::int64_t nans = 0;
    std::int64_t infinities = 0;
    const bool anyFailed = source.events.anyFailed;
    for (std::int32_t i = 0; i < reads; ++i) {
        if (anyFailed && readFailed(source.events, i))
            continue;
        nans += std::isnan(values[i]) ? 1 : 0;
        infinities += std::isinf(values[i]) ? 1 : 0;
    }
    counts.nans += nans;
    counts.infinities += infinities;
}

void takePairs(ReportPass& pass, const PairBlock& block)
{
    countValues(pass.allptsCounts, *pass.allpts, block.allpts.floats, block.allpts.count);
    countValues(pass.sampleCounts, *pass.sample, block.sample.floats, block.sample.count);
    takeMeasuredPairs(pass.measures, block.allpts.floats, block.sample.floats, block.pairs, block.first);
}

void takeRepeated(ReportPass& pass, const RepeatedPair& pair)
{
    takeRepeatedPair(pass.measures, pair.a, pair.b, pair.first, pair.count);
}

// "-" is standard input, as in every filter; "./-" names a file called -.
void openFile(ValueSource& source, const char* path)
{
    const TextOptions options{true, true};
    if (std::strcmp(path, "-") != 0) {
        openTextSource(source, path, options);
        return;
    }
    const int fd = ::dup(STDIN_FILENO);
    if (fd < 0)
        fail(("cannot open " + shellQuoted(path)).c_str(), std::strerror(errno));
    attachTextSource(source, fd, path, options);
}

// After a pass without a count, the rest of a regular file is read to count
// its values; a stream is not, since it may never end.
void countRest(ValueSource& source, ValueCounts& counts, float* scratch)
{
    if (!source.regularFile)
        return;
    while (!isSpent(source)) {
        const std::int32_t reads = readValues(source, scratch, nullptr, kPairBlock, true);
        countValues(counts, source, scratch, reads);
    }
}

FileSummary summarizeFile(const ValueSource& source, const ValueCounts& counts, const PairPass& pass)
{
    const ReadEvents& events = source.events;
    FileSummary file;
    file.path = source.path;
    file.values = storedValues(events);
    file.nans = counts.nans;
    file.infinities = counts.infinities;
    file.skippedReads = events.skippedReads;
    file.firstSkip = events.firstSkip;
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
    openFile(allpts, options.allptsPath);
    openFile(sample, options.samplePath);

    ReportPass consumer;
    consumer.allpts = &allpts;
    consumer.sample = &sample;
    // The tab-separated row lists no points, so it keeps none.
    startErrorMeasures(consumer.measures, options, options.format == ReportFormat::tsv ? 0 : options.worst);
    // Counts of pairs, like the classic tools' n, stay within 32 bits.
    PairPass pass;
    startPairPass(pass, allpts, sample, options.countGiven ? options.count : INT32_MAX, options.countGiven, false);
    runPairPass(pass, consumer);
    if (!pass.exact) {
        countRest(allpts, consumer.allptsCounts, pass.as);
        countRest(sample, consumer.sampleCounts, pass.bs);
    }

    Report report = summarizeReport(options, consumer.measures, pass.pairs);
    report.allpts = summarizeFile(allpts, consumer.allptsCounts, pass);
    report.sample = summarizeFile(sample, consumer.sampleCounts, pass);
    closeValueSource(allpts);
    closeValueSource(sample);
    releasePairPass(pass);
    releaseErrorMeasures(consumer.measures);
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
        if (file->skippedReads > 0 || file->end == FileEnd::notANumber || file->nans > 0 || file->infinities > 0 ||
            file->shortPairs > 0)
            return true;
    return report.pairs == 0 || report.leftOut > 0 || unequalLengths(report);
}
