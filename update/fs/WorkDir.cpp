#include "update/fs/WorkDir.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "common/Log.h"
#include "common/Text.h"
#include "common/TextConv.h"
#include "update/fs/FolderSecurity.h"

char g_szWorkDir[kWorkDirSize];

namespace {
bool g_bWorkDirForeign = false;
std::wstring g_workDirW;
// Held for the whole run, from the moment each is judged ours: nobody can
// rename or replace them, or move a junction into their place, while the
// manifest is read and the installer downloaded, checked and started.
CHandle g_productHeld, g_workHeld;

// Creates a folder unless it exists, ours alone (MakeOwnFolder), and holds
// it; false when what is there is a link, someone else's folder or one we
// may not read, which nothing may be written through.
bool EnsureOwnFolder(const std::wstring& path, CHandle& held) {
    if (MakeOwnFolder(path.c_str(), &held) != FolderCheck::Foreign) return true;
    g_bWorkDirForeign = true;
    return false;
}

// The temporary path already ends with a separator; the doubled one in
// "<temp>\\LumoraTV" is accepted by the file system and kept as it was.
std::wstring ProductFolder(const wchar_t* pszTemp) { return std::wstring(pszTemp) + L"\\LumoraTV"; }
}  // namespace

void OpenLogIfFolderIsOwn() {
    wchar_t szTemp[kWorkDirSize] = {};
    const DWORD n = ::GetTempPathW(kWorkDirSize, szTemp);
    const std::wstring product = n > 0 && n < kWorkDirSize ? ProductFolder(szTemp) : std::wstring();
    SetLogFolder(!product.empty() && CheckFolder(product.c_str()) == FolderCheck::Own ? product : std::wstring());
}

bool WorkDirIsForeign() { return g_bWorkDirForeign; }

void* GetWorkDirHandle() { return g_workHeld.Get(); }

const std::wstring& GetWorkDirW() {
    GetWorkDir();
    return g_workDirW;
}

const char* GetWorkDir() {
    if (g_szWorkDir[0]) return g_szWorkDir;
    wchar_t szTemp[kWorkDirSize] = {};
    DWORD n = ::GetTempPathW(kWorkDirSize, szTemp);
    if (n == 0 || n >= kWorkDirSize) {
        SetLogFolder(std::wstring());
        return "";
    }
    const std::wstring product = ProductFolder(szTemp);
    const std::wstring work = product + L"\\temp";
    // The narrow form must fit its buffer; the files themselves are reached
    // through the wide one only, which no code page can spoil.
    char szWork[kWorkDirSize];
    if (!FormatText(szWork, sizeof(szWork), "%s", WideToNarrow(work.c_str()).c_str()) ||
        !EnsureOwnFolder(product, g_productHeld)) {
        SetLogFolder(std::wstring());
        return "";
    }
    // The log lives beside the work folder, in the folder just made ours.
    SetLogFolder(product);
    if (!EnsureOwnFolder(work, g_workHeld)) return "";
    g_workDirW = work;
    std::memcpy(g_szWorkDir, szWork, sizeof(szWork));
    return g_szWorkDir;
}

std::wstring GetModuleDir() {
    // Wide, as the system names it: through the code page a folder outside
    // it (a Chinese user name on an English system) would come back with
    // '?'. The limit counts characters.
    std::vector<wchar_t> path(kModulePathSize, L'\0');
    DWORD n = ::GetModuleFileNameW(nullptr, path.data(), kModulePathSize);
    if (n >= kModulePathSize) return std::wstring();
    for (DWORD i = n; i > 0; --i) {
        if (path[i - 1] == L'\\' || path[i - 1] == L'/') {
            path[i] = L'\0';
            break;
        }
    }
    return path.data();
}
