// The program's message boxes, one question at a time, and the texts they
// show: loaded from the string table and filled in.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// String id of the module's string table; empty when there is none.
std::wstring LoadText(UINT id);

// pattern with each "%1" ... "%9" replaced by the insert of that number, in one
// pass: an insert's own text is never scanned again.
std::wstring FillMessage(const std::wstring& pattern, const std::vector<std::wstring>& inserts);

// Shows a message box captioned "velmora", on owner when owner is in sight,
// else on its own and topmost, and keeps its window known while it is up
// (GetOpenMessageBox). Returns the button pressed, 0 when none could be shown
// or the box went down with its owner.
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
