// The work folder under the temporary path and the executable's folder.
#include "update/fs/WorkDir.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include <string>

TEST(WorkDir, FormedUnderTheTemporaryPathAndCached) {
    char szTemp[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, szTemp), 0u);
    std::string expected = std::string(szTemp) + "\\LumoraTV\\temp";  // the doubled separator is kept
    const char* pszFirst = GetWorkDir();
    EXPECT_EQ(std::string(pszFirst), expected);
    EXPECT_TRUE(PathIsDirectoryA(pszFirst));
    EXPECT_EQ(GetWorkDir(), pszFirst);  // the cached buffer, not a new text
}

TEST(WorkDir, ModuleDirKeepsItsSeparator) {
    wchar_t szExe[MAX_PATH];
    GetModuleFileNameW(nullptr, szExe, MAX_PATH);
    std::wstring exe = szExe;
    std::wstring dir = GetModuleDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), L'\\');
    EXPECT_EQ(exe.substr(0, dir.size()), dir);
    EXPECT_EQ(exe.find(L'\\', dir.size()), std::wstring::npos);
}
