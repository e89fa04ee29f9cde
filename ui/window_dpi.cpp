#include "ui/window_dpi.h"

#include "common/system_dlls.h"
#include "ui/dpi_scale.h"

namespace {

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);

int SystemDpi() {
    const HDC screen = GetDC(nullptr);
    if (screen == nullptr) return 0;
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

}  // namespace

int WindowDpi(HWND window) {
    // Windows 10 1607 and later; velmora must start on older systems too.
    static const auto getDpiForWindow = SystemFunction<GetDpiForWindowFunction>(L"user32.dll", "GetDpiForWindow");
    int dpi = getDpiForWindow ? static_cast<int>(getDpiForWindow(window)) : 0;
    if (dpi <= 0) dpi = SystemDpi();
    return dpi > 0 ? dpi : kDesignDpi;
}

int ScaleForWindow(HWND window, int size) { return ScaleToDpi(size, WindowDpi(window)); }
