// The file of a kept download (KeptFile.h), read as hostile: it outlived
// the run that wrote it.
#include "KeptFile.h"

#include "common/BCrypt.h"

HANDLE OpenKeptFile(const std::wstring& path) {
    // The link itself, not what it points to, so the check below sees it.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return h;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        info.nNumberOfLinks > 1) {
        CloseHandle(h);
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

bool TakeBackHeldBytes(HANDLE hFile, uint64_t nHeld, CSha256* pHasher) {
    LARGE_INTEGER size, pos;
    pos.QuadPart = static_cast<LONGLONG>(nHeld);
    bool ok = GetFileSizeEx(hFile, &size) && static_cast<uint64_t>(size.QuadPart) >= nHeld &&
              SetFilePointerEx(hFile, pos, nullptr, FILE_BEGIN) && SetEndOfFile(hFile);
    if (ok && pHasher) {
        // Read back, not trusted: the digest must cover what is on the disk.
        uint64_t nRead = 0;
        ok = AddFileStart(*pHasher, hFile, nHeld, nRead) && nRead == nHeld;
    }
    if (!ok) {
        LARGE_INTEGER zero = {};
        if (SetFilePointerEx(hFile, zero, nullptr, FILE_BEGIN)) SetEndOfFile(hFile);
    }
    return ok;
}
