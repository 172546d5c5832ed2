#include "common/Log.h"

#include <windows.h>

#include <mutex>
#include <vector>

#include "common/Handle.h"
#include "common/TextConv.h"

namespace {
constexpr size_t kMaxHeldLines = 64;

// Never destroyed: a transfer thread left stuck in the network may still
// log its last attempt while the process exits.
struct LogState {
    std::mutex mutex;  // guards everything below
    bool bFolderKnown = false;
    std::wstring logPath;  // empty when the log is off
    std::vector<std::string> held;
};
LogState& State() {
    static LogState* const state = new LogState;
    return *state;
}

std::wstring WithoutTrailingSeparator(std::wstring path) {
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

// Folders that name the user, longest first, each with the name it is
// written as.
const std::vector<std::pair<std::string, std::string>>& PrivateFolders() {
    static const std::vector<std::pair<std::string, std::string>> folders = [] {
        std::vector<std::pair<std::string, std::string>> list;
        wchar_t buf[MAX_PATH + 1] = {};
        const DWORD n = ::GetTempPathW(MAX_PATH + 1, buf);
        if (n > 0 && n <= MAX_PATH) {
            const std::wstring temp = WithoutTrailingSeparator(buf);
            wchar_t longBuf[MAX_PATH + 1] = {};
            const DWORD nLong = ::GetLongPathNameW(temp.c_str(), longBuf, MAX_PATH + 1);
            if (nLong > 0 && nLong <= MAX_PATH && temp != longBuf)
                list.emplace_back(WideToUtf8(WithoutTrailingSeparator(longBuf)), "%TEMP%");
            list.emplace_back(WideToUtf8(temp), "%TEMP%");
        }
        const DWORD nProfile = ::GetEnvironmentVariableW(L"USERPROFILE", buf, MAX_PATH + 1);
        if (nProfile > 0 && nProfile <= MAX_PATH)
            list.emplace_back(WideToUtf8(WithoutTrailingSeparator(buf)), "%USERPROFILE%");
        return list;
    }();
    return folders;
}

// Appends under the state's mutex; renames a full log to update.log.1 first. Another
// copy of us may append or rename at the same moment: a line is one write
// to a file opened for appending only, so lines never mix.
void WriteLocked(const std::wstring& logPath, const std::string& line) {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    for (int pass = 0; pass < 2; ++pass) {
        CHandle file(::CreateFileW(logPath.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, share, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file.IsValid()) return;
        LARGE_INTEGER size = {};
        if (!::GetFileSizeEx(file.Get(), &size)) return;
        if (LogNeedsRotation(static_cast<uint64_t>(size.QuadPart), line.size())) {
            if (pass > 0) return;  // still full: someone else's doing; skip rather than pass the bound
            file.Close();
            if (!::MoveFileExW(logPath.c_str(), (logPath + L".1").c_str(), MOVEFILE_REPLACE_EXISTING)) return;
            continue;
        }
        DWORD written = 0;
        ::WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
}
}  // namespace

void SetLogFolder(const std::wstring& folder) {
    try {
        LogState& st = State();
        std::lock_guard<std::mutex> lock(st.mutex);
        if (st.bFolderKnown) return;
        st.bFolderKnown = true;
        if (!folder.empty()) {
            st.logPath = WithoutTrailingSeparator(folder) + L"\\update.log";
            for (const std::string& line : st.held) WriteLocked(st.logPath, line);
        }
        st.held.clear();
        st.held.shrink_to_fit();
    } catch (...) {
    }
}

void LogEvent(const char* event, const LogFields& fields) {
    if (!IsLogEvent(event)) return;  // an event support has no description of
    try {
        SYSTEMTIME now;
        ::GetSystemTime(&now);
        const LogTime t{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
        const std::string line = FormatLogLine(t, ::GetCurrentProcessId(), event, fields) + "\n";
        LogState& st = State();
        std::lock_guard<std::mutex> lock(st.mutex);
        if (!st.bFolderKnown) {
            if (st.held.size() < kMaxHeldLines) st.held.push_back(line);
        } else if (!st.logPath.empty()) {
            WriteLocked(st.logPath, line);
        }
    } catch (...) {
    }
}

std::string LogPath(const std::wstring& path) {
    try {
        return RedactPath(WideToUtf8(path), PrivateFolders());
    } catch (...) {
        return "?";
    }
}

std::string LogUrl(const std::wstring& url) {
    try {
        return RedactUrl(WideToUtf8(url));
    } catch (...) {
        return "?";
    }
}

void AddErrorFields(LogFields& fields, unsigned long code) {
    fields.emplace_back("error", std::to_string(code));
    const char* name = ErrorCodeName(code);
    if (*name) fields.emplace_back("error_name", name);
}
