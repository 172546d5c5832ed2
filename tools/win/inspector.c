/* Test helper: prints the update window and its child controls as JSON, so
   end-to-end tests can observe the window from outside the process.
   Usage: inspector.exe            all update windows
          inspector.exe --repaint  also asks each of them to repaint whole
          inspector.exe --dpi N    first tells each of them that it is now
                                   on a monitor of N DPI, as Windows does
                                   when a window moves to another one
   Output: {"acp":..,"windows":[{"hwnd":..,"visible":..,"style":..,"exstyle":..,
            "rect":[x,y,w,h],"client":[w,h],"pid":..,"children":[{"id":..,
            "class":"..","visible":..,"rect":[x,y,w,h],"text":".."}]}]} */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "res/resource.h"

static void PutJsonString(const wchar_t* ws) {
    char buf[4096];
    int n = WideCharToMultiByte(CP_UTF8, 0, ws, -1, buf, sizeof(buf), NULL, NULL);
    if (n <= 0) buf[0] = 0;
    putchar('"');
    for (const unsigned char* p = (const unsigned char*)buf; *p; ++p) {
        if (*p == '"' || *p == '\\') printf("\\%c", *p);
        else if (*p < 0x20) printf("\\u%04x", *p);
        else putchar(*p);
    }
    putchar('"');
}

static int g_nChild;
static HWND g_hParent;

static BOOL CALLBACK EnumChild(HWND h, LPARAM lp) {
    (void)lp;
    if (GetParent(h) != g_hParent) return TRUE;
    wchar_t cls[256], text[1024];
    GetClassNameW(h, cls, 256);
    GetWindowTextW(h, text, 1024);
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(NULL, g_hParent, (POINT*)&r, 2);
    printf("%s{\"id\":%d,\"class\":", g_nChild++ ? "," : "", GetDlgCtrlID(h));
    PutJsonString(cls);
    printf(",\"visible\":%s,\"rect\":[%ld,%ld,%ld,%ld],\"style\":%lu,\"text\":",
           (GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) ? "true" : "false",
           r.left, r.top, r.right - r.left, r.bottom - r.top, (unsigned long)GetWindowLongW(h, GWL_STYLE));
    PutJsonString(text);
    putchar('}');
    return TRUE;
}

static int g_nWindows;
static int g_bRepaint;
static int g_nNewDpi;

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

/* WM_DPICHANGED: the new DPI, and the rectangle Windows proposes (the
   window's own, scaled from the display's present DPI, the one Wine has
   for all windows), which must lie in the receiver's memory. */
static void SendDpiChanged(HWND h, DWORD pid) {
    RECT r;
    GetWindowRect(h, &r);
    HDC hScreen = GetDC(NULL);
    int nOld = GetDeviceCaps(hScreen, LOGPIXELSX);
    ReleaseDC(NULL, hScreen);
    r.right = r.left + MulDiv(r.right - r.left, g_nNewDpi, nOld);
    r.bottom = r.top + MulDiv(r.bottom - r.top, g_nNewDpi, nOld);
    HANDLE hProcess = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    void* pRemote = hProcess ? VirtualAllocEx(hProcess, NULL, sizeof(r), MEM_COMMIT, PAGE_READWRITE) : NULL;
    if (pRemote && WriteProcessMemory(hProcess, pRemote, &r, sizeof(r), NULL))
        SendMessageW(h, WM_DPICHANGED, MAKEWPARAM(g_nNewDpi, g_nNewDpi), (LPARAM)pRemote);
    if (pRemote) VirtualFreeEx(hProcess, pRemote, 0, MEM_RELEASE);
    if (hProcess) CloseHandle(hProcess);
}

static BOOL CALLBACK EnumTop(HWND h, LPARAM lp) {
    (void)lp;
    wchar_t cls[64];
    GetClassNameW(h, cls, 64);
    if (lstrcmpW(cls, L"#32770") != 0) return TRUE;
    HWND hStatus = GetDlgItem(h, IDC_STATUS_TEXT);
    if (!hStatus || !GetDlgItem(h, IDC_BTN_CLOSE)) return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (g_nNewDpi) SendDpiChanged(h, pid);
    if (g_bRepaint) RedrawWindow(h, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT r, c;
    GetWindowRect(h, &r);
    GetClientRect(h, &c);
    printf("%s{\"hwnd\":%lu,\"pid\":%lu,\"visible\":%s,\"style\":%lu,\"exstyle\":%lu,"
           "\"rect\":[%ld,%ld,%ld,%ld],\"client\":[%ld,%ld],\"children\":[",
           g_nWindows++ ? "," : "", (unsigned long)(ULONG_PTR)h, (unsigned long)pid,
           IsWindowVisible(h) ? "true" : "false", (unsigned long)GetWindowLongW(h, GWL_STYLE),
           (unsigned long)GetWindowLongW(h, GWL_EXSTYLE), r.left, r.top, r.right - r.left,
           r.bottom - r.top, c.right, c.bottom);
    g_nChild = 0;
    g_hParent = h;
    EnumChildWindows(h, EnumChild, 0);
    printf("]}");
    return TRUE;
}

int main(int argc, char** argv) {
    /* The updater's rectangles in real pixels, whatever the display scale:
       unaware, Windows would report them scaled to 96 DPI. */
    SetProcessDPIAware();
    g_bRepaint = argc > 1 && strcmp(argv[1], "--repaint") == 0;
    if (argc > 2 && strcmp(argv[1], "--dpi") == 0) g_nNewDpi = atoi(argv[2]);
    /* The code page of the inspector's own locale tells a test which one a
       program started beside it runs under. */
    printf("{\"acp\":%u,\"windows\":[", GetACP());
    EnumWindows(EnumTop, 0);
    printf("]}\n");
    return 0;
}
