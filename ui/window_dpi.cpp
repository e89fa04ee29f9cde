#include "ui/window_dpi.h"

#include "ui/dpi_scale.h"

namespace {

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);

// Looked up at run time: older systems lack it, and velmora must start there.
GetDpiForWindowFunction GetDpiForWindowOfTheSystem() {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<GetDpiForWindowFunction>(
                        reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")))
                  : nullptr;
}

int SystemDpi() {
    const HDC screen = GetDC(nullptr);
    if (screen == nullptr) return 0;
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

}  // namespace

int WindowDpi(HWND window) {
    static const GetDpiForWindowFunction getDpiForWindow = GetDpiForWindowOfTheSystem();
    int dpi = getDpiForWindow ? static_cast<int>(getDpiForWindow(window)) : 0;
    if (dpi <= 0) dpi = SystemDpi();
    return dpi > 0 ? dpi : kDesignDpi;
}

int ScaleForWindow(HWND window, int size) { return ScaleToDpi(size, WindowDpi(window)); }
