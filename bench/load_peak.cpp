// Peak memory of loading an alarm file at the size cap, made of the records
// that cost the most memory for their bytes (no sound path). A process's peak
// cannot be reset, so one run writes the file and another loads it:
//   load_peak write FILE; load_peak load FILE
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "model/alarm_archive.h"
#include "model/alarm_file.h"

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

namespace {

// The most memory the process has held so far: committed private bytes on
// Windows, resident bytes elsewhere.
double PeakMiB() {
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters{};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakPagefileUsage / 1048576.0;
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::string name = argv[2];
    const std::wstring path(name.begin(), name.end());
    const CAlarm dense(0, 0, 0, 0, 0, 0, 0, 0, 0, false, L"");
    if (std::strcmp(argv[1], "write") == 0) {
        // The archive grows by the same bytes with each record; the count's
        // own digits are left room for.
        const std::size_t one = EncodeAlarmArchive({dense}).size();
        const std::size_t each = EncodeAlarmArchive({dense, dense}).size() - one;
        const std::size_t count = (kMaxAlarmFileBytes - one - 16) / each + 1;
        return SaveAlarmFileTo(path.c_str(), std::vector<CAlarm>(count, dense)) ? 0 : 1;
    }
    const double before = PeakMiB();
    AlarmFileLoadReport report;
    const AlarmFileOutcome outcome = LoadAlarmFile(path.c_str(), &report);
    std::printf("cap %llu bytes: %s %zu alarms of %zu bytes each in memory; peak %.1f MiB (%.1f before the load)\n",
                kMaxAlarmFileBytes, outcome == AlarmFileLoaded && !report.damaged ? "loaded" : "NOT LOADED",
                g_alarms.size(), sizeof(CAlarm), PeakMiB(), before);
    return outcome == AlarmFileLoaded && !report.damaged ? 0 : 1;
}
