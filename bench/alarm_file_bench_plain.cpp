// The alarm file benchmark without Google Benchmark, for Windows builds
// (run under Wine): each case repeats until half a second has passed and
// prints one line "name/count seconds_per_run alarms_per_second".
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "bench/alarm_file_ops.h"

namespace {

void Measure(const char* name, std::size_t count, const std::function<void()>& run) {
    using Clock = std::chrono::steady_clock;
    run();  // warm up
    long iterations = 0;
    const auto start = Clock::now();
    double seconds = 0;
    do {
        run();
        ++iterations;
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
    } while (seconds < 0.5 || iterations < 3);
    const double perRun = seconds / iterations;
    std::printf("%s/%zu %.6f %.0f\n", name, count, perRun, count / perRun);
}

}  // namespace

int main() {
    const std::wstring ours = BenchFolder() + L"velmora-bench-ours.txt";
    const std::string bare = Narrow(BenchFolder() + L"velmora-bench-bare.txt");
    for (std::size_t count : {4u, 1000u, 100000u}) {
        const auto alarms = BenchAlarms(count);
        Measure("BM_SaveOurs", count, [&] { SaveOurs(ours, alarms); });
        Measure("BM_SaveBare", count, [&] { SaveBare(bare, alarms); });
        Measure("BM_LoadOurs", count, [&] { LoadOurs(ours); });
        Measure("BM_LoadBare", count, [&] { LoadBare(bare); });
    }
    return 0;
}
