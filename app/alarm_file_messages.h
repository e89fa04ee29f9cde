// The message boxes about the alarm file: shown only when something failed
// (it cannot be used at start, a save fails) or was damaged, never in normal use.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/exit_flow.h"
#include "model/alarm_file.h"

// String id of the module's string table; empty when there is none.
std::wstring LoadText(UINT id);

// The system's own text for error, without a closing line end; velmora's own
// when the system has none. For a file that may be damaged
// (kAlarmFileMayBeDamaged), velmora's text for that followed by the system's
// for the error that putting the old bytes back met.
std::wstring SystemErrorText(AlarmFileError error);

// pattern with each "%1" ... "%9" replaced by the insert of that number, in one
// pass: an insert's own text is never scanned again.
std::wstring FillMessage(const std::wstring& pattern, const std::vector<std::wstring>& inserts);

// The full path of the alarm file as the user should read it, also when it is
// too long for GetAlarmFilePath.
std::wstring AlarmFilePathForMessages();

// Shows a message box captioned "velmora" and keeps its window known while it
// is up (GetOpenMessageBox). Returns the button pressed, 0 when none could be
// shown or the box went down with its owner.
int ShowMessageBox(HWND owner, const std::wstring& text, UINT type);

// The message box of ShowMessageBox on screen now (the latest, should one be
// shown above another), else null.
HWND GetOpenMessageBox();

// The latest message box on screen that asks something (more buttons than
// OK), else null.
HWND GetOpenQuestion();

// Answers every notice on screen (a box with OK alone) with OK; the call that
// shows it returns once the message being handled now is done. Returns
// whether there was one.
bool CloseOpenNotices();

// Shows string textId with "%1" the alarm file's path, "%2" the text of
// SystemErrorText for error and "%3" the number of the system's error within
// it (SystemErrorOf), captioned "velmora", with the buttons and icon of type.
// Returns the button pressed (0 when no box could be shown).
int ShowAlarmFileError(HWND owner, UINT textId, UINT type, AlarmFileError error);

// Tells that a save failed with error, in a box owned by owner, and returns
// the user's answer. exiting: the question of the save at Exit (Retry, end
// without saving, keep running); else that of the list's close (Retry,
// Cancel: the list stays in memory). No answer keeps the list.
SaveAnswer AskAboutFailedSave(HWND owner, bool exiting, AlarmFileError error);

// Saves the alarms that may be saved (AlarmsToSave) as the alarm list closes,
// asking while that fails. Returns true once saved.
bool SaveAlarmsOrAsk(HWND owner);
