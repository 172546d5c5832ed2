// The update engine against the local update service, on a view that
// records what the engine asks of the window; and the version resource.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <ostream>
#include <string>
#include <vector>

#include "update/download/Download.h"
#include "common/TextConv.h"
#include "update/check/UpdateCheck.h"
#include "update/UpdateView.h"
#include "update/check/Version.h"
#include "update/fs/WorkDir.h"

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

const char kUrl[] = "http://127.0.0.1:1/setup.exe";
const char kOtherUrl[] = "http://127.0.0.1:1/x.exe";

std::string Manifest(const char* version, const char* force, const char* url = kUrl) {
    return std::string("<update><version>") + version + "</version><url>" + url + "</url><force>" + force +
           "</force></update>";
}

// Stands in for the window: records, in order, what the engine asks of it,
// and changes m_nState as the window would.
class CRecordingView : public CUpdateView {
public:
    ~CRecordingView() { StopWorker(); }
    void ShowState(int nState) override {
        Record("ShowState(" + std::to_string(nState) + ")");
        m_nState = nState;
    }
    void EnterDownloadingState() override {
        Record("EnterDownloadingState");
        m_nState = STATE_DOWNLOADING;
    }
    void Hide() override { Record("Hide"); }
    void Close() override { Record("Close"); }

    std::string m_calls;

private:
    void Record(const std::string& call) { m_calls += (m_calls.empty() ? "" : " ") + call; }
};

// One row of the decision: what is served and given on the command line,
// what the check asks of the window, and the target it leaves.
struct CheckCase {
    const char* pszName;
    std::string manifest;
    bool bPrompt;
    bool bTestUpdate;
    const char* pszTarget;
    const char* pszCalls;
    const char* pszTargetAfter;
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.pszName; }

// Rows whose target is used serve an equal version: a check that fetched it
// anyway would ask for the no-update state or close.
const CheckCase kCases[] = {
    {"EqualClosesSilently", Manifest("1.1.1.2", "1"), false, false, "", "Close", kUrl},
    {"EqualIsToldWithPrompt", Manifest("1.1.1.2", "1"), true, false, "", "ShowState(1)", kUrl},
    {"OlderIsToldWithPrompt", Manifest("1.1.0.9", "0"), true, false, "", "ShowState(1)", kUrl},
    {"NewerAsks", Manifest("1.1.1.3", "0"), false, false, "", "ShowState(2)", kUrl},
    {"ForcedWithBlankAndZeroDownloads", Manifest("1.1.1.3", " 01"), false, false, "", "EnterDownloadingState", kUrl},
    {"ForceTrueAsks", Manifest("1.1.1.3", "true"), true, false, "", "ShowState(2)", kUrl},
    {"TargetWithoutTestSwitchIsReplaced", Manifest("1.1.1.3", "0"), true, false, kOtherUrl, "ShowState(2)", kUrl},
    {"TestSwitchMakesOlderNewer", Manifest("0.1", "0"), false, true, "", "ShowState(2)", kUrl},
    {"TestSwitchForcedDownloads", Manifest("0.1", "1"), false, true, "", "EnterDownloadingState", kUrl},
    {"UrlTargetAsksWithPrompt", Manifest("1.1.1.2", "0"), true, true, kOtherUrl, "ShowState(2)", kOtherUrl},
    {"UrlTargetDownloadsWithoutPrompt", Manifest("1.1.1.2", "0"), false, true, kOtherUrl, "EnterDownloadingState",
     kOtherUrl},
    {"NeitherUrlNorPathDoesNothing", Manifest("1.1.1.2", "0"), true, true, "C:\\no\\such\\file.exe", "",
     "C:\\no\\such\\file.exe"},
    {"NotXmlChangesNothing", "this is not xml", true, false, "", "", ""},
    {"OverlongUrlChangesNothing", "<u><url>http://h/" + std::string(2000, 'a') + "</url><version>9</version></u>", true,
     false, "", "", ""},
    // Publisher controls that do not hold make the manifest unreadable.
    {"FiveMirrorsChangeNothing",
     "<u><version>9</version><mirror>http://m/s.exe</mirror><mirror>http://m/s.exe</mirror>"
     "<mirror>http://m/s.exe</mirror><mirror>http://m/s.exe</mirror><mirror>http://m/s.exe</mirror></u>",
     true, false, "", "", ""},
    {"RolloutZeroChangesNothing", "<u><version>9</version><rollout>0</rollout></u>", true, false, "", "", ""},
};

class CheckForUpdateCase : public ::testing::TestWithParam<CheckCase> {};

// A stand-in worker that is slow to stop and talks to a window meanwhile.
struct SlowWorker {
    CUpdateView* pView;
    HWND hWnd;  // a window of the stopping thread
    bool bEnded;
};

