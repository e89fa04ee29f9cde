// The messages about the alarm file: shown only when something failed (it
// cannot be used at start, a save fails) or was damaged, never in normal use.
#pragma once

#include <windows.h>

#include <string>

#include "common/save_or_ask.h"
#include "model/alarm_file.h"

// The system's own text for error, without a closing line end; velmora's own
// when the system has none. For a file that may be damaged
// (kAlarmFileMayBeDamaged), velmora's text for that followed by the system's
// for the error that putting the old bytes back met.
std::wstring SystemErrorText(AlarmFileError error);

// Shows string textId with "%1" the alarm file's path (AlarmFilePath), "%2"
// the text of SystemErrorText for error and "%3" the number of the system's
// error within it (SystemErrorOf), captioned "velmora", with the buttons and
// icon of type. Returns the button pressed (0 when no box could be shown).
int ShowAlarmFileError(HWND owner, UINT textId, UINT type, AlarmFileError error);

// Tells that a save failed with error, in a box owned by owner, and returns
// the user's answer. exiting: the question of the save at Exit (Retry, end
// without saving, keep running); else that of the list's close (Retry,
// Cancel: the list stays in memory). No answer keeps the list.
SaveAnswer AskAboutFailedSave(HWND owner, bool exiting, AlarmFileError error);
