// The alarm file "file.txt" beside the executable: where it is, reading it
// once at start and saving the list to it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "model/alarm.h"

// A path buffer: MAX_PATH wide characters, terminator included.
constexpr std::size_t kPathCapacity = 260;

enum AlarmFileOutcome {
    AlarmFileLoaded,       // the file was read; g_alarms holds the alarms read whole
    AlarmFileCreated,      // there was no file; it now holds the default alarms, as does g_alarms
    AlarmFileUnavailable,  // neither read nor created; g_alarms untouched, nothing written
};

// Fills path with the full path of "file.txt" in the executable's folder.
// Returns false and leaves an empty path when that path would not fit in
// capacity characters: a path cut short would name another file.
bool GetAlarmFilePath(wchar_t* path, std::size_t capacity);

// Reads the alarm file into g_alarms (which it empties first) or, when there is
// no file, creates it with the four default alarms. A file that exists but
// cannot be read is left alone (AlarmFileUnavailable). A file that is not a
// whole alarm archive gives the alarms read whole before the fault, and its
// bytes are first kept beside it as "file.txt.bad" (or ".bad2" ... when that
// is taken); if they cannot be kept, the file is left alone and the outcome is
// AlarmFileUnavailable, so nothing can overwrite it.
AlarmFileOutcome LoadAlarmFile(const wchar_t* path);

// Writes the list to the alarm file of GetAlarmFilePath. Reports nothing;
// see SaveAlarmFileTo.
void SaveAlarmFile(std::vector<CAlarm> alarms);

// Writes the list to path: a temporary file in the same folder is written,
// flushed and checked, then put in place of the old file in one step. Returns
// true when the file now holds the list; on any failure the old file keeps its
// contents and the temporary file is removed. Never throws.
bool SaveAlarmFileTo(const wchar_t* path, const std::vector<CAlarm>& alarms);

// The four alarms of a new alarm file: 08:30, 12:30, 13:30 and 17:00, every
// day, on, "chimes.wav".
std::vector<CAlarm> DefaultAlarms();

// For tests only: when zero or more, every file write fails, as on a full
// disk, once this many bytes have been written. -1 (the default): no fault.
extern long long g_alarmFileWriteLimitForTests;
