#include "ui/Dpi.h"

#include "ui/Layout.h"

namespace {
template <class Fn>
Fn Lookup(HMODULE hModule, const char* pszName) {
    return hModule ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(hModule, pszName))) : nullptr;
}

HMODULE User32() { return ::GetModuleHandleW(L"user32.dll"); }

// shcore.dll exists from Windows 8.1 on, which always takes the flag that
// keeps the search in the system folder; 7 without its loader update refuses
// the flag, and has no such DLL anyway.
HMODULE Shcore() {
    static const HMODULE hShcore = ::LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return hShcore;
}

int MonitorDpi(HWND hWnd) {
    enum { kEffectiveDpi = 0 };  // MDT_EFFECTIVE_DPI
    using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    const auto pfn = Lookup<GetDpiForMonitorFn>(Shcore(), "GetDpiForMonitor");
    UINT x = 0, y = 0;
    if (!pfn || FAILED(pfn(::MonitorFromWindow(hWnd, MONITOR_DEFAULTTONEAREST), kEffectiveDpi, &x, &y))) return 0;
    return static_cast<int>(x);
}

int SystemDpi() {
    const HDC hScreen = ::GetDC(nullptr);
    const int nDpi = hScreen ? ::GetDeviceCaps(hScreen, LOGPIXELSX) : 0;
    if (hScreen) ::ReleaseDC(nullptr, hScreen);
    return nDpi;
}
}  // namespace

int WindowDpi(HWND hWnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto pfnWindow = Lookup<GetDpiForWindowFn>(User32(), "GetDpiForWindow");
    int nDpi = pfnWindow && hWnd ? static_cast<int>(pfnWindow(hWnd)) : 0;
    if (nDpi <= 0) nDpi = MonitorDpi(hWnd);
    if (nDpi <= 0) nDpi = SystemDpi();
    return nDpi > 0 ? nDpi : kBaseDpi;
}

void KeepDialogLayoutOnDpiChange(HWND hDlg) {
    enum { kDisableAll = 1 };  // DDC_DISABLE_ALL
    using SetDialogDpiChangeBehaviorFn = BOOL(WINAPI*)(HWND, int, int);
    static const auto pfn = Lookup<SetDialogDpiChangeBehaviorFn>(User32(), "SetDialogDpiChangeBehavior");
    if (pfn) pfn(hDlg, kDisableAll, kDisableAll);
}
