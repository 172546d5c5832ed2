#include "update/Download.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <cstring>

#include "CVantorHttp.h"
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

bool Fail(CUpdateView* pView) {
    if (!pView->m_bStopWorker) pView->ShowState(STATE_FAILED);
    return false;
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
    pView->m_bStopWorker = false;
    pView->m_hWorker.Reset(::CreateThread(nullptr, 0, DownloadThreadProc, pView, 0, nullptr));
}

bool DownloadAndLaunch(const char* pszUrl, CUpdateView* pView) {
    // Only a plain installer name is taken from the URL: nothing that names a
    // device, a stream or a folder, or that the shell would hand to a script
    // host. A path that does not fit is refused too.
    const std::wstring wideName = GetUrlFileName(pszUrl);
    if (!IsAcceptableInstallerName(wideName)) return Fail(pView);
    const std::string name = WideToNarrow(wideName.c_str());
    char szPath[1024] = {};
    const char* pszWorkDir = GetWorkDir();
    if (!pszWorkDir[0] || !FormInstallerPath(szPath, sizeof(szPath), pszWorkDir, name.c_str()) ||
        !pView->m_bIntegrityValid)
        return Fail(pView);

    // One wide path, formed once, for every step from the check to the
    // launch: each conversion of its own could name another file.
    const std::wstring& workDir = GetWorkDirW();
    const std::wstring widePath = workDir + L"/" + wideName;
    // Checked again now: the folder may have been swapped since the check.
    if (CheckFolder(workDir.c_str()) != FolderCheck::Own) return Fail(pView);
    DeleteLeftoverParts(workDir);
    const IntegrityExpectation want = pView->m_integrity;
    bool bComplete = false;
    {
        CVantorHttp http;
        // The body lands in the work folder under a name of its own and is
        // renamed into place only once complete and verified. It is kept
        // there across runs: closing the window, a crash or a power cut
        // costs at most the last few MiB, and the next run of the same
        // download continues it.
        const std::string url = pszUrl;
        http.KeepBody(PartialFilePath(workDir).c_str(), TakeKeptDownload(workDir, pszUrl, want, kHasUpdatePublicKey),
                      [workDir, url, want](const CVantorHttp::KeptBody& body) {
                          SaveKeptRecord(workDir, url.c_str(), want, body);
                      });
        // An installer is worth trying again, where it broke off; the
        // manifest is not (a silent check must stay short).
        http.EnableRetries();
        if (want.bHasSha256) http.EnableSha256();
        if (want.bHasSize) http.SetMaxBodySize(want.nSize);  // 0 too: then nothing may arrive
        http.SendData("GET", pszUrl, nullptr, nullptr, nullptr, nullptr, nullptr);
        while (http.GetState() > 0) {
            if (pView->m_bStopWorker) {
                http.Cancel();
                return false;
            }
            pView->m_dProgress = http.GetDownProgress();
            ::Sleep(10);
        }
        if (pView->m_bStopWorker) return false;
        uint8_t digest[32];
        bool bHaveDigest = http.GetSha256(digest);
        // A transfer that failed for good, or bytes that are not the
        // installer, are not worth keeping.
        if (http.GetState() != CVantorHttp::kStateDone ||
            !MatchesIntegrity(want, http.GetReceivedBytes(), bHaveDigest ? digest : nullptr)) {
            DiscardKeptDownload(workDir);
            return Fail(pView);
        }

        pView->m_dProgress = 1.0;
        if (::PathFileExistsW(widePath.c_str())) ::DeleteFileW(widePath.c_str());
        bComplete = http.SaveData(widePath.c_str()) == 0;
    }
    DiscardKeptDownload(workDir);
    if (!bComplete) return Fail(pView);

    // From here until the shell has started it, the installer is held open
    // with read sharing only, and its digest is checked once more inside
    // the pause: what runs is exactly what was verified.
    const uint64_t nPauseStart = ::GetTickCount64();
    CHandle installer = OpenVerifiedInstaller(widePath.c_str(), want);
    if (!installer.IsValid()) {
        ::DeleteFileW(widePath.c_str());
        return Fail(pView);
    }
    // The bar shows 100 % for a moment; closing the window meanwhile means
    // the user no longer wants the installer started.
    if (StopRequested(pView, nPauseStart, kHandOverPauseMs)) return true;
    pView->Hide();
    ::ShellExecuteW(nullptr, L"open", widePath.c_str(), nullptr, nullptr, SW_SHOW);
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
