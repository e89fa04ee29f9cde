// One copy of the program per folder. The copy serving the alarm file holds a
// named mutex derived from its folder's identity on the file system, so every
// spelling of that folder (another case, an 8.3 short name, a mapped drive or
// its UNC path, SUBST, a junction) names one mutex. A later start on the same
// folder hands over to it and ends, while copies in other folders run side by
// side.
#pragma once

#include <windows.h>

#include <string>

#include "app/claim_key.h"

// COPYDATASTRUCT::dwData of the hand-over; lpData holds the claim's mutex name.
constexpr ULONG_PTR kHandOverCopyDataId = 0x564C4D41;  // "VLMA"

// How long a start keeps trying while another copy holds the claim but does
// not take the hand-over. That copy may still be creating its window, or be
// ending: saving at its exit waits out a file another program holds for a few
// seconds, and a failed save asks the user what to do. Half a minute covers
// the waits with room to spare and a user who answers that question; a copy
// that refuses for longer is not going to let go soon, and this start ends.
constexpr DWORD kClaimWaitMs = 30000;

// Asks the file system for the identity of the folder at folderPath. Returns
// false when it cannot be opened or does not say.
bool GetFolderIdentity(const wchar_t* folderPath, FolderIdentity* identity);

// The name of the mutex held by the copy that serves the alarm file at path:
// from the identity of the file's folder, or, when that cannot be had, from
// the path itself in folded case.
std::wstring AlarmFileMutexName(const wchar_t* path);

// Makes this process the copy serving the alarm file at path, whose main
// windows have the class className. Held: *claim holds the mutex (null if
// none could be made), which the caller closes after its last save, and
// *claimName is its name (AlarmFileMutexName), which a hand-over for this
// file carries. Otherwise another copy serves the file: it took the hand-over
// (it shows its alarm list), it held the claim and refused the hand-over for
// waitMs, or it runs as administrator where this start cannot reach it;
// either way this start ends.
Claim ClaimAlarmFile(const wchar_t* className, const wchar_t* path, HANDLE* claim, std::wstring* claimName,
                     DWORD waitMs = kClaimWaitMs);

// True when data is a hand-over for the claim of the given name, the one
// this copy took at start, whatever the spelling the other start reached the
// folder by.
bool IsHandOverFor(const COPYDATASTRUCT* data, const std::wstring& claimName);
