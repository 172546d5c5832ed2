/* Benchmark peer: the least a WinHTTP client must do to fetch a URL into a
   file (1 MiB reads, no progress, no hashing); https with the protocols the
   updater asks for. Usage: winhttp_ref URL FILE */
#include <windows.h>
#include <winhttp.h>
#include <stdio.h>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    URL_COMPONENTS uc = {0};
    wchar_t host[256], path[2048];
    uc.dwStructSize = sizeof(uc);
    uc.lpszHostName = host; uc.dwHostNameLength = 256;
    uc.lpszUrlPath = path; uc.dwUrlPathLength = 2048;
    if (!WinHttpCrackUrl(argv[1], 0, 0, &uc)) return 3;
    HINTERNET s = WinHttpOpen(L"ref", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, NULL, NULL, 0);
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | 0x2000 /* TLS 1.3 */;
    WinHttpSetOption(s, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols));
    HINTERNET c = WinHttpConnect(s, host, uc.nPort, 0);
    HINTERNET r = WinHttpOpenRequest(c, L"GET", path, NULL, NULL, NULL,
                                     uc.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
    if (!r || !WinHttpSendRequest(r, NULL, 0, NULL, 0, 0, 0) || !WinHttpReceiveResponse(r, NULL)) return 4;
    HANDLE f = CreateFileW(argv[2], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (f == INVALID_HANDLE_VALUE) return 5;
    static char buf[1 << 20];
    unsigned long long total = 0;
    for (;;) {
        DWORD n = 0, w;
        if (!WinHttpReadData(r, buf, sizeof(buf), &n)) return 6;
        if (n == 0) break;
        WriteFile(f, buf, n, &w, NULL);
        total += n;
    }
    CloseHandle(f);
    WinHttpCloseHandle(r); WinHttpCloseHandle(c); WinHttpCloseHandle(s);
    printf("%llu\n", total);
    return 0;
}
