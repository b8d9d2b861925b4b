// Micro-benchmarks of the value reader on in-memory files of one token shape
// each: the plain decimals the fast paths take, and shapes that the general
// path reads.  bench/run_bench.sh measures the whole tools.
#include "calcGap.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

std::string makeTokens(const char* format, int count)
{
    std::mt19937 random(1);
    std::string text;
    char token[64];
    for (int i = 0; i < count; ++i) {
        std::snprintf(token, sizeof token, format, static_cast<double>(random()) / 4294967296.0 * 0.01);
        text += token;
    }
    return text;
}

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

void plainDecimal(benchmark::State& state)
{
    readAll(state, makeTokens("%.8g\n", kTokens), kTokens);
}

void exponentForm(benchmark::State& state)
{
    readAll(state, makeTokens("%.7e\n", kTokens), kTokens);
}

void longDecimal(benchmark::State& state)
{
    readAll(state, makeTokens("%.17f\n", kTokens), kTokens);
}

void hexadecimal(benchmark::State& state)
{
    readAll(state, makeTokens("%a\n", kTokens), kTokens);
}

}  // namespace

BENCHMARK(plainDecimal);
BENCHMARK(exponentForm);
BENCHMARK(longDecimal);
BENCHMARK(hexadecimal);
