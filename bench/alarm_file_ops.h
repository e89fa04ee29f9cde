// The four operations the alarm file benchmark compares: our save and load
// (header, text mode, bounds, safe replace) against the bare library round
// trip of the same list on a plain file stream.
#pragma once

#include <string>
#include <vector>

#include "model/alarm.h"

std::vector<CAlarm> BenchAlarms(std::size_t count);
// A folder for the benchmark's files, with the platform's separator at the end.
std::wstring BenchFolder();

bool SaveOurs(const std::wstring& path, const std::vector<CAlarm>& alarms);
std::size_t LoadOurs(const std::wstring& path);  // alarms read
void SaveBare(const std::string& path, const std::vector<CAlarm>& alarms);
std::size_t LoadBare(const std::string& path);
std::string Narrow(const std::wstring& path);
