// Work folders and text conversion under code page 936.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include <string>

#include "update/TextConv.h"
#include "update/WorkDir.h"

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

TEST(TextConv, GbkRoundTripUnderCodePage936) {
    ASSERT_EQ(GetACP(), 936u) << "the tests need the zh_CN locale (code page 936)";
    const char gbk[] = "\xD5\xFD\xD4\xDA\xCF\xC2\xD4\xD8";
    std::wstring wide = NarrowToWide(gbk);
    EXPECT_EQ(wide, L"\u6B63\u5728\u4E0B\u8F7D");  // downloading
    EXPECT_EQ(WideToNarrow(wide.c_str()), gbk);
    EXPECT_EQ(NarrowToWide(""), L"");
    EXPECT_EQ(NarrowToWide(nullptr), L"");
}

TEST(TextConv, UnrepresentableCharacterBecomesTheDefault) {
    std::string narrow = WideToNarrow(L"a\u0E01b");  // a Thai letter has no GBK form
    EXPECT_EQ(narrow, "a?b");
}
