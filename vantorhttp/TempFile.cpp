// The temporary file of a transfer (TempFile.h). Wide throughout: the owner
// names the same folder and file in the same text, whatever code page the
// thread or the system uses.
#include "TempFile.h"

#include <atomic>
#include <mutex>
#include <string>

#include "common/Handle.h"

namespace {

const wchar_t kPrefix[] = L"~vantor-";
const wchar_t kSuffix[] = L".part";

std::atomic<unsigned> g_tempSerial{0};

std::wstring TempFolder(const Shared& s) {
    std::wstring dir = s.tempDir;
    if (dir.empty()) {
        wchar_t buf[MAX_PATH + 1];
        DWORD n = GetTempPathW(MAX_PATH + 1, buf);
        if (n == 0 || n > MAX_PATH) return std::wstring();
        dir.assign(buf, n);
    }
    if (dir.back() != L'\\' && dir.back() != L'/') dir += L'\\';
    return dir;
}

}  // namespace

bool CreateTemp(Shared& s, HANDLE* out) {
    std::wstring dir = TempFolder(s);
    if (dir.empty()) return false;
    const unsigned long pid = GetCurrentProcessId();
    std::lock_guard<std::mutex> lk(s.mtx);
    if (s.stop.IsRaised()) return false;
    // A crashed run of a process with the same id may have left names behind.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring path =
            dir + kPrefix + std::to_wstring(pid) + L"-" + std::to_wstring(g_tempSerial.fetch_add(1)) + kSuffix;
        // Share-delete lets the owner remove the file while this thread holds it.
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            s.file = h;
            s.tempPath = path;
            *out = h;
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

void DeleteTempLocked(Shared& s) {
    if (!s.tempPath.empty() && s.keptPath.empty()) DeleteFileW(s.tempPath.c_str());
    s.tempPath.clear();
}

void CVantorHttp::DeleteLeftoverParts(const std::wstring& folder) {
    std::wstring dir = folder;
    if (!dir.empty() && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
    const std::wstring pattern = dir + L"\\" + kPrefix + L"*" + kSuffix;
    WIN32_FIND_DATAW fd;
    const CFindHandle find(::FindFirstFileW(pattern.c_str(), &fd));
    if (!find) return;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ::DeleteFileW((dir + L"\\" + fd.cFileName).c_str());
    } while (::FindNextFileW(find.Get(), &fd));
}
