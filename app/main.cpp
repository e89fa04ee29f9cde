// The process entry of velmora.exe: a hidden main window, its tray icon and the
// message loop.
#include <windows.h>
#include <commctrl.h>

#include "app/main_window.h"
#include "app/single_instance.h"
#include "common/instance.h"
#include "common/message_box.h"
#include "common/system_dlls.h"
#include "model/alarm_file.h"
#include "res/resource.h"

wchar_t g_className[100];
wchar_t g_windowTitle[100];
std::wstring g_claimName;

namespace {

// The exit code of a start that gave up waiting for the copy that serves its
// folder (1 is a start that could not use the alarm file).
constexpr int kExitClaimRefused = 2;

// The alarm dialogs hold a list view and up-down controls; their window
// classes must exist before the first dialog opens. comctl32.dll is no
// import of velmora.exe: as one, the system would look for it beside the
// program first.
void RegisterDialogControlClasses() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS;
    SystemInitCommonControlsEx(&controls);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // Before anything loads a DLL: none from the program's own folder, which
    // anyone may have put one into.
    LimitDllSearchToSystemFolder();
    RegisterDialogControlClasses();
    LoadStringW(instance, IDS_APP_TITLE, g_windowTitle, 100);
    LoadStringW(instance, IDS_CLASS_NAME, g_className, 100);
    RegisterMainWindowClass(instance);
    g_hInstance = instance;

    // One copy per alarm file: a second start on it hands over and ends. Without
    // a path this copy can neither read nor write a file, so it claims none.
    wchar_t path[kPathCapacity];
    HANDLE claim = nullptr;
    if (GetAlarmFilePath(path, kPathCapacity)) {
        switch (ClaimAlarmFile(g_className, path, &claim, &g_claimName)) {
        case Claim::Held: break;
        case Claim::HandedOver: return 0;
        // Neither its claim nor its window can be reached from here.
        case Claim::Elevated:
            ShowMessageBox(nullptr, LoadText(IDS_ALREADY_ELEVATED), MB_OK | MB_ICONINFORMATION);
            return kExitClaimRefused;
        // The copy serving the file neither ended nor took this start.
        case Claim::GaveUp:
        case Claim::Pending: return kExitClaimRefused;
        }
        // Only this copy serves the folder now: what a save cut short left
        // there is its own to clear.
        ClearSaveLeftovers(path);
    }

    const HWND window = CreateWindowExW(WS_EX_APPWINDOW, g_className, g_windowTitle,
                                        WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, CW_USEDEFAULT, 0,
                                        nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        // Released before the message box: a copy that cannot serve the file
        // must not keep later starts from trying.
        if (claim != nullptr) CloseHandle(claim);
        return ReportFailedStart();
    }
    // Never shown: the window lives hidden for its whole life.
    UpdateWindow(window);

    const HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_MAIN));
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorW(message.hwnd, accelerators, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    // The last save is done (WM_DESTROY): another copy may serve the file now.
    if (claim != nullptr) CloseHandle(claim);
    return static_cast<int>(message.wParam);
}
