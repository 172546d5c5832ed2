#include "update/Download.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "CVantorHttp.h"
#include "common/Log.h"
#include "update/PartialDownload.h"
#include "update/Pause.h"
#include "update/TextConv.h"
#include "update/Trust.h"
#include "update/UpdateView.h"
#include "update/UrlName.h"
#include "update/WorkDir.h"

namespace {
// The bar shows 100 % this long before the installer starts.
const uint64_t kHandOverPauseMs = 1000;

// Waits until nMs after nStartMs unless the window asks the worker to stop;
// true when asked.
bool StopRequested(CUpdateView* pView, uint64_t nStartMs, uint64_t nMs) {
    const uint64_t nElapsed = ::GetTickCount64() - nStartMs;
    return PauseUnlessStopped(
        nMs > nElapsed ? nMs - nElapsed : 0, 10, [] { return static_cast<uint64_t>(::GetTickCount64()); },
        [](uint64_t n) { ::Sleep(static_cast<DWORD>(n)); }, [pView] { return pView->m_bStopWorker.load(); });
}

bool Fail(CUpdateView* pView, const char* pszWhy, size_t nSourcesTried = 0) {
    LogFields f = {{"result", "failed"}, {"reason", pszWhy}};
    if (nSourcesTried) f.emplace_back("sources", std::to_string(nSourcesTried));
    LogEvent("download", f);
    if (!pView->m_bStopWorker) pView->ShowState(STATE_FAILED);
    return false;
}

const char* PartName(IntegrityPart part) {
    return part == IntegrityPart::Unchecked ? "unchecked" : part == IntegrityPart::Ok ? "ok" : "mismatch";
}

void LogVerify(const IntegrityCheck& check, uint64_t nBytes) {
    LogEvent("verify", {{"stage", "download"},
                        {"result", check.Matches() ? "ok" : "mismatch"},
                        {"bytes", std::to_string(nBytes)},
                        {"size", PartName(check.size)},
                        {"sha256", PartName(check.sha256)}});
}

// Failed: this source did not deliver the installer (unreachable, an error
// status, retries used up, a TLS failure, other bytes than the manifest
// names), so the next may. LocalError and Stopped end the download.
enum class SourceResult { Saved, Failed, LocalError, Stopped };

// Downloads the installer from one source, verifies it against what the
// manifest says and saves it at widePath. The body lands in the work folder
// under a name of its own and is renamed into place only once complete and
// verified. It is kept there across runs: closing the window, a crash or a
// power cut costs at most the last few MiB, and the next run of the same
// download continues it. A source that fails, or bytes that are not the
// installer, leave nothing kept: the next source starts from zero.
SourceResult DownloadFromSource(const char* pszSourceUrl, CUpdateView* pView, const std::wstring& workDir,
                                const std::wstring& widePath) {
    const IntegrityExpectation want = pView->m_integrity;
    CVantorHttp http;
    http.SetTempDir(workDir.c_str());
    const std::string url = pszSourceUrl;
    http.KeepBody(PartialFilePath(workDir).c_str(), TakeKeptDownload(workDir, pszSourceUrl, want, kHasUpdatePublicKey),
                  [workDir, url, want](const CVantorHttp::KeptBody& body) {
                      SaveKeptRecord(workDir, url.c_str(), want, body);
                  });
    // An installer is worth trying again, where it broke off; the
    // manifest is not (a silent check must stay short).
    http.EnableRetries();
    if (want.bHasSha256) http.EnableSha256();
    if (want.bHasSize) http.SetMaxBodySize(want.nSize);  // 0 too: then nothing may arrive
    http.SendData("GET", pszSourceUrl, nullptr, nullptr, nullptr, nullptr, nullptr);
    while (http.GetState() > 0) {
        if (pView->m_bStopWorker) {
            http.Cancel();
            LogEvent("download", {{"result", "stopped"}, {"bytes", std::to_string(http.GetReceivedBytes())}});
            return SourceResult::Stopped;
        }
        // Another source starts from zero: the bar holds until it passes.
        pView->m_dProgress = std::max(pView->m_dProgress.load(), http.GetDownProgress());
        ::Sleep(10);
    }
    if (pView->m_bStopWorker) return SourceResult::Stopped;
    const int nState = http.GetState();
    if (nState != CVantorHttp::kStateDone) {
        DiscardKeptDownload(workDir);
        if (nState == CVantorHttp::kErrFile) return SourceResult::LocalError;
        LogEvent("source", {{"result", "failed"}, {"reason", CVantorHttp::StateName(nState)}});
        return SourceResult::Failed;
    }
    uint8_t digest[32];
    bool bHaveDigest = http.GetSha256(digest);
    const IntegrityCheck check = CheckIntegrity(want, http.GetReceivedBytes(), bHaveDigest ? digest : nullptr);
    LogVerify(check, http.GetReceivedBytes());
    if (!check.Matches()) {
        DiscardKeptDownload(workDir);
        return SourceResult::Failed;
    }

    pView->m_dProgress = 1.0;
    if (::PathFileExistsW(widePath.c_str())) ::DeleteFileW(widePath.c_str());
    const bool bSaved = http.SaveData(widePath.c_str()) == 0;
    DiscardKeptDownload(workDir);
    return bSaved ? SourceResult::Saved : SourceResult::LocalError;
}
}  // namespace

