// The alarm file "file.txt" beside the executable: where it is, reading it
// once at start and saving the list to it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "model/alarm.h"

// A path buffer: MAX_PATH wide characters, terminator included.
constexpr std::size_t kPathCapacity = 260;

// Why an operation on the alarm file failed, in the system's own terms:
// GetLastError's code on Windows, errno's value elsewhere. 0: no failure.
using AlarmFileError = unsigned long;

// Set in the error of a save that failed and could not put the old bytes back
// either: the file may be damaged. The rest of the number is the system's own
// error that putting them back met. Bit 29 marks a code of the application's
// own on Windows, never set in a system code, and it lies far above any errno
// value.
constexpr AlarmFileError kAlarmFileMayBeDamaged = 0x20000000;

// Whether error says that the file may be damaged (kAlarmFileMayBeDamaged).
constexpr bool MayBeDamaged(AlarmFileError error) { return (error & kAlarmFileMayBeDamaged) != 0; }
// The system's own error within error: the one a failed restore met for a
// file that may be damaged, else error itself.
constexpr AlarmFileError SystemErrorOf(AlarmFileError error) { return error & ~kAlarmFileMayBeDamaged; }

// A larger file is refused unread (kTooLarge). A load at the cap of the
// smallest records (729,441 alarms) peaks at 48 MiB in the 32-bit program
// (bench/load_peak.cpp); at 256 MiB even building such a list ran out there.
constexpr unsigned long long kMaxAlarmFileBytes = 16ull << 20;

// How long a file that another program holds (a sharing or lock violation,
// as antivirus, backup and sync programs cause) is waited for, in ms.
constexpr unsigned kAlarmFileShareWaitMs = 5000;

enum AlarmFileOutcome {
    AlarmFileLoaded,       // the file was read; g_alarms holds the alarms read whole
    AlarmFileCreated,      // there was no file; it now holds the default alarms, as does g_alarms
    AlarmFileUnavailable,  // neither read nor created; g_alarms untouched, nothing written
};

// The full path of "file.txt" in the executable's folder, however long; empty
// when the executable's own path cannot be had.
std::wstring AlarmFilePath();

// Fills path with AlarmFilePath. Returns false and leaves an empty path when
// it would not fit in capacity characters: a path cut short would name
// another file.
bool GetAlarmFilePath(wchar_t* path, std::size_t capacity);

// What LoadAlarmFile found besides its outcome.
// A damaged file whose copy could not be made is AlarmFileUnavailable with
// damaged set, the alarms it holds whole counted, no keptPath, and error the
// reason the copy failed.
struct AlarmFileLoadReport {
    AlarmFileError error = 0;    // why the outcome is AlarmFileUnavailable
    bool damaged = false;        // the file was not a whole alarm archive
    std::size_t alarmsRead = 0;  // the alarms read whole from it
    std::wstring keptPath;       // where the damaged file's bytes are kept; empty when they could not be
};

// Reads the alarm file into g_alarms (which it empties first) or, when there is
// no file, creates it with the four default alarms. A file that exists but
// cannot be read is left alone (AlarmFileUnavailable). A file that is not a
// whole alarm archive gives the alarms read whole before the fault, and its
// bytes are first kept beside it as "file.txt.bad" (or ".bad2" ... when that
// is taken); if they cannot be kept, the file is left alone and the outcome is
// AlarmFileUnavailable, so nothing can overwrite it. A file held by another
// program is waited for (kAlarmFileShareWaitMs). Memory that runs out is no
// damage: AlarmFileUnavailable, the file left alone. report, when not null, says
// why the file is unavailable or what a damaged file gave.
AlarmFileOutcome LoadAlarmFile(const wchar_t* path, AlarmFileLoadReport* report = nullptr);

// Writes the list to the alarm file of GetAlarmFilePath; see WriteAlarmFile.
AlarmFileError SaveAlarmFile(std::vector<CAlarm> alarms, unsigned shareWaitMs = kAlarmFileShareWaitMs);

// Writes the list to path: a temporary file of a name no other save uses is
// written beside it once, flushed and checked, then put in place of the old
// file in one step; that step is tried again for up to shareWaitMs while
// another program holds the file. So the file holds either the old list or the
// new one, whole, even after a crash or a power cut.
// When the folder refuses the temporary file, the file itself is rewritten in
// place (its opening waited for up to shareWaitMs): the part beyond its old
// end first, then the rest, then it is cut to size, each step flushed before
// the next. If a write fails, the old bytes are put back and flushed; if that
// fails too, the result is kAlarmFileMayBeDamaged with the error that putting
// them back met (MayBeDamaged, SystemErrorOf). A power cut during an
// in-place write may leave a mixture of old and new bytes.
// Returns 0 when the file now holds the list, else the error met; the old
// file then keeps its contents (but see kAlarmFileMayBeDamaged) and no
// temporary file is left. Never throws.
AlarmFileError WriteAlarmFile(const wchar_t* path, const std::vector<CAlarm>& alarms, unsigned shareWaitMs);

// WriteAlarmFile with the usual wait; true when the file now holds the list.
bool SaveAlarmFileTo(const wchar_t* path, const std::vector<CAlarm>& alarms);

// Clears what interrupted saves left beside the alarm file at path: the
// temporary files "<file>.tmp" (earlier versions) and
// "<file>[.bad[N]].<digits>-<digits>.tmp", <file> being path's file name (in
// any case on Windows); nothing else. When the file itself is missing, the
// newest of its own leftovers that is a complete alarm file is a save cut
// between its two steps: it becomes the file instead of being removed. A
// leftover that cannot be removed is skipped. Returns what it did. Call it
// once at start, while no other copy can save to the same file.
struct SaveLeftovers {
    std::size_t removed = 0;  // leftovers removed
    bool restored = false;    // a leftover became the missing file
};
SaveLeftovers ClearSaveLeftovers(const wchar_t* path);

// The four alarms of a new alarm file: 08:30, 12:30, 13:30 and 17:00, every
// day, on, "chimes.wav".
std::vector<CAlarm> DefaultAlarms();
