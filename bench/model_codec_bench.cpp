// Encoding and decoding of the shared snapshot, the work done on every save and every widget
// reload. Run a release build: build/release/bench/model_codec_bench
#include <benchmark/benchmark.h>

#include "model/usage_json.h"

namespace {

AgentUsageSnapshot snapshotOf(int count) {
    std::vector<AgentUsage> usages;
    usages.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        usages.push_back(AgentUsage{
            .windows = {{.usedPercent = 40 + i % 50,
                         .durationSeconds = 18000,
                         .resetDate = Timestamp(788936400.123456 + i)},
                        {.usedPercent = 7,
                         .durationSeconds = 604800,
                         .resetDate = Timestamp(789500000.5 + i)}},
            .provider = {"agent-" + std::to_string(i)},
            .agentName = "Agent " + std::to_string(i),
            .planType = "pro",
            .updatedAt = Timestamp(788918400.987654 + i),
            .source = UsageSource::LocalDesktop,
        });
    }
    return AgentUsageSnapshot(std::move(usages));
}

void encodeThenDecode(benchmark::State& state) {
    const AgentUsageSnapshot snapshot = snapshotOf(static_cast<int>(state.range(0)));
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string encoded = usage_json::encodeSnapshot(snapshot);
        AgentUsageSnapshot decoded = usage_json::decodeSnapshot(encoded);
        benchmark::DoNotOptimize(decoded);
        bytes = encoded.size();
    }
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["ops/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(encodeThenDecode)->Arg(2)->Arg(50);
BENCHMARK_MAIN();