void HandToShell(const std::wstring& path) {
    const HINSTANCE hResult = ::ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOW);
    LogEvent("launch", {{"file", LogPath(path)}, {"result", std::to_string(reinterpret_cast<intptr_t>(hResult))}});
}

std::wstring GetUrlFileName(const char* pszUrl) { return UrlFileName(NarrowToWide(pszUrl)); }

DWORD WINAPI DownloadThreadProc(LPVOID pParam) {
    CUpdateView* pView = static_cast<CUpdateView*>(pParam);
    DownloadAndLaunch(pView->m_szTarget, pView);
    return 0;
}

void StartDownloadThread(CUpdateView* pView) {
    // One at a time: a worker that has ended makes room for the next.
    if (pView->m_hWorker && ::WaitForSingleObject(pView->m_hWorker.Get(), 0) != WAIT_OBJECT_0) return;
    pView->m_bStopWorker = false;
    pView->m_hWorker.Reset(::CreateThread(nullptr, 0, DownloadThreadProc, pView, 0, nullptr));
}

bool DownloadAndLaunch(const char* pszUrl, CUpdateView* pView) {
    // Only a plain installer name is taken from the URL: nothing that names a
    // device, a stream or a folder, or that the shell would hand to a script
    // host. A path that does not fit is refused too.
    const std::wstring wideName = GetUrlFileName(pszUrl);
    LogEvent("download", {{"url", LogUrl(NarrowToWide(pszUrl))}});
    if (!IsAcceptableInstallerName(wideName)) return Fail(pView, "bad-file-name");
    const std::string name = WideToNarrow(wideName.c_str());
    char szPath[1024] = {};
    const char* pszWorkDir = GetWorkDir();
    if (!pszWorkDir[0] || !FormInstallerPath(szPath, sizeof(szPath), pszWorkDir, name.c_str()) ||
        !pView->m_bIntegrityValid)
        return Fail(pView, pView->m_bIntegrityValid ? "no-work-folder" : "bad-size-or-sha256");

    // One wide path, formed once, for every step from the check to the
    // launch: each conversion of its own could name another file.
    const std::wstring& workDir = GetWorkDirW();
    const std::wstring widePath = workDir + L"/" + wideName;
    // Checked again now: the folder may have been swapped since the check.
    if (CheckFolder(workDir.c_str()) != FolderCheck::Own) return Fail(pView, "folder-not-ours");
    DeleteLeftoverParts(workDir);
    const IntegrityExpectation& want = pView->m_integrity;
    // The manifest's url first, then its mirrors in order, each from byte
    // zero with retries of its own; the file keeps the name from url. A
    // download kept from an earlier run goes on from the source it came
    // from, whichever that is, before the others are tried.
    std::vector<std::string> sources(1, pszUrl);
    sources.insert(sources.end(), pView->m_mirrors.begin(), pView->m_mirrors.end());
    const auto kept = std::find(sources.begin(), sources.end(), KeptDownloadUrl(workDir));
    if (kept != sources.end()) std::rotate(sources.begin(), kept, kept + 1);
    SourceResult result = SourceResult::Failed;
    for (size_t i = 0; i < sources.size() && result == SourceResult::Failed; ++i) {
        const auto mirror = std::find(pView->m_mirrors.begin(), pView->m_mirrors.end(), sources[i]);
        if (sources[i] != pszUrl && mirror != pView->m_mirrors.end())
            LogEvent("source", {{"mirror", std::to_string(mirror - pView->m_mirrors.begin() + 1)},
                                {"url", LogUrl(NarrowToWide(sources[i].c_str()))}});
        result = DownloadFromSource(sources[i].c_str(), pView, workDir, widePath);
    }
    if (result == SourceResult::Stopped) return false;
    if (result != SourceResult::Saved)
        return Fail(pView, result == SourceResult::LocalError ? "local-file" : "every-source-failed",
                    sources.size());

    // From here until the shell has started it, the installer is held open
    // with read sharing only, and its digest is checked once more inside
    // the pause: what runs is exactly what was verified.
    const uint64_t nPauseStart = ::GetTickCount64();
    CHandle installer = OpenVerifiedInstaller(widePath.c_str(), want);
    LogEvent("verify", {{"stage", "launch"}, {"result", installer.IsValid() ? "ok" : "mismatch"}});
    if (!installer.IsValid()) {
        ::DeleteFileW(widePath.c_str());
        return Fail(pView, "changed-before-launch");
    }
    // The bar shows 100 % for a moment; closing the window meanwhile means
    // the user no longer wants the installer started.
    if (StopRequested(pView, nPauseStart, kHandOverPauseMs)) {
        LogEvent("launch", {{"result", "not-started"}, {"reason", "window-closed"}});
        return true;
    }
    pView->Hide();
    HandToShell(widePath);
    installer.Close();
    pView->Close();
    return true;
}

void CUpdateView::StopWorker() {
    if (!m_hWorker) return;
    m_bStopWorker = true;
    // Told to stop, the worker ends within about a second, but it uses this
    // object to its last step: no time limit, or the object could go first.
    // It may itself be sending to the window (show, hide, close): keep
    // handling sent messages while waiting, or both would wait forever.
    const HANDLE hWorker = m_hWorker.Get();
    for (;;) {
        DWORD r = ::MsgWaitForMultipleObjects(1, &hWorker, FALSE, INFINITE, QS_SENDMESSAGE);
        if (r != WAIT_OBJECT_0 + 1) break;
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    m_hWorker.Close();
}
