/* Test helper: holds a file open without any sharing, as another program
   might, until it is killed. Usage: locker.exe <path>. Prints "locked". */
#include <windows.h>
#include <stdio.h>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    HANDLE h = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        printf("error %lu\n", GetLastError());
        return 1;
    }
    printf("locked\n");
    fflush(stdout);
    Sleep(INFINITE);
    return 0;
}
