#include "update/download/HandOver.h"

#include <windows.h>
#include <shellapi.h>

#include <chrono>

#include "common/BCrypt.h"
#include "common/Log.h"
#include "update/UpdateView.h"
#include "update/fs/FolderSecurity.h"
#include "update/fs/WorkDir.h"

namespace {
// The bar shows 100 % this long before the installer starts.
const uint64_t kHandOverPauseMs = 1000;

// Where the verified installer really is, when that is where it was put:
// in the work folder as held since it was judged ours, under its own name.
// Empty when the path led anywhere else (a folder on the way swapped for a
// junction, say), since the shell would then start another file.
std::wstring VerifiedLocation(HANDLE hInstaller, const std::wstring& path) {
    const std::wstring actual = FinalPath(hInstaller), folder = FinalPath(GetWorkDirHandle());
    const size_t nName = path.find_last_of(L"\\/");
    if (actual.empty() || folder.empty() || nName == std::wstring::npos) return std::wstring();
    const std::wstring expected = folder + L"\\" + path.substr(nName + 1);
    return ::CompareStringOrdinal(actual.c_str(), -1, expected.c_str(), -1, TRUE) == CSTR_EQUAL ? actual
                                                                                                : std::wstring();
}
}  // namespace

CHandle OpenVerifiedInstaller(const wchar_t* pszPath, const IntegrityExpectation& want) {
    CHandle file(::CreateFileW(pszPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.IsValid()) return file;
    LARGE_INTEGER size = {};
    uint8_t digest[32];
    const bool bRead = (!want.bHasSize || ::GetFileSizeEx(file.Get(), &size)) &&
                       (!want.bHasSha256 || Sha256OfFile(file.Get(), digest));
    if (!bRead || !MatchesIntegrity(want, static_cast<uint64_t>(size.QuadPart), want.bHasSha256 ? digest : nullptr))
        file.Close();
    return file;
}

void HandToShell(const std::wstring& path) {
    const HINSTANCE hResult = ::ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOW);
    LogEvent("launch", {{"file", LogPath(path)}, {"result", std::to_string(reinterpret_cast<intptr_t>(hResult))}});
}

LaunchResult LaunchVerifiedInstaller(CUpdateView* pView, const std::wstring& path, const IntegrityExpectation& want) {
    // From here until the shell has started it, the installer is held open
    // with read sharing only, and its digest is checked once more inside
    // the pause: what runs is exactly what was verified.
    const uint64_t nPauseStart = ::GetTickCount64();
    CHandle installer = OpenVerifiedInstaller(path.c_str(), want);
    if (!installer.IsValid()) {
        LogEvent("verify", {{"stage", "launch"}, {"result", "mismatch"}});
        ::DeleteFileW(path.c_str());
        return LaunchResult::Changed;
    }
    // The bar shows 100 % for a moment; closing the window meanwhile means
    // the user no longer wants the installer started.
    const uint64_t nElapsed = ::GetTickCount64() - nPauseStart;
    const uint64_t nLeft = kHandOverPauseMs > nElapsed ? kHandOverPauseMs - nElapsed : 0;
    if (!pView->m_stopWorker.PauseUnlessRaised(std::chrono::milliseconds(nLeft))) {
        LogEvent("launch", {{"result", "not-started"}, {"reason", "window-closed"}});
        return LaunchResult::NotStarted;
    }
    // Where the handle is now, just before the shell resolves the path: the
    // folders are held, so only a system that lets held folders move could
    // tell another place, and then nothing is started (or deleted) there.
    const std::wstring location = VerifiedLocation(installer.Get(), path);
    LogEvent("verify", {{"stage", "launch"}, {"result", location.empty() ? "moved" : "ok"}});
    if (location.empty()) return LaunchResult::Changed;
    pView->Hide();
    HandToShell(location);
    installer.Close();
    pView->Close();
    return LaunchResult::Started;
}
