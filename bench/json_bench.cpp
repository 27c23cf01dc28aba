// Parse time of json::parse against document size, up to the 4 MiB limit that every outside
// document is held to. The complexity fit should report O(N): many small objects and long strings
// with escapes are the shapes where a depth check could rescan what it has already read.
// Run a release build: build/release/bench/json_bench
#include <benchmark/benchmark.h>

#include <string>

#include "core/json.h"

namespace {

// An array of `piece` repeated to about `bytes` bytes, never over the limit.
std::string arrayOf(std::string_view piece, std::size_t bytes) {
    std::string text = "[";
    while (text.size() + 2 * (piece.size() + 1) <= bytes) {
        text.append(piece).append(",");
    }
    text.append(piece).append("]");
    return text;
}

void parse(benchmark::State& state, std::string_view piece) {
    const std::string text = arrayOf(piece, static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        json::Value value = json::parse(text);
        benchmark::DoNotOptimize(value);
    }
    state.SetComplexityN(static_cast<benchmark::IterationCount>(text.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

}  // namespace

BENCHMARK_CAPTURE(parse, emptyObjects, "{}")
    ->RangeMultiplier(4)
    ->Range(16 << 10, json::kDefaultMaxBytes)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
BENCHMARK_CAPTURE(parse, escapedStrings, R"({"k":"a \"quoted\" [x] {y} \\ path"})")
    ->RangeMultiplier(4)
    ->Range(16 << 10, json::kDefaultMaxBytes)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
BENCHMARK_MAIN();
