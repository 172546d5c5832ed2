// The update check on a real dialog object against the local update service.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "ui/LumoraZUDeZazedaDlg.h"
#include "update/TextConv.h"
#include "update/UpdateCheck.h"
#include "update/Version.h"
#include "update/WorkDir.h"

namespace {
// The service serves this file, read again on every request.
std::string ManifestPath() {
    const char* p = std::getenv("LUMORA_TEST_MANIFEST");
    std::string path = std::string("Z:") + (p ? p : "/tmp/lumora-test-manifest.xml");
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

void ServeManifest(const std::string& xml) {
    FILE* f = std::fopen(ManifestPath().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(xml.data(), 1, xml.size(), f);
    std::fclose(f);
}

std::string Manifest(const char* version, const char* force, const char* url = "http://127.0.0.1:1/setup.exe") {
    return std::string("<update><version>") + version + "</version><url>" + url + "</url><force>" + force +
           "</force></update>";
}

// Records what the check left behind, then closes the window.
class CProbeDlg : public CLumoraZUDeZazedaDlg {
public:
    int nState = -1;
    bool bVisible = false;
    bool bClosed = false;

protected:
    BOOL OnInitDialog() override {
        BOOL r = CLumoraZUDeZazedaDlg::OnInitDialog();
        nState = m_nState;
        bVisible = IsWindowVisible() != FALSE;
        // WM_CLOSE from the check leaves the Cancel command queued.
        MSG msg;
        bClosed = ::PeekMessageW(&msg, m_hWnd, WM_COMMAND, WM_COMMAND, PM_NOREMOVE) && LOWORD(msg.wParam) == IDCANCEL;
        ::PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
        return r;
    }
};

// A stand-in worker that is slow to stop and talks to the window meanwhile.
struct SlowWorker {
    CLumoraZUDeZazedaDlg* pDlg;
    HWND hWnd;  // a window of the closing thread
    bool bEnded;
};

DWORD WINAPI SlowWorkerProc(LPVOID pParam) {
    SlowWorker& w = *static_cast<SlowWorker*>(pParam);
    while (!w.pDlg->m_bStopWorker) ::Sleep(1);
    ::Sleep(5500);  // longer than any time limit a wait might have
    ::SendMessageW(w.hWnd, WM_SETTEXT, 0, (LPARAM)L"sent while closing");
    w.pDlg->m_dProgress = 1.0;  // still reaches the window object
    w.bEnded = true;
    return 0;
}

struct Outcome {
    int nState;
    bool bVisible;
    bool bClosed;
    std::string target;
};

Outcome Check(bool bPrompt, bool bTestUpdate = false, const char* pszTarget = "") {
    CProbeDlg dlg;
    dlg.m_bPrompt = bPrompt;
    dlg.m_bTestUpdate = bTestUpdate;
    std::strcpy(dlg.m_szTarget, pszTarget);
    dlg.DoModal();
    return {dlg.nState, dlg.bVisible, dlg.bClosed, dlg.m_szTarget};
}
}  // namespace

TEST(CheckForUpdate, NotNewerClosesOrTells) {
    ServeManifest(Manifest("1.1.1.2", "1"));
    Outcome o = Check(false);
    EXPECT_TRUE(o.bClosed);
    EXPECT_FALSE(o.bVisible);
    EXPECT_EQ(o.nState, STATE_IDLE);
    o = Check(true);
    EXPECT_FALSE(o.bClosed);
    EXPECT_TRUE(o.bVisible);
    EXPECT_EQ(o.nState, STATE_NO_UPDATE);
    ServeManifest(Manifest("1.1.0.9", "0"));
    EXPECT_EQ(Check(true).nState, STATE_NO_UPDATE);
}

TEST(CheckForUpdate, NewerAsksOrDownloads) {
    ServeManifest(Manifest("1.1.1.3", "0"));
    Outcome o = Check(false);
    EXPECT_EQ(o.nState, STATE_NEW_VERSION);
    EXPECT_TRUE(o.bVisible);
    EXPECT_EQ(o.target, "http://127.0.0.1:1/setup.exe");
    ServeManifest(Manifest("1.1.1.3", " 01"));
    o = Check(false);
    EXPECT_EQ(o.nState, STATE_DOWNLOADING);
    EXPECT_TRUE(o.bVisible);
    ServeManifest(Manifest("1.1.1.3", "true"));
    EXPECT_EQ(Check(true).nState, STATE_NEW_VERSION);
}

TEST(CheckForUpdate, TestSwitchMakesAnyVersionNewer) {
    ServeManifest(Manifest("0.1", "0"));
    EXPECT_EQ(Check(false, true).nState, STATE_NEW_VERSION);
    ServeManifest(Manifest("0.1", "1"));
    EXPECT_EQ(Check(false, true).nState, STATE_DOWNLOADING);
}

TEST(CheckForUpdate, TargetWithTestSwitch) {
    // A URL target: asked with -prompt, downloaded at once without.
    Outcome o = Check(true, true, "http://127.0.0.1:1/x.exe");
    EXPECT_EQ(o.nState, STATE_NEW_VERSION);
    o = Check(false, true, "http://127.0.0.1:1/x.exe");
    EXPECT_EQ(o.nState, STATE_DOWNLOADING);
    // Neither a URL nor an existing path: nothing happens.
    o = Check(true, true, "C:\\no\\such\\file.exe");
    EXPECT_EQ(o.nState, STATE_IDLE);
    EXPECT_FALSE(o.bClosed);
}

TEST(CheckForUpdate, UnreadableManifestChangesNothing) {
    ServeManifest("this is not xml");
    Outcome o = Check(true);
    EXPECT_EQ(o.nState, STATE_IDLE);
    EXPECT_FALSE(o.bClosed);
    EXPECT_FALSE(o.bVisible);  // the modal loop shows it later
    ServeManifest("<u><url>http://h/" + std::string(2000, 'a') + "</url><version>9</version></u>");
    EXPECT_EQ(Check(true).nState, STATE_IDLE);
}

TEST(CheckForUpdate, ManifestIsStoredInTheManifestFolder) {
    ServeManifest(Manifest("1.1.1.2", "0"));
    Check(false);
    std::string path = std::string(GetWorkDir()) + "\\xml_new\\/version.xml";
    EXPECT_STREQ(g_szManifestDir, (std::string(GetWorkDir()) + "\\xml_new\\").c_str());
    EXPECT_TRUE(::PathFileExistsA(path.c_str()));
}

TEST(DownloadWorker, ClosingWaitsUntilTheWorkerHasEnded) {
    HWND hWnd = ::CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hWnd, nullptr);
    SlowWorker worker = {nullptr, hWnd, false};
    {
        CLumoraZUDeZazedaDlg dlg;
        worker.pDlg = &dlg;
        dlg.m_hWorker.Reset(::CreateThread(nullptr, 0, SlowWorkerProc, &worker, 0, nullptr));
        ASSERT_TRUE(dlg.m_hWorker);
        dlg.StopWorker();
        EXPECT_TRUE(worker.bEnded) << "the window object would go while the worker still uses it";
        EXPECT_FALSE(dlg.m_hWorker);
    }
    wchar_t szText[32] = {};
    ::GetWindowTextW(hWnd, szText, 32);
    EXPECT_STREQ(szText, L"sent while closing");
    ::DestroyWindow(hWnd);
}

TEST(ClientVersion, VersionResourceShowsIt) {
    // Read as Explorer's properties and installers read it; this program
    // carries the executable's resources.
    wchar_t szPath[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameW(nullptr, szPath, MAX_PATH), 0u);
    DWORD nSize = ::GetFileVersionInfoSizeW(szPath, nullptr);
    ASSERT_GT(nSize, 0u);
    std::vector<BYTE> info(nSize);
    ASSERT_TRUE(::GetFileVersionInfoW(szPath, 0, nSize, info.data()));
    VS_FIXEDFILEINFO* pFixed = nullptr;
    UINT nLen = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", (void**)&pFixed, &nLen));
    for (DWORD ms : {pFixed->dwFileVersionMS, pFixed->dwProductVersionMS}) {
        const DWORD ls = ms == pFixed->dwFileVersionMS ? pFixed->dwFileVersionLS : pFixed->dwProductVersionLS;
        EXPECT_EQ(std::to_string(HIWORD(ms)) + "." + std::to_string(LOWORD(ms)) + "." + std::to_string(HIWORD(ls)) +
                      "." + std::to_string(LOWORD(ls)),
                  kClientVersion);
    }
    WORD* pLang = nullptr;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", (void**)&pLang, &nLen));
    wchar_t szBlock[64];
    std::swprintf(szBlock, 64, L"\\StringFileInfo\\%04x%04x\\", pLang[0], pLang[1]);
    auto text = [&](const wchar_t* pszName) {
        wchar_t* pText = nullptr;
        UINT n = 0;
        std::wstring key = std::wstring(szBlock) + pszName;
        return ::VerQueryValueW(info.data(), key.c_str(), (void**)&pText, &n) && pText ? std::wstring(pText)
                                                                                      : std::wstring();
    };
    EXPECT_EQ(text(L"FileVersion"), NarrowToWide(kClientVersion));
    EXPECT_EQ(text(L"ProductVersion"), NarrowToWide(kClientVersion));
    EXPECT_EQ(text(L"OriginalFilename"), L"LumoraZUDeZazeda.exe");
    EXPECT_FALSE(text(L"FileDescription").empty());
    EXPECT_FALSE(text(L"ProductName").empty());
}