DWORD WINAPI SlowWorkerProc(LPVOID pParam) {
    SlowWorker& w = *static_cast<SlowWorker*>(pParam);
    while (!w.pView->m_stopWorker.IsRaised()) ::Sleep(1);
    ::Sleep(5500);  // longer than any time limit a wait might have
    ::SendMessageW(w.hWnd, WM_SETTEXT, 0, (LPARAM)L"sent while closing");
    w.pView->m_dProgress = 1.0;  // still reaches the view
    w.bEnded = true;
    return 0;
}
}  // namespace

TEST_P(CheckForUpdateCase, AsksTheWindowForTheDecidedStep) {
    const CheckCase& c = GetParam();
    ServeManifest(c.manifest);
    CRecordingView view;
    view.m_bPrompt = c.bPrompt;
    view.m_bTestUpdate = c.bTestUpdate;
    std::strcpy(view.m_szTarget, c.pszTarget);
    CheckForUpdate(&view);
    EXPECT_EQ(view.m_calls, c.pszCalls);
    EXPECT_STREQ(view.m_szTarget, c.pszTargetAfter);
}

INSTANTIATE_TEST_SUITE_P(Decision, CheckForUpdateCase, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<CheckCase>& info) {
                             return std::string(info.param.pszName);
                         });

TEST(CheckForUpdate, ManifestIsStoredInTheManifestFolder) {
    ServeManifest(Manifest("1.1.1.2", "0"));
    CRecordingView view;
    CheckForUpdate(&view);
    std::string path = std::string(GetWorkDir()) + "\\xml_new\\/version.xml";
    EXPECT_STREQ(g_szManifestDir, (std::string(GetWorkDir()) + "\\xml_new\\").c_str());
    EXPECT_TRUE(::PathFileExistsA(path.c_str()));
}

TEST(DownloadWorker, StoppingWaitsUntilTheWorkerHasEnded) {
    HWND hWnd = ::CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hWnd, nullptr);
    SlowWorker worker = {nullptr, hWnd, false};
    {
        CRecordingView view;
        worker.pView = &view;
        view.m_hWorker.Reset(::CreateThread(nullptr, 0, SlowWorkerProc, &worker, 0, nullptr));
        ASSERT_TRUE(view.m_hWorker);
        view.StopWorker();
        EXPECT_TRUE(worker.bEnded) << "the view would go while the worker still uses it";
        EXPECT_FALSE(view.m_hWorker);
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

// A system code page (936) that the thread's (1252, English formats) does
// not share, and a temporary folder named in the first: every step from the
// check to the launch must still reach the same file.
TEST(DownloadWorker, OnePathFromCheckToLaunchWhateverTheThreadCodePage) {
    if (g_szWorkDir[0]) GTEST_SKIP() << "the work folder was formed before; run this test on its own";
    wchar_t szTemp[MAX_PATH];
    ASSERT_GT(::GetTempPathW(MAX_PATH, szTemp), 0u);
    const std::wstring temp = std::wstring(szTemp) + L"\u66f4\u65b0\\";  // "update" in Chinese
    ::CreateDirectoryW(temp.c_str(), nullptr);
    ASSERT_TRUE(::SetEnvironmentVariableW(L"TMP", temp.c_str()));
    ASSERT_TRUE(::SetThreadLocale(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT)));
    ASSERT_EQ(WideToNarrow(L"\u66f4"), "?") << "the thread's code page did not change";

    const std::wstring marker = temp + L"LumoraTV\\temp/demo-setup.exe.ran";
    ::DeleteFileW(marker.c_str());  // from an earlier run that failed
    const std::string url = "http://127.0.0.1:" + std::to_string(LUMORA_TEST_PORT) + "/files/demo-setup.exe";
    ServeManifest(Manifest("1.1.1.3", "1", url.c_str()));
    CRecordingView view;
    CheckForUpdate(&view);  // stores and reads the manifest there too
    ASSERT_EQ(view.m_calls, "EnterDownloadingState");
    EXPECT_TRUE(DownloadAndLaunch(view.m_szTarget, &view));
    EXPECT_EQ(view.m_calls, "EnterDownloadingState Hide Close");
    bool bRan = false;
    for (int i = 0; i < 500 && !bRan; ++i, ::Sleep(10))
        bRan = ::GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES;
    EXPECT_TRUE(bRan) << "the installer was not started";
    ::Sleep(200);  // the installer has exited
    for (const wchar_t* psz : {L"LumoraTV\\temp/demo-setup.exe.ran", L"LumoraTV\\temp/demo-setup.exe",
                               L"LumoraTV\\temp\\xml_new\\/version.xml"})
        ::DeleteFileW((temp + psz).c_str());
    for (const wchar_t* psz : {L"LumoraTV\\temp\\xml_new", L"LumoraTV\\temp", L"LumoraTV", L""})
        ::RemoveDirectoryW((temp + psz).c_str());
}
