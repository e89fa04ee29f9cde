// One copy of the program per alarm file. The copy serving a file holds a named
// mutex derived from the file's full path; a later start on the same file hands
// over to it and ends, while copies on other files run side by side.
#pragma once

#include <windows.h>

#include <string>

// COPYDATASTRUCT::dwData of the hand-over; lpData holds the alarm file's path.
constexpr ULONG_PTR kHandOverCopyDataId = 0x564C4D41;  // "VLMA"

// The path in a canonical case, so two spellings of one file compare equal.
std::wstring FoldAlarmFilePath(const wchar_t* path);

// The name of the mutex held by the copy that serves the alarm file at path.
std::wstring AlarmFileMutexName(const wchar_t* path);

// Makes this process the copy serving the alarm file at path, whose main
// windows have the class className. Returns true when this process goes on:
// *claim then holds the mutex (null if none could be made), which the caller
// closes after its last save. Returns false when another copy serves the file;
// it has been asked to show its alarm list, or did not answer in time.
bool ClaimAlarmFile(const wchar_t* className, const wchar_t* path, HANDLE* claim);

// Asks each top-level window of class className to take over the alarm file
// at path. Returns true as soon as one answers that it serves that file.
bool HandOverToRunningCopy(const wchar_t* className, const wchar_t* path);

// True when data is a hand-over for the alarm file at ownPath.
bool IsHandOverFor(const COPYDATASTRUCT* data, const wchar_t* ownPath);
