// Process entry of the update client: one copy at a time, the command line
// into the window, the window run modally.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "common/Handle.h"
#include "common/Log.h"
#include "framework/Framework.h"
#include "ui/LumoraZUDeZazedaDlg.h"
#include "common/Text.h"
#include "common/TextConv.h"
#include "update/check/Target.h"
#include "update/check/UpdateCheck.h"
#include "update/check/Version.h"
#include "update/fs/WorkDir.h"
#include "update/manifest/Trust.h"

CHandle g_hInstanceSemaphore;

class CLumoraZUDeZazedaApp : public CWinApp {
public:
    BOOL InitInstance() override;
    int ExitInstance() override;
};

CLumoraZUDeZazedaApp theApp;

namespace {
// In the same conversion as the update check, which tests it again.
bool PathExists(const char* pszPath) { return ::PathFileExistsW(NarrowToWide(pszPath).c_str()) != FALSE; }

// Switches and the kind of target only: a target can name the user or
// carry a query string.
void LogStart(const CommandLineOptions& options) {
    std::string switches;
    if (options.bPrompt) switches = "-prompt";
    if (options.bTestUpdate) switches += switches.empty() ? "-test_update" : ",-test_update";
    const char* target = options.target.empty() ? "none" : IsUrlTarget(options.target.c_str()) ? "url" : "path";
#ifdef _WIN64
    const char* arch = "x64";
#else
    const char* arch = "x86";
#endif
    LogEvent("start", {{"version", kClientVersion},
                       {"switches", switches.empty() ? "none" : switches},
                       {"target", target},
                       {"signed", kHasUpdatePublicKey ? "yes" : "no"},
                       {"arch", arch}});
}

void ReadCommandLine(CLumoraZUDeZazedaDlg& dlg) {
    int nArgs = 0;
    const CLocalMemory<LPWSTR*> argv(::CommandLineToArgvW(::GetCommandLineW(), &nArgs));
    std::vector<std::string> args;
    for (int i = 1; argv && i < nArgs && i <= (int)kMaxExaminedArgs; ++i) args.push_back(WideToNarrow(argv.Get()[i]));

    CommandLineOptions options = ParseArguments(args, {PathExists, IsUrlTarget}, !kHasUpdatePublicKey);
    if (options.bPrompt) dlg.m_bPrompt = true;
    if (options.bTestUpdate) dlg.m_bTestUpdate = true;
    if (!options.target.empty()) CopyText(dlg.m_szTarget, sizeof(dlg.m_szTarget), options.target.c_str());
    LogStart(options);
}
}  // namespace

BOOL CLumoraZUDeZazedaApp::InitInstance() {
    INITCOMMONCONTROLSEX icc = {sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
    CWinApp::InitInstance();
    AfxEnableControlContainer();

    g_hInstanceSemaphore.Reset(::CreateSemaphoreA(nullptr, 0, 1, "LumoraZUDeZazeda.exe"));
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        OpenLogIfFolderIsOwn();
        LogEvent("exit", {{"reason", "already-running"}});
        return TRUE;
    }

    SetRegistryKey(L"应用程序向导生成的本地应用程序");
    CLumoraZUDeZazedaDlg dlg;
    ReadCommandLine(dlg);
    // The manifest travels while the window is being made; a second copy
    // (above) never asks for it.
    StartManifestFetch(&dlg);
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    LogEvent("exit", {{"state", StateName(dlg.m_nState)}});
    return FALSE;
}

int CLumoraZUDeZazedaApp::ExitInstance() {
    g_hInstanceSemaphore.Close();
    return CWinApp::ExitInstance();
}

namespace {
// DLLs loaded from here on (our delay-loaded imports, and whatever GDI+, the
// shell and WinHTTP load for themselves) come from the system folder only,
// never from the executable's folder or the current one, where someone
// else could have put a DLL of the same name. Windows 7 has the call only
// with its loader update, so it is looked up; without it, at least the
// current folder leaves the search.
void RestrictDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto pfnSet = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (!pfnSet || !pfnSet(LOAD_LIBRARY_SEARCH_SYSTEM32)) ::SetDllDirectoryW(L"");
}
}  // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int) {
    RestrictDllSearch();
    return AfxWinMain(hInstance);
}
