#include "update/WorkDir.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "common/Handle.h"
#include "update/BoundedText.h"
#include "update/TextConv.h"
#include "update/Trust.h"

char g_szWorkDir[kWorkDirSize];

namespace {
bool g_bWorkDirForeign = false;

// Creates a folder unless it exists; false when what is there is a link or
// someone else's folder, which nothing may be written through.
bool CreateOwnFolder(const char* pszPath) {
    ::CreateDirectoryA(pszPath, nullptr);
    if (CheckFolder(pszPath) != FolderCheck::Foreign) return true;
    g_bWorkDirForeign = true;
    return false;
}
}  // namespace

bool WorkDirIsForeign() { return g_bWorkDirForeign; }

const char* GetWorkDir() {
    if (g_szWorkDir[0]) return g_szWorkDir;
    char szTemp[kWorkDirSize] = {};
    DWORD n = ::GetTempPathA(sizeof(szTemp), szTemp);
    if (n == 0 || n >= sizeof(szTemp)) return "";
    // The temporary path already ends with a separator; the doubled one in
    // "<temp>\\LumoraTV" is accepted by the file system and kept as it was.
    char szProduct[kWorkDirSize];
    char szWork[kWorkDirSize];
    if (!FormatText(szProduct, sizeof(szProduct), "%s\\%s", szTemp, "LumoraTV") ||
        !FormatText(szWork, sizeof(szWork), "%s\\temp", szProduct))
        return "";
    if (!CreateOwnFolder(szProduct) || !CreateOwnFolder(szWork)) return "";
    std::memcpy(g_szWorkDir, szWork, sizeof(szWork));
    return g_szWorkDir;
}

std::wstring GetModuleDir() {
    std::vector<char> path(kModulePathSize, '\0');
    DWORD n = ::GetModuleFileNameA(nullptr, path.data(), kModulePathSize);
    if (n >= kModulePathSize) return std::wstring();
    for (DWORD i = n; i > 0; --i) {
        if (path[i - 1] == '\\' || path[i - 1] == '/') {
            path[i] = '\0';
            break;
        }
    }
    return NarrowToWide(path.data());
}

void DeleteLeftoverParts(const char* pszDir) {
    std::string dir = pszDir;
    if (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
    std::string pattern = dir + "\\~vantor-*.part";
    WIN32_FIND_DATAA fd;
    const CFindHandle find(::FindFirstFileA(pattern.c_str(), &fd));
    if (!find) return;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ::DeleteFileA((dir + "\\" + fd.cFileName).c_str());
    } while (::FindNextFileA(find.Get(), &fd));
}
