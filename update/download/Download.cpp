#include "update/download/Download.h"

#include <shlwapi.h>

#include <string>
#include <vector>

#include "CVantorHttp.h"
#include "common/Log.h"
#include "common/Progress.h"
#include "common/TextConv.h"
#include "update/UpdateView.h"
#include "update/download/HandOver.h"
#include "update/download/InstallerName.h"
#include "update/download/KeptDownload.h"
#include "update/download/Sources.h"
#include "update/fs/FolderSecurity.h"
#include "update/fs/WorkDir.h"
#include "update/manifest/Trust.h"

namespace {
bool Fail(CUpdateView* pView, const char* pszWhy, size_t nSourcesTried = 0) {
    LogFields f = {{"result", "failed"}, {"reason", pszWhy}};
    if (nSourcesTried) f.emplace_back("sources", std::to_string(nSourcesTried));
    LogEvent("download", f);
    if (!pView->m_stopWorker.IsRaised()) pView->ShowState(STATE_FAILED);
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

const char* AttemptResultName(CVantorHttp::AttemptResult result) {
    switch (result) {
    case CVantorHttp::AttemptResult::Done: return "done";
    case CVantorHttp::AttemptResult::Retry: return "retry";
    case CVantorHttp::AttemptResult::Final: return "final";
    }
    return "?";
}

// One line per request for the installer, never per read.
void LogAttempt(const CVantorHttp::AttemptReport& r) {
    LogFields f = {{"n", std::to_string(r.n)},           {"from", std::to_string(r.from)},
                   {"status", std::to_string(r.status)}, {"bytes", std::to_string(r.bytes)},
                   {"ms", std::to_string(r.ms)},         {"result", AttemptResultName(r.result)}};
    if (r.state != CVantorHttp::kStateDone) f.emplace_back("reason", CVantorHttp::StateName(r.state));
    if (r.error) AddErrorFields(f, r.error);
    if (r.result == CVantorHttp::AttemptResult::Retry) f.emplace_back("pause_ms", std::to_string(r.pauseMs));
    LogEvent("attempt", f);
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
    http.KeepDownload(KeptFilePath(workDir).c_str(), TakeKeptDownload(workDir, pszSourceUrl, want, kHasUpdatePublicKey),
                      [workDir, url, want](const CVantorHttp::KeptDownload& body) {
                          SaveKeptRecord(workDir, url.c_str(), want, body);
                      });
    // An installer is worth trying again, where it broke off; the
    // manifest is not (a silent check must stay short).
    http.EnableRetries();
    http.OnAttempt(LogAttempt);
    if (want.bHasSha256) http.EnableSha256();
    if (want.bHasSize) http.SetMaxBodySize(want.nSize);  // 0 too: then nothing may arrive
    http.SendData("GET", pszSourceUrl, nullptr, nullptr, nullptr, nullptr, nullptr);
    while (http.GetState() > 0) {
        if (pView->m_stopWorker.IsRaised()) {
            http.Cancel();
            LogEvent("download", {{"result", "stopped"}, {"bytes", std::to_string(http.GetReceivedBytes())}});
            return SourceResult::Stopped;
        }
        // Another source starts from zero: the bar holds until it passes.
        pView->m_dProgress = ShownProgress(pView->m_dProgress.load(), http.GetDownProgress());
        ::Sleep(10);
    }
    if (pView->m_stopWorker.IsRaised()) return SourceResult::Stopped;
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

std::wstring GetUrlFileName(const char* pszUrl) { return UrlFileName(NarrowToWide(pszUrl)); }

DWORD WINAPI DownloadThreadProc(LPVOID pParam) {
    CUpdateView* pView = static_cast<CUpdateView*>(pParam);
    DownloadAndLaunch(pView->m_szTarget, pView);
    return 0;
}

void StartDownloadThread(CUpdateView* pView) {
    // One at a time: a worker that has ended makes room for the next.
    if (pView->m_hWorker && ::WaitForSingleObject(pView->m_hWorker.Get(), 0) != WAIT_OBJECT_0) return;
    pView->m_stopWorker.Clear();
    pView->m_hWorker.Reset(::CreateThread(nullptr, 0, DownloadThreadProc, pView, 0, nullptr));
}

bool DownloadAndLaunch(const char* pszUrl, CUpdateView* pView) {
    // Only a plain installer name is taken from the URL: nothing that names a
    // device, a stream or a folder, or that the shell would hand to a script
    // host.
    const std::wstring wideName = GetUrlFileName(pszUrl);
    LogEvent("download", {{"url", LogUrl(NarrowToWide(pszUrl))}});
    if (!IsAcceptableInstallerName(wideName)) return Fail(pView, "bad-file-name");
    if (!GetWorkDir()[0] || !pView->m_bIntegrityValid)
        return Fail(pView, pView->m_bIntegrityValid ? "no-work-folder" : "bad-size-or-sha256");

    // One wide path, formed once, for every step from the check to the
    // launch: each conversion of its own could name another file.
    const std::wstring& workDir = GetWorkDirW();
    const std::wstring widePath = workDir + L"/" + wideName;
    // Checked again now: the folder may have been swapped since the check.
    if (CheckFolder(workDir.c_str()) != FolderCheck::Own) return Fail(pView, "folder-not-ours");
    CVantorHttp::DeleteLeftoverParts(workDir);
    const IntegrityExpectation& want = pView->m_integrity;
    // Each source from byte zero with retries of its own; the file keeps the
    // name from url.
    const std::vector<DownloadSource> sources = OrderSources(pszUrl, pView->m_mirrors, KeptDownloadUrl(workDir));
    SourceResult result = SourceResult::Failed;
    for (size_t i = 0; i < sources.size() && result == SourceResult::Failed; ++i) {
        if (sources[i].nMirror)
            LogEvent("source", {{"mirror", std::to_string(sources[i].nMirror)},
                                {"url", LogUrl(NarrowToWide(sources[i].url.c_str()))}});
        result = DownloadFromSource(sources[i].url.c_str(), pView, workDir, widePath);
    }
    if (result == SourceResult::Stopped) return false;
    if (result != SourceResult::Saved)
        return Fail(pView, result == SourceResult::LocalError ? "local-file" : "every-source-failed", sources.size());
    switch (LaunchVerifiedInstaller(pView, widePath, want)) {
    case LaunchResult::Changed: return Fail(pView, "changed-before-launch");
    case LaunchResult::NotStarted:
    case LaunchResult::Started: break;
    }
    return true;
}

void CUpdateView::StopWorker() {
    if (!m_hWorker) return;
    m_stopWorker.Raise();
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
