/* Benchmark peer: a bare 500 x 200 popup dialog from an in-memory template,
   shown at once; it closes itself after ten seconds. */
#include <windows.h>

static INT_PTR CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    (void)w; (void)l;
    if (m == WM_INITDIALOG) {
        SetWindowPos(h, NULL, 262, 284, 500, 200, SWP_NOZORDER);
        SetTimer(h, 1, 10000, NULL);
        return TRUE;
    }
    if (m == WM_TIMER || m == WM_CLOSE) {
        EndDialog(h, 0);
        return TRUE;
    }
    return FALSE;
}

int WINAPI WinMain(HINSTANCE hi, HINSTANCE p, LPSTR c, int n) {
    (void)p; (void)c; (void)n;
    static WORD tmpl[64];
    DLGTEMPLATE* t = (DLGTEMPLATE*)tmpl;
    t->style = WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | WS_SYSMENU;
    t->cx = 320;
    t->cy = 200;
    return (int)DialogBoxIndirectParamW(hi, t, NULL, Proc, 0);
}
