/* Stands in for a DLL that someone planted beside the updater under the
   name of a system DLL it uses (msimg32.dll): when loaded it leaves
   "<its own path>.ran". It exports what the updater would import from the
   real one, so that an updater that loads it still starts. */
/* Our own AlphaBlend, not the one the header declares for import. */
#define AlphaBlend SystemAlphaBlend
#include <windows.h>
#undef AlphaBlend

BOOL WINAPI DllMain(HINSTANCE hModule, DWORD nReason, LPVOID pReserved) {
    (void)pReserved;
    if (nReason == DLL_PROCESS_ATTACH) {
        wchar_t szPath[MAX_PATH + 8];
        DWORD n = GetModuleFileNameW(hModule, szPath, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return TRUE;
        lstrcatW(szPath, L".ran");
        HANDLE h = CreateFileW(szPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI AlphaBlend(HDC hDest, int xDest, int yDest, int wDest, int hDest2, HDC hSrc, int xSrc, int ySrc,
                              int wSrc, int hSrc2, BLENDFUNCTION blend) {
    return GdiAlphaBlend(hDest, xDest, yDest, wDest, hDest2, hSrc, xSrc, ySrc, wSrc, hSrc2, blend);
}
