// Micro-benchmarks of the value reader on in-memory files of one token shape
// each, read in pairs by the pair pass as the tools read them: every value
// format that users write, and hexadecimal floats, which the general path
// reads; as floats ("%f", the classic tools) and as doubles and floats
// ("%lf" and "%f", the report), beside the conversion library's own
// from_chars on the same text; and the decimal-to-double step alone, the
// library's compute_float against the reader's, on the parts of tokens
// already found.  bench/run_bench.sh measures the whole tools.
#include "inputs/textDoubles.h"
#include "reading/pairPass.h"
#include "reading/textSource.h"
#include "reading/valueSource.h"

#include <benchmark/benchmark.h>
#include <fast_float/fast_float.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace calcgap;
using namespace calcgap::report;

namespace {

// Keeps the last pair of each block, so that no read can be left out.
struct LastPair {
    float sum = 0.0f;
};

void takePairs(LastPair& last, const PairBlock& block)
{
    last.sum += block.allpts.floats[block.pairs - 1] + block.values.floats[block.pairs - 1];
}

void takeRepeated(LastPair&, const RepeatedPair&) {}

void readAll(benchmark::State& state, const std::string& text, int count, bool doubles)
{
    const int memory = ::memfd_create("readerBenchmark", 0);
    if (::write(memory, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        state.SkipWithError("cannot write the input");
    for (auto _ : state) {
        ::lseek(memory, 0, SEEK_SET);
        ValueSource allpts;
        ValueSource sample;
        attachTextSource(allpts, ::dup(memory), "allpts", {});
        attachTextSource(sample, ::open(("/proc/self/fd/" + std::to_string(memory)).c_str(), O_RDONLY), "sample",
                         {});
        if (doubles) {
            readTextAsDoubles(allpts);
            readTextAsDoubles(sample);
        }
        PairPass pass;
        startPairPass(pass, allpts, {&sample}, count, true, doubles);
        LastPair last;
        runPairPass(pass, last);
        benchmark::DoNotOptimize(last.sum);
        allpts = ValueSource{};
        sample = ValueSource{};
    }
    state.SetItemsProcessed(state.iterations() * 2 * count);
    state.SetBytesProcessed(state.iterations() * 2 * static_cast<std::int64_t>(text.size()));
    ::close(memory);
}

constexpr int kTokens = 1 << 18;

// One shape of token: values around 2.5e-3 (or spread over 1e-30 to 1e30
// for "wide"), written with format.
std::string shapeText(const char* format, double low, double high)
{
    std::mt19937 random(1);
    std::string text;
    char token[64];
    for (int i = 0; i < kTokens; ++i) {
        const double spread = static_cast<double>(random()) / 4294967296.0;
        std::snprintf(token, sizeof token, format, low * std::pow(high / low, spread));
        text += token;
    }
    return text;
}

void readShape(benchmark::State& state, const char* format, double low, double high)
{
    readAll(state, shapeText(format, low, high), kTokens, false);
}

void readShapeDoubles(benchmark::State& state, const char* format, double low, double high)
{
    readAll(state, shapeText(format, low, high), kTokens, true);
}

// The library alone: tokens one a line, in memory, each to double.
void libraryFromChars(benchmark::State& state, const char* format, double low, double high)
{
    const std::string text = shapeText(format, low, high);
    for (auto _ : state) {
        double sum = 0.0;
        const char* p = text.data();
        const char* const end = p + text.size();
        while (p < end) {
            double value;
            const auto parsed = fast_float::from_chars(p, end, value);
            sum += value;
            p = parsed.ptr + 1;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kTokens);
}

}  // namespace

BENCHMARK_CAPTURE(readShape, g6, "%.6g\n", 1e-4, 1e-2);
BENCHMARK_CAPTURE(readShape, g8, "%.8g\n", 1e-4, 1e-2);
BENCHMARK_CAPTURE(readShape, g9, "%.9g\n", 1e-4, 1e-2);
BENCHMARK_CAPTURE(readShape, g17, "%.17g\n", 1e-4, 1e-2);
BENCHMARK_CAPTURE(readShape, e18, "%.18e\n", 1e-4, 1e-2);
BENCHMARK_CAPTURE(readShape, e, "%e\n", 1e-4, 1e-2);
BENCHMARK_CAPTURE(readShape, e7, "%.7e\n", 1e-4, 1e-2);
BENCHMARK_CAPTURE(readShape, f, "%f\n", 1e-4, 1e-2);
BENCHMARK_CAPTURE(readShape, f10, "%.10f\n", 1e-4, 1e-2);
BENCHMARK_CAPTURE(readShape, plus, "%+.8g\n", 1e-4, 1e-2);
BENCHMARK_CAPTURE(readShape, negative, "%.9g\n", -1e-2, -1e-4);
BENCHMARK_CAPTURE(readShape, wide, "%.9g\n", 1e-30, 1e30);
BENCHMARK_CAPTURE(readShape, hexadecimal, "%a\n", 1e-4, 1e-2);
BENCHMARK_CAPTURE(readShapeDoubles, g8, "%.8g\n", 1e-4, 1e-2);
BENCHMARK_CAPTURE(readShapeDoubles, g17, "%.17g\n", 1e-4, 1e-2);
BENCHMARK_CAPTURE(readShapeDoubles, e18, "%.18e\n", 1e-4, 1e-2);
BENCHMARK_CAPTURE(libraryFromChars, g8, "%.8g\n", 1e-4, 1e-2);
BENCHMARK_CAPTURE(libraryFromChars, g17, "%.17g\n", 1e-4, 1e-2);
BENCHMARK_CAPTURE(libraryFromChars, e18, "%.18e\n", 1e-4, 1e-2);
