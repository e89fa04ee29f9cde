// The hour and minute fields of the alarm editor: edits that take digits only
// (ES_NUMBER), where the full-width digits of the Japanese IME count as the
// ASCII digits they stand for, whether typed, committed by the IME or pasted.
#pragma once

#include <windows.h>

// Makes edit such a field: a full-width digit typed becomes its ASCII digit
// before the edit sees it, and one that arrives otherwise (a paste, an IME's
// committed text) is turned into ASCII as it arrives, the caret kept. Also
// turns the IME off in the field where the system allows it. Lasts as long as
// the edit.
void MakeNumberField(HWND edit);
