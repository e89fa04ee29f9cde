#include "bench/alarm_file_ops.h"

#include <fstream>

#include <boost/archive/text_iarchive.hpp>
#include <boost/archive/text_oarchive.hpp>
#include <boost/serialization/vector.hpp>

#include "model/alarm_file.h"

#ifdef _WIN32
#include <windows.h>
#endif

std::vector<CAlarm> BenchAlarms(std::size_t count) {
    std::vector<CAlarm> alarms;
    alarms.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const int n = static_cast<int>(i);
        alarms.emplace_back(n % 24, n % 60, 1, n % 2, 1, 0, 1, n % 3 == 0, 1, n % 5 != 0,
                            i % 4 == 0 ? std::wstring(L"C:\\Windows\\Media\\\u30A2\u30E9\u30FC\u30E0.wav")
                                       : std::wstring(L"chimes.wav"));
    }
    return alarms;
}

std::wstring BenchFolder() {
#ifdef _WIN32
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return temp;
#else
    return L"/tmp/";
#endif
}

std::string Narrow(const std::wstring& path) { return std::string(path.begin(), path.end()); }

bool SaveOurs(const std::wstring& path, const std::vector<CAlarm>& alarms) {
    return SaveAlarmFileTo(path.c_str(), alarms);
}

std::size_t LoadOurs(const std::wstring& path) {
    LoadAlarmFile(path.c_str());
    return g_alarms.size();
}

void SaveBare(const std::string& path, const std::vector<CAlarm>& alarms) {
    std::ofstream out(path);
    boost::archive::text_oarchive archive(out);
    archive << alarms;
}

std::size_t LoadBare(const std::string& path) {
    std::ifstream in(path);
    boost::archive::text_iarchive archive(in);
    std::vector<CAlarm> alarms;
    archive >> alarms;
    return alarms.size();
}
