// The download worker: stopping it, and one path from the check to the
// launch whatever the thread's code page.
#include "update/download/Download.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/TextConv.h"
#include "tests/win/engine_fixture.h"
#include "update/check/UpdateCheck.h"
#include "update/fs/WorkDir.h"

namespace {
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
