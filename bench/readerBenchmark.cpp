// Micro-benchmarks of the value reader on in-memory files of one token shape
// each, read in pairs as the tools read them: every value format that users
// write, and hexadecimal floats, which the general path reads.
// bench/run_bench.sh measures the whole tools.
#include "calcGap.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

void readAll(benchmark::State& state, const std::string& text, int count)
{
    const int memory = ::memfd_create("readerBenchmark", 0);
    if (::write(memory, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        state.SkipWithError("cannot write the input");
    for (auto _ : state) {
        ::lseek(memory, 0, SEEK_SET);
        ValueReader first;
        ValueReader second;
        attachValueReader(first, ::dup(memory), "first");
        attachValueReader(second, ::open(("/proc/self/fd/" + std::to_string(memory)).c_str(), O_RDONLY), "second");
        float as[512];
        float bs[512];
        float a = 0.0f;
        float b = 0.0f;
        for (int done = 0; done < count; done += 512)
            readPairs(first, second, as, bs, 512, a, b);
        benchmark::DoNotOptimize(a + b);
        closeValueReader(first);
        closeValueReader(second);
    }
    state.SetItemsProcessed(state.iterations() * 2 * count);
    state.SetBytesProcessed(state.iterations() * 2 * static_cast<std::int64_t>(text.size()));
    ::close(memory);
}

constexpr int kTokens = 1 << 18;

// One shape of token: values around 2.5e-3 (or spread over 1e-30 to 1e30
// for "wide"), written with format.
void readShape(benchmark::State& state, const char* format, double low, double high)
{
    std::mt19937 random(1);
    std::string text;
    char token[64];
    for (int i = 0; i < kTokens; ++i) {
        const double spread = static_cast<double>(random()) / 4294967296.0;
        std::snprintf(token, sizeof token, format, low * std::pow(high / low, spread));
        text += token;
    }
    readAll(state, text, kTokens);
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
