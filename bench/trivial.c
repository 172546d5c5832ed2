/* Benchmark peer: a Win32 GUI program that does nothing. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE h, HINSTANCE p, LPSTR c, int n) {
    (void)h; (void)p; (void)c; (void)n;
    return 0;
}
