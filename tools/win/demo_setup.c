/* The demo installer: shows nothing, leaves a marker file beside itself
   ("<own path>.ran") holding its command line, and exits. */
#include <windows.h>
#include <wchar.h>

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrev, LPWSTR pszCmdLine, int nShow) {
    (void)hInstance; (void)hPrev; (void)nShow;
    wchar_t szPath[MAX_PATH + 8];
    DWORD n = GetModuleFileNameW(NULL, szPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 1;
    wcscat(szPath, L".ran");
    HANDLE h = CreateFileW(szPath, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) return 2;
    char szLine[1024];
    int len = WideCharToMultiByte(CP_UTF8, 0, pszCmdLine, -1, szLine, sizeof(szLine) - 2, NULL, NULL);
    if (len <= 0) len = 1;
    szLine[len - 1] = '\n';
    DWORD written;
    WriteFile(h, szLine, (DWORD)len, &written, NULL);
    CloseHandle(h);
    return 0;
}
