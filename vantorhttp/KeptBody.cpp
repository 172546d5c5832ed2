#include "KeptBody.h"

#include <algorithm>
#include <vector>

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
        std::vector<uint8_t> buf(1u << 20);
        LARGE_INTEGER zero = {};
        ok = SetFilePointerEx(hFile, zero, nullptr, FILE_BEGIN);
        for (uint64_t left = nHeld; ok && left > 0;) {
            DWORD got = 0;
            const DWORD want = static_cast<DWORD>(std::min<uint64_t>(left, buf.size()));
            ok = ReadFile(hFile, buf.data(), want, &got, nullptr) && got == want && pHasher->Add(buf.data(), got);
            left -= got;
        }
    }
    if (!ok) {
        LARGE_INTEGER zero = {};
        if (SetFilePointerEx(hFile, zero, nullptr, FILE_BEGIN)) SetEndOfFile(hFile);
    }
    return ok;
}
