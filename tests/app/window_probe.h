// The window probe that the end-to-end tests load into velmora.exe: what the
// test and the probe share.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cwchar>

// Size, in wide characters, of each text of the shared block.
constexpr std::size_t kProbeTextUnits = 4096;

// The block shared by the test and the probe in velmora's process: a named
// file mapping that the test creates, named after velmora's process id
// (ProbeBlockName), and that the probe opens whenever it has something to write.
struct ProbeBlock {
    // The top-level windows created so far, "class|title\n" each; only ever
    // appended to, createdUsed (in characters) set after the text.
    volatile LONG createdUsed;
    wchar_t created[kProbeTextUnits];
    // The answer to the last request, its result (0: done), and a count of
    // answers, so the test sees that the probe answered at all.
    volatile LONG answers;
    DWORD answerResult;
    wchar_t answer[kProbeTextUnits];
};

// The requests, sent as the registered message kProbeMessage to the main
// window of velmora: wParam is the request, lParam its window.
const wchar_t kProbeMessage[] = L"velmora-window-probe-request";
enum ProbeRequest : WPARAM {
    kProbePing = 0,
    // Each item of the popup menu on screen, "type|id|text\n". Result 1: no menu.
    kProbeReadPopupMenu = 1,
    // Each row of the list view lParam, its cells separated by '\t', "\n" after
    // each row; the number of columns is in the bits of wParam above 8.
    kProbeReadListView = 2,
    // Makes velmora crash: a thread of its own writes to address 0. Only for
    // proving that the tests survive a crash (e2e_harness.h, sabotage).
    kProbeCrash = 3,
};

inline void ProbeBlockName(DWORD processId, wchar_t* name, std::size_t units) {
    std::swprintf(name, units, L"Local\\velmora-window-probe-%lu", static_cast<unsigned long>(processId));
}
