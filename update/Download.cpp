#include "update/Download.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "CVantorHttp.h"
#include "ui/LumoraZUDeZazedaDlg.h"
#include "update/TextConv.h"
#include "update/UrlName.h"
#include "update/WorkDir.h"

namespace {
// Waits nMs unless the window asks the worker to stop; true when asked.
bool StopRequested(CLumoraZUDeZazedaDlg* pDlg, DWORD nMs) {
    for (DWORD n = 0; n < nMs; n += 10) {
        if (pDlg->m_bStopWorker) return true;
        ::Sleep(10);
    }
    return pDlg->m_bStopWorker;
}

// A transfer cut short by a crash or a power cut leaves its temporary file
// behind; only one copy of us runs, so any such file is a leftover.
void DeleteLeftoverParts(const char* pszWorkDir) {
    std::string pattern = std::string(pszWorkDir) + "\\~vantor-*.part";
    WIN32_FIND_DATAA fd;
    HANDLE hFind = ::FindFirstFileA(pattern.c_str(), &fd);
    if (hFind == INVALID_HANDLE_VALUE) return;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ::DeleteFileA((std::string(pszWorkDir) + "\\" + fd.cFileName).c_str());
    } while (::FindNextFileA(hFind, &fd));
    ::FindClose(hFind);
}

bool Fail(CLumoraZUDeZazedaDlg* pDlg) {
    if (!pDlg->m_bStopWorker) pDlg->ShowState(STATE_FAILED);
    return false;
}
}  // namespace

std::wstring GetUrlFileName(const char* pszUrl) { return UrlFileName(NarrowToWide(pszUrl)); }

DWORD WINAPI DownloadThreadProc(LPVOID pParam) {
    CLumoraZUDeZazedaDlg* pDlg = static_cast<CLumoraZUDeZazedaDlg*>(pParam);
    DownloadAndLaunch(pDlg->m_szTarget, pDlg);
    return 0;
}

void StartDownloadThread(CLumoraZUDeZazedaDlg* pDlg) {
    if (pDlg->m_hWorker) {
        if (::WaitForSingleObject(pDlg->m_hWorker, 0) != WAIT_OBJECT_0) return;  // one at a time
        ::CloseHandle(pDlg->m_hWorker);
    }
    pDlg->m_bStopWorker = false;
    pDlg->m_hWorker = ::CreateThread(nullptr, 0, DownloadThreadProc, pDlg, 0, nullptr);
}

bool DownloadAndLaunch(const char* pszUrl, CLumoraZUDeZazedaDlg* pDlg) {
    // A name the URL does not give (it ends with a separator) or a path
    // that does not fit is refused: never write over the work folder itself.
    std::string name = WideToNarrow(GetUrlFileName(pszUrl).c_str());
    char szPath[1024] = {};
    const char* pszWorkDir = GetWorkDir();
    if (!pszWorkDir[0] || !FormInstallerPath(szPath, sizeof(szPath), pszWorkDir, name.c_str()) ||
        !pDlg->m_bIntegrityValid)
        return Fail(pDlg);

    DeleteLeftoverParts(pszWorkDir);
    const IntegrityExpectation& want = pDlg->m_integrity;
    bool bComplete = false;
    {
        CVantorHttp http;
        // The body lands under a temporary name in the work folder and is
        // renamed into place only once complete and verified.
        http.SetTempDir(pszWorkDir);
        if (want.bHasSha256) http.EnableSha256();
        if (want.bHasSize) http.SetMaxBodySize(want.nSize);
        http.SendData("GET", pszUrl, nullptr, nullptr, nullptr, nullptr, nullptr);
        while (http.GetState() > 0) {
            if (pDlg->m_bStopWorker) {
                http.Cancel();
                return false;
            }
            pDlg->m_dProgress = http.GetDownProgress();
            ::Sleep(10);
        }
        if (pDlg->m_bStopWorker) return false;
        if (http.GetState() != CVantorHttp::kStateDone) return Fail(pDlg);
        uint8_t digest[32];
        bool bHaveDigest = http.GetSha256(digest);
        if (!MatchesIntegrity(want, http.GetReceivedBytes(), bHaveDigest ? digest : nullptr)) return Fail(pDlg);

        pDlg->m_dProgress = 1.0;
        std::wstring widePath = NarrowToWide(szPath);
        if (::PathFileExistsW(widePath.c_str())) ::DeleteFileW(widePath.c_str());
        bComplete = http.SaveData(szPath) == 0;
    }
    if (!bComplete) return Fail(pDlg);

    // The bar shows 100 % for a moment; closing the window meanwhile means
    // the user no longer wants the installer started.
    if (StopRequested(pDlg, 1000)) return true;
    pDlg->ShowWindow(SW_HIDE);
    ::ShellExecuteA(nullptr, "open", szPath, nullptr, nullptr, SW_SHOW);
    ::SendMessageW(pDlg->m_hWnd, WM_CLOSE, 0, 0);
    return true;
}
