// The report's pass: both files read once, in blocks of pairs, noting for
// each what went wrong (reads that failed, where and why it ended, NaNs and
// infinities) and handing the pairs to the measures.
#include "report.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

struct FileReading {
    ValueReader reader;
    FileSummary summary;
    // The value a read that stores nothing repeats, as in the classic pass.
    float last = 0.0f;
    // Ended or stopped: no read will store a value again.
    bool spent = false;
};

void noteValues(FileSummary& summary, const float* values, std::int32_t count)
{
    std::int64_t nans = 0;
    std::int64_t infinities = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        nans += std::isnan(values[i]) ? 1 : 0;
        infinities += std::isinf(values[i]) ? 1 : 0;
    }
    summary.values += count;
    summary.nans += nans;
    summary.infinities += infinities;
}

// Notes a read that stored nothing: either the file is spent, or the read
// is skipped and its slot repeats the last value, as in the classic pass.
// Returns whether the slot was filled.
bool noteFailedRead(FileReading& file, float& slot)
{
    FileSummary& summary = file.summary;
    if (file.reader.stuck) {
        file.spent = true;
        summary.stop = positionOf(file.reader, file.reader.textStart);
        summary.stopText = peekText(file.reader, 24);
        summary.end = summary.stopText.empty() ? FileEnd::endOfFile : FileEnd::notANumber;
        return false;
    }
    if (summary.skippedReads++ == 0)
        summary.firstSkip = positionOf(file.reader, file.reader.textStart);
    slot = file.last;
    return true;
}

void noteStored(FileReading& file, const float* values, std::int32_t count)
{
    noteValues(file.summary, values, count);
    if (count > 0)
        file.last = values[count - 1];
}

// Makes reads into values until want are made or the file is spent (the
// read that finds it spent is not counted).
std::int32_t makeReads(FileReading& file, float* values, std::int32_t want)
{
    std::int32_t made = 0;
    while (made < want && !file.spent) {
        const std::int32_t stored = readUntilFailure(file.reader, values + made, want - made);
        noteStored(file, values + made, stored);
        made += stored;
        if (made < want && noteFailedRead(file, values[made]))
            ++made;
    }
    return made;
}

// Makes want reads of each file, or fewer where one is spent, the two files
// in turn while both store values.
void makePairedReads(FileReading files[2], float* const values[2], std::int32_t want, std::int32_t made[2])
{
    made[0] = 0;
    made[1] = 0;
    if (!files[0].spent && !files[1].spent) {
        bool stored[2];
        const std::int32_t both =
            readPairsWhileStored(files[0].reader, files[1].reader, values[0], values[1], want, stored);
        for (int f = 0; f < 2; ++f) {
            noteStored(files[f], values[f], both);
            made[f] = both;
            if (both == want)
                continue;
            if (stored[f])
                noteStored(files[f], values[f] + both, 1);
            if (stored[f] || noteFailedRead(files[f], values[f][both]))
                ++made[f];
        }
    }
    for (int f = 0; f < 2; ++f)
        made[f] += makeReads(files[f], values[f] + made[f], want - made[f]);
}

// After the pass, the rest of a file that did not end with it, for its
// count of values and its problems, up to the largest count of pairs: a
// stream that never ends is left there.
void readRest(FileReading& file, float* scratch)
{
    while (!file.spent && file.summary.values + file.summary.skippedReads < INT32_MAX)
        makeReads(file, scratch, kPairBlock);
}

void openFile(FileReading& file, const char* path)
{
    openValueReader(file.reader, path);
    file.reader.countingLines = true;
    file.summary.path = path;
}

}  // namespace

Report runReport(const ReportOptions& options)
{
    FileReading files[2];
    openFile(files[0], options.allptsPath);
    openFile(files[1], options.samplePath);
    checkDistinctStreams(files[0].reader, files[1].reader);

    ErrorMeasures measures;
    startErrorMeasures(measures, options);
    PairBlock block;
    startPairBlock(block);
    float* const values[2] = {block.as, block.bs};
    // Counts of pairs, like the classic tools' n, stay within 32 bits.
    const std::int64_t wanted = options.countGiven ? options.count : INT32_MAX;
    std::int64_t pairs = 0;
    while (pairs < wanted) {
        const auto want = static_cast<std::int32_t>(std::min<std::int64_t>(kPairBlock, wanted - pairs));
        std::int32_t made[2];
        makePairedReads(files, values, want, made);
        std::int32_t count = std::min(made[0], made[1]);
        if (options.countGiven) {
            // A spent file repeats its last value for every pair left.
            for (int f = 0; f < 2; ++f) {
                std::fill(values[f] + made[f], values[f] + want, files[f].last);
                files[f].summary.shortPairs += want - made[f];
            }
            count = want;
        }
        takeBlock(measures, block.as, block.bs, count, pairs);
        takeClassicBlock(measures.classic, block.as, block.bs, count);
        pairs += count;
        if (count < want)
            break;
        if (files[0].spent && files[1].spent && options.countGiven) {
            // Every pair left is the last pair.
            const std::int64_t rest = wanted - pairs;
            takeRepeatedPair(measures, files[0].last, files[1].last, pairs, rest);
            takeClassicRepeated(measures.classic, files[0].last, files[1].last, rest);
            for (FileReading& file : files)
                file.summary.shortPairs += rest;
            pairs = wanted;
        }
    }
    // Without a count, the longer file's values past the pairs are read
    // for its count, in turn, as a block of its own.
    if (!options.countGiven)
        for (int f = 0; f < 2; ++f)
            readRest(files[f], values[f]);

    Report report = summarizeReport(options, measures, pairs);
    for (int f = 0; f < 2; ++f) {
        report.files[f] = files[f].summary;
        closeValueReader(files[f].reader);
    }
    releasePairBlock(block);
    releaseErrorMeasures(measures);
    return report;
}

bool inputHadProblems(const Report& report)
{
    for (const FileSummary& file : report.files)
        if (file.skippedReads > 0 || file.end == FileEnd::notANumber || file.nans > 0 ||
            file.infinities > 0 || file.shortPairs > 0)
            return true;
    return report.leftOut > 0 || report.files[0].values != report.files[1].values;
}
