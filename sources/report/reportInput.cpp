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
    const ValueSource* sources[2] = {nullptr, nullptr};
    ValueCounts counts[2];
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
    for (int f = 0; f < 2; ++f)
        countValues(pass.counts[f], *pass.sources[f], block.floats[f], block.reads[f]);
    takeMeasuredPairs(pass.measures, block.floats[0], block.floats[1], block.pairs, block.first);
}

void takeRepeated(ReportPass& pass, const RepeatedPair& pair)
{
    takeRepeatedPair(pass.measures, pair.floats[0], pair.floats[1], pair.first, pair.count);
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
    ValueSource sources[2];
    openFile(sources[0], options.allptsPath);
    openFile(sources[1], options.samplePath);

    ReportPass consumer;
    consumer.sources[0] = &sources[0];
    consumer.sources[1] = &sources[1];
    // The tab-separated row lists no points, so it keeps none.
    startErrorMeasures(consumer.measures, options, options.format == ReportFormat::tsv ? 0 : options.worst);
    // Counts of pairs, like the classic tools' n, stay within 32 bits.
    PairPass pass;
    startPairPass(pass, sources[0], sources[1], options.countGiven ? options.count : INT32_MAX,
                  options.countGiven, false);
    runPairPass(pass, consumer);
    if (!pass.exact)
        for (int f = 0; f < 2; ++f)
            countRest(sources[f], consumer.counts[f], pass.floats[f]);

    Report report = summarizeReport(options, consumer.measures, pass.pairs);
    for (int f = 0; f < 2; ++f) {
        report.files[f] = summarizeFile(sources[f], consumer.counts[f], pass);
        closeValueSource(sources[f]);
    }
    releasePairPass(pass);
    releaseErrorMeasures(consumer.measures);
    return report;
}

bool inputHadProblems(const Report& report)
{
    for (const FileSummary& file : report.files)
        if (file.skippedReads > 0 || file.end == FileEnd::notANumber || file.end == FileEnd::notCounted ||
            file.nans > 0 || file.infinities > 0 || file.shortPairs > 0)
            return true;
    return report.pairs == 0 || report.leftOut > 0 || report.files[0].values != report.files[1].values;
}
