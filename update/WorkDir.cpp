#include "update/WorkDir.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "update/BoundedText.h"
#include "update/TextConv.h"

char g_szWorkDir[kWorkDirSize];

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
    ::CreateDirectoryA(szProduct, nullptr);
    ::CreateDirectoryA(szWork, nullptr);
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
