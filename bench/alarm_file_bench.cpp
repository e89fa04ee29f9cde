// Saving and loading the alarm file, ours against the bare library round trip,
// in alarms per second. scripts/bench runs it and prints the ratios.
#include <benchmark/benchmark.h>

#include "bench/alarm_file_ops.h"

namespace {

const std::wstring kOurs = BenchFolder() + L"velmora-bench-ours.txt";
const std::string kBare = Narrow(BenchFolder() + L"velmora-bench-bare.txt");

void BM_SaveOurs(benchmark::State& state) {
    const auto alarms = BenchAlarms(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(SaveOurs(kOurs, alarms));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SaveBare(benchmark::State& state) {
    const auto alarms = BenchAlarms(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) SaveBare(kBare, alarms);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_LoadOurs(benchmark::State& state) {
    SaveOurs(kOurs, BenchAlarms(static_cast<std::size_t>(state.range(0))));
    for (auto _ : state) benchmark::DoNotOptimize(LoadOurs(kOurs));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_LoadBare(benchmark::State& state) {
    SaveBare(kBare, BenchAlarms(static_cast<std::size_t>(state.range(0))));
    for (auto _ : state) benchmark::DoNotOptimize(LoadBare(kBare));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_SaveOurs)->Arg(4)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveBare)->Arg(4)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadOurs)->Arg(4)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadBare)->Arg(4)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
